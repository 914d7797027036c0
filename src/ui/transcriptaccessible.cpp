#include "transcriptaccessible.h"

#include "ui/transcriptview.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <limits>

namespace {

int toInt(qsizetype value)
{
    return int(std::clamp<qsizetype>(value, 0, std::numeric_limits<int>::max()));
}

QAccessibleInterface *makeInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String(TranscriptView::staticMetaObject.className())
        && object->isWidgetType())
        return new TranscriptAccessible(static_cast<TranscriptView *>(object));
    return nullptr;
}

} // namespace

TranscriptAccessible::TranscriptAccessible(TranscriptView *view)
    : QAccessibleWidget(view, QAccessible::EditableText)
{
}

void TranscriptAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(&makeInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

TranscriptView *TranscriptAccessible::view() const
{
    return static_cast<TranscriptView *>(widget());
}

QAccessible::State TranscriptAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.editable = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

void *TranscriptAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

void TranscriptAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !view()->hasSelection())
        return;
    const qsizetype anchor = view()->selectionAnchor();
    const qsizetype caret = view()->caretPosition();
    *startOffset = toInt(std::min(anchor, caret));
    *endOffset = toInt(std::max(anchor, caret));
}

int TranscriptAccessible::selectionCount() const
{
    return view()->hasSelection() ? 1 : 0;
}

void TranscriptAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TranscriptAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        view()->setCaretPosition(view()->caretPosition());
}

void TranscriptAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        view()->setSelection(startOffset, endOffset);
}

int TranscriptAccessible::cursorPosition() const
{
    return toInt(view()->caretPosition());
}

void TranscriptAccessible::setCursorPosition(int position)
{
    view()->setCaretPosition(position);
}

QString TranscriptAccessible::text(int startOffset, int endOffset) const
{
    return view()->content().text(startOffset, endOffset, u"\n");
}

std::pair<qsizetype, qsizetype>
TranscriptAccessible::unitAt(qsizetype offset, QAccessible::TextBoundaryType type) const
{
    const TranscriptText &content = view()->content();
    offset = std::clamp<qsizetype>(offset, 0, content.length());
    const qsizetype line = content.lineOf(offset);
    const qsizetype start = content.lineStart(line);
    switch (type) {
    case QAccessible::CharBoundary:
        return {offset, std::min(offset + 1, content.length())};
    case QAccessible::WordBoundary:
    case QAccessible::SentenceBoundary: {
        // Words and sentences never cross a line here: lines are separate
        // messages.
        const QString chars = content.line(line).toString();
        QTextBoundaryFinder finder(type == QAccessible::WordBoundary
                                           ? QTextBoundaryFinder::Word
                                           : QTextBoundaryFinder::Sentence,
                                   chars);
        finder.setPosition(offset - start);
        const qsizetype before =
                finder.isAtBoundary() ? offset - start : finder.toPreviousBoundary();
        finder.setPosition(offset - start);
        const qsizetype after = finder.toNextBoundary();
        return {start + std::max<qsizetype>(before, 0),
                start + (after < 0 ? chars.size() : after)};
    }
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary:
        return {start, start + content.lineLength(line)};
    case QAccessible::NoBoundary:
        break;
    }
    return {0, content.length()};
}

QString TranscriptAccessible::textOf(std::pair<qsizetype, qsizetype> unit, int *startOffset,
                                     int *endOffset) const
{
    *startOffset = toInt(unit.first);
    *endOffset = toInt(unit.second);
    return view()->content().text(unit.first, unit.second, u"\n");
}

QString TranscriptAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType type,
                                               int *startOffset, int *endOffset) const
{
    const auto at = unitAt(offset, type);
    if (at.first == 0)
        return textOf({0, 0}, startOffset, endOffset);
    return textOf(unitAt(at.first - 1, type), startOffset, endOffset);
}

QString TranscriptAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType type,
                                              int *startOffset, int *endOffset) const
{
    const auto at = unitAt(offset, type);
    const qsizetype length = view()->content().length();
    // Past a line's end lies its line break; the next unit starts after it.
    const qsizetype next = at.second == at.first ? at.second + 1 : at.second;
    if (next >= length)
        return textOf({length, length}, startOffset, endOffset);
    return textOf(unitAt(next, type), startOffset, endOffset);
}

QString TranscriptAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType type,
                                           int *startOffset, int *endOffset) const
{
    return textOf(unitAt(offset, type), startOffset, endOffset);
}

int TranscriptAccessible::characterCount() const
{
    return toInt(view()->textLength());
}

QRect TranscriptAccessible::characterRect(int offset) const
{
    const QRect at = view()->cursorRect(offset);
    const QRect next = view()->cursorRect(offset + 1);
    const int width = next.top() == at.top() ? std::max(1, next.left() - at.left()) : 1;
    const QRect local(at.topLeft(), QSize(width, at.height()));
    return local.translated(view()->viewport()->mapToGlobal(QPoint(0, 0)));
}

int TranscriptAccessible::offsetAtPoint(const QPoint &point) const
{
    return toInt(view()->positionAt(view()->viewport()->mapFromGlobal(point)));
}

void TranscriptAccessible::scrollToSubstring(int, int)
{
    // Moving the view for a reader would fight the scroll to the end that
    // every new line makes; the reader gets the text without it.
}

QString TranscriptAccessible::attributes(int, int *startOffset, int *endOffset) const
{
    // One font for the whole text: a single run without attributes of its own.
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}
