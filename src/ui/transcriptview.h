#pragma once

#include "wire/shownread.h"
#include "ui/redrawpacer.h"
#include "ui/transcripttext.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

class QTextLayout;

// The transcript box: a multi-line text box built for a text that only grows,
// by a line per connected client on every chat arrival. The text is kept
// compactly (TranscriptText) and only the lines in view are laid out and
// painted, so appending costs the same at the millionth line as at the first
// and an empty line holds a few bytes.
//
// It stays a text box for the operator: a click places the caret, typed
// characters, Enter, Backspace, Delete and Ctrl+V edit at the caret, mouse and
// Shift+arrows select, Ctrl+C copies, Ctrl+A selects all. There is no undo:
// undoing would take back relayed lines. One font styles the whole text.
//
// Long lines wrap at the box's right edge, at a blank where there is one and
// anywhere in a word wider than the box, as in a Windows text box with only a
// vertical scroll bar; there is no horizontal scrolling. The view scrolls by
// rows, as that box does, so every row of a line taller than the box can be
// brought into view and the end of the text is shown with the rows before it
// filling the page, the last rows of a tall line among them. The vertical
// scroll bar counts lines, not rows (rows of a million lines are not known
// without laying them all out): its value is the first line in view, some of
// whose rows may be scrolled off above; the keys and the wheel move by rows.
// Rows are found by laying a line out, and only lines in view (or a page of
// rows from the end, for the scroll range) ever are: how far the text's end
// lies from the top is found by walking back from the end until a page of
// rows is filled, and while the caret follows the end that walk is done once
// per redraw, not once per appended line. A line is shown up to MaxShownChars
// characters and then "…", which bounds the rows a pathological line can
// take; its text is kept whole. The bound is that of a client's read as the
// transcript stores it, so a shortened read shows whole, its size marker
// included (see ShownRead).
//
// Rows lie the font's full height apart (UiFonts::rowPitch), so accents and
// descenders of neighbouring rows never meet.
//
// What the box holds is bounded (maxHeldBytes()): a client that sends without
// pause would otherwise make it hold gigabytes within minutes. Past the
// bound the oldest lines go, down to half of it, and one line in their place
// says how many went (TrimmedNotice); a day of ordinary chat stays well below.
//
// Scroll bars follow the view lazily: changes of the text or of the view set
// the scroll bars once per turn of the event loop, not once per line.
class TranscriptView final : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxShownChars = ShownRead::MaxLineChars;
    // Bytes of text and line offsets (TranscriptText::bytesUsed()): a chat
    // line of 45 characters takes 106, however many clients are connected,
    // so this holds 600 000 of them, three times a busy day's.
    static constexpr qsizetype DefaultMaxHeldBytes = qsizetype(64) << 20;
    // The first line once older lines were dropped; %1 is how many, in all.
    static inline const QString TrimmedNotice =
            QStringLiteral("… yer açmak için en eski %1 satır silindi");

    // A stored line as the box shows it: control and bidi characters as
    // visible stand-ins (VisibleText), cut after MaxShownChars.
    static QString shownLine(QStringView chars);

    explicit TranscriptView(QWidget *parent = nullptr);

    // The line and a CR LF after the existing text.
    void appendLine(const QString &line);
    // The same as that many appendLine() calls with empty lines, at the cost
    // of one.
    void appendEmptyLines(qsizetype count);
    void clear();
    // The whole text, every line break written as CR LF.
    QString text() const;
    qsizetype lineCount() const { return m_text.lineCount(); }

    // Positions count a line break as one character (see TranscriptText).
    qsizetype textLength() const { return m_text.length(); }
    qsizetype caretPosition() const { return m_caret; }
    // The other end of the selection; the caret position when none.
    qsizetype selectionAnchor() const { return m_anchor; }
    // Puts the caret there with nothing selected and brings it into view.
    void setCaretPosition(qsizetype position);
    // Selects from anchor to position; the caret goes to position.
    void setSelection(qsizetype anchor, qsizetype position);
    bool hasSelection() const { return m_anchor != m_caret; }
    // The selected characters, line breaks as CR LF.
    QString selectedText() const;
    void selectAll();
    void copy() const;
    void paste();

    // The text as the box holds it, for readers such as accessibility.
    const TranscriptText &content() const { return m_text; }

    // Where the caret is drawn, in viewport coordinates.
    QRect caretRect() const { return cursorRect(m_caret); }
    // Where the caret would be drawn at a position.
    QRect cursorRect(qsizetype position) const;
    // The position nearest to a point of the viewport.
    qsizetype positionAt(QPoint point) const;
    qsizetype firstVisibleLine() const { return topLine(); }
    // Memory held by the text and its line offsets.
    qsizetype bytesHeld() const { return m_text.bytesHeld(); }
    qsizetype maxHeldBytes() const { return m_maxHeldBytes; }
    // Takes effect at the next append.
    void setMaxHeldBytes(qsizetype bytes) { m_maxHeldBytes = bytes; }

signals:
    // On every change of the text: appends, clearing, typing, pasting.
    void textChanged();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // The first line in view and how many of its rows are scrolled off above.
    struct ViewTop
    {
        qsizetype line = 0;
        qsizetype row = 0;
        auto operator<=>(const ViewTop &) const = default;
    };

    void appended(qsizetype lastLine);
    void dropOldest();
    void takeRowPitch();
    void layoutLine(QTextLayout &layout, qsizetype line) const;
    qsizetype rowCount(qsizetype line) const;
    qsizetype rowsTo(qsizetype line) const;
    qsizetype positionOnRow(const QTextLayout &layout, qsizetype line, int row, qreal x) const;
    qreal goalX() const;
    qsizetype rowsMoved(qsizetype rows, qreal x) const;
    qsizetype rowEdge(bool end) const;
    qreal textWidth() const;
    qsizetype pageRows() const;
    ViewTop topShowing(qsizetype line, qsizetype rows) const;
    ViewTop maxTop() const;
    ViewTop viewTop() const { return m_followsEnd ? maxTop() : m_top; }
    qsizetype topLine() const { return viewTop().line; }
    ViewTop clampedTop(ViewTop top) const;
    ViewTop rowsBelow(ViewTop top, qsizetype rows) const;

    bool handleMove(QKeyEvent *event);
    bool handleEdit(QKeyEvent *event);
    void moveCaret(qsizetype position, bool select);
    void replaceSelection(const QString &text);
    void removeAround(bool forward);
    qsizetype stepped(qsizetype position, bool forward) const;

    void ensureCaretVisible();
    void setTop(ViewTop top);
    void scrollBarAction(int action);
    void scheduleScrollBars();
    void syncScrollBars();
    void repaintText();
    void scheduleRefresh();
    void refresh();
    void restartBlink();

    TranscriptText m_text;
    qsizetype m_maxHeldBytes = DefaultMaxHeldBytes;
    // Lines dropped for the bound since the text was last emptied.
    qsizetype m_droppedLines = 0;
    qsizetype m_caret = 0;
    qsizetype m_anchor = 0;
    ViewTop m_top; // unless it follows the end
    // The view shows the end of the text however it grows: see topLine().
    bool m_followsEnd = false;
    // maxTop() as last worked out, or line -1: dropped on any change of the
    // text or the font, and good only for the viewport size it was found for.
    mutable ViewTop m_endTop{-1, 0};
    mutable QSize m_endTopSize;
    int m_lineHeight = 1;
    // From a row's top down to its baseline.
    int m_baseline = 0;
    bool m_scrollBarsPending = false;
    // Lines were appended since the scroll bars were last set: see refresh().
    bool m_growthPending = false;
    bool m_syncing = false;
    bool m_repaintPending = false;
    bool m_dragging = false;
    bool m_caretShown = false;
    // Wheel turns short of a notch, kept for the next: see wheelEvent().
    int m_wheelAngle = 0;
    // Where a run of Up and Down keys aims, while the caret is where the
    // last of them put it: see handleMove().
    qsizetype m_goalCaret = -1;
    qreal m_goalX = 0;
    QBasicTimer m_blink;
    // Paces redraws: see scheduleRefresh() and refresh().
    RedrawPacer m_refresh;
    RedrawPacer m_growthRefresh;
};
