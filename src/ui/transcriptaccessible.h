#pragma once

#include <QAccessibleWidget>

class TranscriptText;
class TranscriptView;

// What assistive technology sees of the transcript box: an editable text
// (a plain QAbstractScrollArea would show as a bare client area) whose text
// is read from the box's compact store, a range at a time. Its name is the
// widget's accessible name, set by whoever places the box. Offsets are the
// box's positions: a line break counts as one character.
//
// The text is given as the box shows it: control and bidi characters as
// their visible stand-ins, one for one (VisibleText), so a NUL does not end
// the text for a reader that takes it as a C string, and an override does not
// turn round what a reader says after it. Line breaks are '\n'.
//
// Its attributes are those of the box's one font, in the form Qt's own text
// widgets give them (IAccessible2 text attributes), so a reader can say the
// weight, slant and underline the operator chose.
class TranscriptAccessible final : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit TranscriptAccessible(TranscriptView *view);

    // Registers the factory that hands this interface out for every
    // TranscriptView; later calls do nothing.
    static void install();

    // Text with line breaks written as lineBreak, shown line by line, the
    // breaks as '\n'.
    static QString shownLines(QStringView text, QStringView lineBreak);
    // The characters between two positions of the box's text, shown.
    static QString shownRange(const TranscriptText &text, qsizetype from, qsizetype to);

    QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    // Both text() of the widget (its name, its value) and of the text
    // interface (a range) are wanted.
    using QAccessibleWidget::text;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int *startOffset, int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int *startOffset, int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                         int *startOffset, int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    TranscriptView *view() const;
    // The piece of text of the given kind that holds the offset.
    std::pair<qsizetype, qsizetype> unitAt(qsizetype offset,
                                           QAccessible::TextBoundaryType type) const;
    QString textOf(std::pair<qsizetype, qsizetype> unit, int *startOffset, int *endOffset) const;
};
