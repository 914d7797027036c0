#include "transcriptaccessible.h"

#include "wire/visibletext.h"
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

QString TranscriptAccessible::shownLines(QStringView text, QStringView lineBreak)
{
    QString shown;
    shown.reserve(text.size());
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(lineBreak); at >= 0; at = text.indexOf(lineBreak, from)) {
        shown.append(VisibleText::shown(text.sliced(from, at - from)));
        shown.append(u'\n');
        from = at + lineBreak.size();
    }
    shown.append(VisibleText::shown(text.sliced(from)));
    return shown;
}

QString TranscriptAccessible::shownRange(const TranscriptText &text, qsizetype from, qsizetype to)
{
    from = std::clamp<qsizetype>(from, 0, text.length());
    to = std::clamp<qsizetype>(to, from, text.length());
    QString shown;
    shown.reserve(to - from);
    const qsizetype last = text.lineOf(to);
    for (qsizetype line = text.lineOf(from); line <= last; ++line) {
        const qsizetype start = text.lineStart(line);
        const qsizetype begin = std::max(from, start) - start;
        const qsizetype end = std::min(to, start + text.lineLength(line)) - start;
        shown.append(VisibleText::shown(text.line(line).sliced(begin, end - begin)));
        if (line < last)
            shown.append(u'\n');
    }
    return shown;
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
    return shownRange(view()->content(), startOffset, endOffset);
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
    return shownRange(view()->content(), unit.first, unit.second);
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

// The box's one font styles all of its text: one run, described as Qt's own
// text widgets do it (QAccessibleTextWidget::attributes), keys in the same
// order, so readers that know those widgets read these too.
QString TranscriptAccessible::attributes(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    const QFont font = view()->font();
    QString family = font.families().value(0, font.family());
    for (const QChar special : {u'\\', u':', u',', u'=', u';', u'"'})
        family.replace(special, QStringLiteral("\\") + special);
    QString attributes;
    if (!family.isEmpty())
        attributes += QStringLiteral("font-family:\"%1\";").arg(family);
    if (const int points = qRound(font.pointSizeF()); points > 0)
        attributes += QStringLiteral("font-size:%1pt;").arg(points);
    attributes += font.italic() ? QStringLiteral("font-style:italic;")
                                : QStringLiteral("font-style:normal;");
    attributes += font.weight() > QFont::Normal ? QStringLiteral("font-weight:bold;")
                                                : QStringLiteral("font-weight:normal;");
    if (font.underline())
        attributes += QStringLiteral("text-underline-style:solid;text-underline-type:single;");
    return attributes;
}
