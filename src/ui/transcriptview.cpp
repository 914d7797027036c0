#include "transcriptview.h"

#include "ui/transcriptaccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <limits>

namespace {

constexpr int Margin = 3;
// At most one redraw in this span while text keeps coming: 25 a second.
constexpr int RefreshMs = 40;
// The scroll bars follow appended text this much later: see refresh().
constexpr int GrowthScrollBarsMs = 250;
constexpr int CaretWidth = 1;
constexpr QStringView CrLf = u"\r\n";

// For counts and offsets, which are never negative.
int clampToInt(qsizetype value)
{
    return int(std::clamp<qsizetype>(value, 0, std::numeric_limits<int>::max()));
}

// Client text may carry any character. Those that would move the pen, break
// the line or draw nothing are shown as a visible stand-in of their own, one
// for one, so columns on screen stay columns of the text.
QChar shownChar(QChar c)
{
    constexpr char16_t ControlPictures = 0x2400; // "␀" for NUL, "␍" for CR, ...
    const char16_t u = c.unicode();
    if (u == u'\t')
        return u' ';
    if (u < 0x20)
        return QChar(char16_t(ControlPictures + u));
    if (u == 0x7f)
        return QChar(char16_t(0x2421)); // "␡"
    if (u >= 0x80 && u < 0xa0)
        return QChar(QChar::ReplacementCharacter);
    if (u == QChar::LineSeparator || u == QChar::ParagraphSeparator)
        return QChar(char16_t(0x2424)); // "␤"
    return c;
}

QString shownText(QStringView chars)
{
    QString shown = chars.left(TranscriptView::MaxShownChars).toString();
    for (QChar &c : shown)
        c = shownChar(c);
    if (chars.size() > TranscriptView::MaxShownChars)
        shown.append(u'…');
    return shown;
}

// What a key would type, or nothing: text without Ctrl, Alt or Meta (but
// Ctrl+Alt, which is AltGr on Windows) and without control characters.
QString typedText(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool altGr = (mods & Qt::ControlModifier) && (mods & Qt::AltModifier);
    if (!altGr && (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return {};
    const QString text = event->text();
    const bool printable = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() != 0x7f;
    });
    return printable ? text : QString();
}

bool isClipboardKey(const QKeyEvent *event)
{
    return event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut)
            || event->matches(QKeySequence::Paste) || event->matches(QKeySequence::SelectAll);
}

} // namespace

TranscriptView::TranscriptView(QWidget *parent) : QAbstractScrollArea(parent)
{
    TranscriptAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent);
    horizontalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_lineHeight = qMax(1, fontMetrics().lineSpacing());
    m_refresh.setSingleShot(true);
    connect(&m_refresh, &QTimer::timeout, this, &TranscriptView::refresh);
    m_growthRefresh.setSingleShot(true);
    connect(&m_growthRefresh, &QTimer::timeout, this, [this] {
        if (m_scrollBarsPending || m_growthPending)
            syncScrollBars();
    });
    syncScrollBars();
}

void TranscriptView::appendLine(const QString &line)
{
    const qsizetype lastLine = lineCount() - 1;
    if (QAccessible::isActive()) {
        // Accessible offsets count a line break as one character, like ours.
        QString inserted = line;
        inserted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QAccessibleTextInsertEvent event(this, clampToInt(textLength()), inserted + u'\n');
        QAccessible::updateAccessibility(&event);
    }
    m_text.appendLine(line);
    if (lastLine <= m_top + pageLines())
        repaintText();
    m_growthPending = true;
    scheduleRefresh();
    emit textChanged();
}

void TranscriptView::clear()
{
    if (m_text.isEmpty())
        return;
    if (QAccessible::isActive()) {
        QAccessibleTextRemoveEvent event(this, 0, m_text.text(u"\n"));
        QAccessible::updateAccessibility(&event);
    }
    m_text.clear();
    m_caret = m_anchor = 0;
    m_top = 0;
    m_left = m_widest = 0;
    scheduleScrollBars();
    repaintText();
    emit textChanged();
}

QString TranscriptView::text() const
{
    return m_text.text(CrLf);
}

void TranscriptView::setCaretPosition(qsizetype position)
{
    position = std::clamp<qsizetype>(position, 0, textLength());
    setSelection(position, position);
}

void TranscriptView::setSelection(qsizetype anchor, qsizetype position)
{
    m_anchor = std::clamp<qsizetype>(anchor, 0, textLength());
    m_caret = std::clamp<qsizetype>(position, 0, textLength());
    ensureCaretVisible();
    repaintText();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent event(this, clampToInt(m_caret));
        QAccessible::updateAccessibility(&event);
    }
}

QString TranscriptView::selectedText() const
{
    return m_text.text(std::min(m_anchor, m_caret), std::max(m_anchor, m_caret), CrLf);
}

void TranscriptView::selectAll()
{
    setSelection(0, textLength());
}

void TranscriptView::copy() const
{
    // The clipboard takes LF line ends; Qt converts them where the platform
    // wants others.
    if (hasSelection())
        QGuiApplication::clipboard()->setText(
                m_text.text(std::min(m_anchor, m_caret), std::max(m_anchor, m_caret), u"\n"));
}

void TranscriptView::paste()
{
    // Pasted line ends of any kind become line breaks.
    QString text = QGuiApplication::clipboard()->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    if (!text.isEmpty())
        replaceSelection(text);
}

QRect TranscriptView::cursorRect(qsizetype position) const
{
    position = std::clamp<qsizetype>(position, 0, textLength());
    const qsizetype line = m_text.lineOf(position);
    const int x = Margin - m_left + qRound(caretX(position));
    // Rows above the view are negative; far-off rows stay far off in int.
    constexpr qsizetype FarOff = std::numeric_limits<int>::max() / 2;
    const qsizetype y = Margin + (line - m_top) * m_lineHeight;
    return {x, int(std::clamp<qsizetype>(y, -FarOff, FarOff)), CaretWidth, m_lineHeight};
}

// --- layout --------------------------------------------------------------

void TranscriptView::layoutLine(QTextLayout &layout, qsizetype line) const
{
    layout.setText(shownText(m_text.line(line)));
    layout.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine().setPosition({0, 0});
    layout.endLayout();
}

qreal TranscriptView::caretX(qsizetype position) const
{
    const qsizetype line = m_text.lineOf(position);
    const qsizetype column = position - m_text.lineStart(line);
    // The caret after an appended line sits at the start of the empty last
    // line: no layout needed.
    if (column == 0)
        return 0;
    QTextLayout layout(QString(), font(), viewport());
    layoutLine(layout, line);
    return layout.lineAt(0).cursorToX(int(std::min(column, MaxShownChars)));
}

qsizetype TranscriptView::positionAt(QPoint point) const
{
    const int y = point.y() - Margin;
    const qsizetype rows = y >= 0 ? y / m_lineHeight : -1 - (-y - 1) / m_lineHeight;
    const qsizetype line = std::clamp<qsizetype>(m_top + rows, 0, lineCount() - 1);
    QTextLayout layout(QString(), font(), viewport());
    layoutLine(layout, line);
    const qsizetype column = layout.lineAt(0).xToCursor(point.x() - Margin + m_left);
    return m_text.lineStart(line) + std::min(column, m_text.lineLength(line));
}

qsizetype TranscriptView::pageLines() const
{
    return qMax(1, (viewport()->height() - 2 * Margin) / m_lineHeight);
}

qsizetype TranscriptView::maxTop() const
{
    return qMax<qsizetype>(0, lineCount() - pageLines());
}

// --- painting ------------------------------------------------------------

void TranscriptView::paintEvent(QPaintEvent *event)
{
    m_repaintPending = false;
    QPainter painter(viewport());
    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled
            : isActiveWindow()                     ? QPalette::Active
                                                   : QPalette::Inactive;
    painter.setPen(palette().color(group, QPalette::Text));
    QTextCharFormat selected;
    selected.setBackground(palette().brush(group, QPalette::Highlight));
    selected.setForeground(palette().brush(group, QPalette::HighlightedText));

    const QRect dirty = event->rect();
    const qsizetype first = m_top + qMax(0, dirty.top() - Margin) / m_lineHeight;
    const qsizetype last =
            std::min(lineCount() - 1, m_top + qMax(0, dirty.bottom() - Margin) / m_lineHeight);
    const qsizetype selStart = std::min(m_anchor, m_caret);
    const qsizetype selEnd = std::max(m_anchor, m_caret);
    const qsizetype caretLine = m_text.lineOf(m_caret);
    int widest = m_widest;
    QTextLayout layout(QString(), font(), viewport());
    for (qsizetype i = first; i <= last; ++i) {
        layoutLine(layout, i);
        const QTextLine textLine = layout.lineAt(0);
        const QPointF origin(Margin - m_left, Margin + qreal(i - m_top) * m_lineHeight);
        const qsizetype start = m_text.lineStart(i);
        const qsizetype length = m_text.lineLength(i);
        QList<QTextLayout::FormatRange> ranges;
        if (selStart < selEnd && selStart <= start + length && selEnd > start) {
            const qsizetype from = std::clamp<qsizetype>(selStart - start, 0, MaxShownChars);
            const qsizetype to =
                    std::clamp<qsizetype>(selEnd - start, 0, std::min(length, MaxShownChars));
            if (to > from)
                ranges.append({int(from), int(to - from), selected});
            // A selected line break shows as a blank's width after the line.
            if (selEnd > start + length) {
                const QRectF mark(origin.x() + textLine.naturalTextWidth(), origin.y(),
                                  fontMetrics().horizontalAdvance(u' '), m_lineHeight);
                painter.fillRect(mark, selected.background());
            }
        }
        layout.draw(&painter, origin, ranges);
        widest = qMax(widest, qCeil(textLine.naturalTextWidth()));
        if (i == caretLine && m_caretShown) {
            const qsizetype column = std::min(m_caret - start, MaxShownChars);
            layout.drawCursor(&painter, origin, int(column), CaretWidth);
        }
    }
    if (widest > m_widest) {
        m_widest = widest;
        scheduleScrollBars();
    }
}

// --- scrolling -----------------------------------------------------------

void TranscriptView::ensureCaretVisible()
{
    const qsizetype line = m_text.lineOf(m_caret);
    const qsizetype page = pageLines();
    if (line < m_top)
        setTop(line);
    else if (line >= m_top + page)
        setTop(line - page + 1);

    const int x = qCeil(caretX(m_caret));
    const int room = qMax(0, viewport()->width() - 2 * Margin - CaretWidth);
    int left = m_left;
    if (x < left)
        left = x;
    else if (x > left + room)
        left = x - room;
    if (left != m_left) {
        m_left = left;
        m_widest = qMax(m_widest, x);
        scheduleScrollBars();
        repaintText();
    }
}

void TranscriptView::setTop(qsizetype top)
{
    top = std::clamp<qsizetype>(top, 0, maxTop());
    if (top == m_top)
        return;
    m_top = top;
    scheduleScrollBars();
    repaintText();
}

void TranscriptView::scheduleScrollBars()
{
    // A burst of appends (a chat line adds one per connected client) sets the
    // scroll bars once, when the event loop next runs.
    m_scrollBarsPending = true;
    scheduleRefresh();
}

// Busy chat changes the text far more often than a screen can show or an
// operator can read: at a thousand clients every chat line adds a thousand
// lines. The first change after a quiet spell is drawn when the event loop
// next runs; changes that follow within RefreshMs are drawn together at the
// end of it. Each redraw of the box and its scroll bar costs far more than
// relaying a line, so this keeps the relay from waiting on the painting.
void TranscriptView::scheduleRefresh()
{
    if (m_refresh.isActive())
        return;
    const qint64 since = m_sinceRefresh.isValid() ? m_sinceRefresh.elapsed() : RefreshMs;
    m_refresh.start(int(qMax<qint64>(0, RefreshMs - since)));
}

// Appends move the scroll bars only a little each time, and redrawing a
// scroll bar costs more than redrawing the text (its groove is a gradient,
// which the raster engine fills with helper threads it then waits for). So
// the scroll bars follow appended text a quarter of a second later, at most
// four times a second, while the text itself is drawn at once and then at the
// full pace: the first line after a quiet spell shows without waiting for
// them, and a burst of chat is relayed without them in its way. When no text
// came since they were last set, anything else (the operator scrolling,
// selecting, resizing) sets them at the next redraw.
void TranscriptView::refresh()
{
    m_sinceRefresh.restart();
    if (m_growthPending) {
        if (!m_growthRefresh.isActive())
            m_growthRefresh.start(GrowthScrollBarsMs);
    } else if (m_scrollBarsPending) {
        syncScrollBars();
    }
    if (m_repaintPending)
        viewport()->update();
}

void TranscriptView::syncScrollBars()
{
    m_scrollBarsPending = false;
    m_growthPending = false;
    // A scroll bar moved before it learnt of deleted lines may have taken
    // the view past the end.
    m_top = std::clamp<qsizetype>(m_top, 0, maxTop());
    const QScopedValueRollback syncing(m_syncing, true);
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, clampToInt(maxTop()));
    vertical->setPageStep(clampToInt(pageLines()));
    vertical->setValue(clampToInt(m_top));
    QScrollBar *horizontal = horizontalScrollBar();
    const int room = qMax(0, viewport()->width() - 2 * Margin);
    horizontal->setRange(0, qMax(0, m_widest + CaretWidth - room));
    horizontal->setPageStep(qMax(1, room));
    horizontal->setSingleStep(m_lineHeight);
    horizontal->setValue(m_left);
    m_left = horizontal->value();
}

void TranscriptView::scrollContentsBy(int, int)
{
    // The operator moved a scroll bar; changes made by syncScrollBars() only
    // mirror m_top and m_left.
    if (!m_syncing) {
        m_top = verticalScrollBar()->value();
        m_left = horizontalScrollBar()->value();
    }
    repaintText();
}

void TranscriptView::repaintText()
{
    // update() is already deferred by Qt; the flag spares the dirty-region
    // bookkeeping on every one of a thousand appends before the next paint.
    m_repaintPending = true;
    scheduleRefresh();
}

void TranscriptView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_caret == textLength() && !hasSelection())
        ensureCaretVisible();
    else
        setTop(m_top);
    scheduleScrollBars();
}

void TranscriptView::wheelEvent(QWheelEvent *event)
{
    // The wheel goes through the vertical scroll bar, which must know the
    // current range first.
    if (m_scrollBarsPending || m_growthPending)
        syncScrollBars();
    QAbstractScrollArea::wheelEvent(event);
}

void TranscriptView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_lineHeight = qMax(1, fontMetrics().lineSpacing());
        m_widest = 0;
        if (m_caret == textLength() && !hasSelection())
            ensureCaretVisible();
        else
            setTop(m_top);
        scheduleScrollBars();
    }
    viewport()->update();
}

// --- editing -------------------------------------------------------------

bool TranscriptView::event(QEvent *event)
{
    // Keys the box handles itself win over shortcuts of the window.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (isClipboardKey(key) || !typedText(key).isEmpty()) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TranscriptView::keyPressEvent(QKeyEvent *event)
{
    if (handleMove(event) || handleEdit(event)) {
        event->accept();
        restartBlink();
        return;
    }
    event->ignore();
}

bool TranscriptView::handleMove(QKeyEvent *event)
{
    const qsizetype line = m_text.lineOf(m_caret);
    const qsizetype column = m_caret - m_text.lineStart(line);
    // The caret keeps its column, as far as the target line reaches.
    auto onLine = [&](qsizetype target) {
        target = std::clamp<qsizetype>(target, 0, lineCount() - 1);
        return m_text.lineStart(target) + std::min(column, m_text.lineLength(target));
    };
    struct Move
    {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        qsizetype target;
    };
    const Move moves[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, stepped(m_caret, true)},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar,
         stepped(m_caret, false)},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, onLine(line + 1)},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, onLine(line - 1)},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, onLine(line + pageLines())},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage,
         onLine(line - pageLines())},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine,
         m_text.lineStart(line)},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine,
         m_text.lineStart(line) + m_text.lineLength(line)},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, 0},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, textLength()},
    };
    for (const Move &m : moves) {
        if (event->matches(m.move) || event->matches(m.select)) {
            moveCaret(m.target, event->matches(m.select));
            return true;
        }
    }
    return false;
}

bool TranscriptView::handleEdit(QKeyEvent *event)
{
    if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::Cut)) {
        copy();
        replaceSelection({});
    } else if (event->matches(QKeySequence::Paste))
        paste();
    else if (event->matches(QKeySequence::InsertParagraphSeparator)
             || event->matches(QKeySequence::InsertLineSeparator))
        replaceSelection(QStringLiteral("\n"));
    else if (event->key() == Qt::Key_Backspace)
        removeAround(false);
    else if (event->matches(QKeySequence::Delete))
        removeAround(true);
    else if (const QString typed = typedText(event); !typed.isEmpty())
        replaceSelection(typed);
    else
        return false;
    return true;
}

void TranscriptView::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty())
        replaceSelection(event->commitString());
    event->accept();
}

QVariant TranscriptView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return isEnabled();
    case Qt::ImCursorRectangle:
        return caretRect().translated(viewport()->pos());
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void TranscriptView::moveCaret(qsizetype position, bool select)
{
    setSelection(select ? m_anchor : position, position);
}

void TranscriptView::replaceSelection(const QString &text)
{
    const qsizetype from = std::min(m_anchor, m_caret);
    const qsizetype to = std::max(m_anchor, m_caret);
    if (from == to && text.isEmpty())
        return;
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, clampToInt(from), m_text.text(from, to, u"\n"),
                                         text);
        QAccessible::updateAccessibility(&event);
    }
    m_text.remove(from, to);
    m_text.insert(from, text);
    m_caret = m_anchor = from + text.size();
    setTop(m_top);
    ensureCaretVisible();
    scheduleScrollBars();
    repaintText();
    emit textChanged();
}

void TranscriptView::removeAround(bool forward)
{
    if (!hasSelection())
        m_anchor = stepped(m_caret, forward);
    replaceSelection({});
}

qsizetype TranscriptView::stepped(qsizetype position, bool forward) const
{
    // One character, a surrogate pair counting as one; a line break too.
    if (forward ? position >= textLength() : position <= 0)
        return position;
    const qsizetype line = m_text.lineOf(position);
    const qsizetype column = position - m_text.lineStart(line);
    const QStringView chars = m_text.line(line);
    if (forward) {
        const bool pair = column + 1 < chars.size() && chars[column].isHighSurrogate()
                && chars[column + 1].isLowSurrogate();
        return position + (pair ? 2 : 1);
    }
    const bool pair = column >= 2 && chars[column - 1].isLowSurrogate()
            && chars[column - 2].isHighSurrogate();
    return position - (pair ? 2 : 1);
}

// --- mouse, focus, caret blink ---------------------------------------------

void TranscriptView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    moveCaret(positionAt(event->position().toPoint()),
              event->modifiers() & Qt::ShiftModifier);
    restartBlink();
}

void TranscriptView::mouseMoveEvent(QMouseEvent *event)
{
    // Dragging above or below the box selects on, a line per move.
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        moveCaret(positionAt(event->position().toPoint()), true);
}

void TranscriptView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
}

void TranscriptView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
}

void TranscriptView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    m_caretShown = false;
    viewport()->update();
}

void TranscriptView::restartBlink()
{
    m_caretShown = hasFocus();
    const int flashMs = QApplication::cursorFlashTime();
    if (m_caretShown && flashMs > 0)
        m_blink.start(flashMs / 2, this);
    else
        m_blink.stop();
    viewport()->update();
}

void TranscriptView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_blink.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    m_caretShown = !m_caretShown;
    viewport()->update(caretRect());
}
