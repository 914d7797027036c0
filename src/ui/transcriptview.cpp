#include "transcriptview.h"

#include "wire/visibletext.h"
#include "ui/fonts.h"
#include "ui/transcriptaccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLocale>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <limits>

namespace {

constexpr int Margin = 3;
// The text is redrawn once a burst of changes has paused (see RedrawPacer),
// at most 25 times a second, and while changes never pause at least 10 times
// a second: a chat flood is far too fast to read anyway.
constexpr RedrawPacer::Timing TextRedraw{
        .leadMs = 0, .spacingMs = 40, .quietMs = 3, .maxLagMs = 100};
// The scroll bars follow appended text a quarter of a second later (see
// refresh()), and once a second while it streams in without a pause.
constexpr RedrawPacer::Timing GrowthScrollBars{
        .leadMs = 250, .spacingMs = 250, .quietMs = 3, .maxLagMs = 1000};
constexpr int CaretWidth = 1;
constexpr QStringView CrLf = u"\r\n";

// For counts and offsets, which are never negative.
int clampToInt(qsizetype value)
{
    return int(std::clamp<qsizetype>(value, 0, std::numeric_limits<int>::max()));
}

// The row of a laid-out line that holds a column. A column at a wrap point
// starts the next row, as the caret shows it in a Windows box; a column past
// the shown characters is on the last row.
QTextLine rowAt(const QTextLayout &layout, qsizetype column)
{
    const QTextLine row =
            layout.lineForTextPosition(int(std::min(column, TranscriptView::MaxShownChars)));
    return row.isValid() ? row : layout.lineAt(layout.lineCount() - 1);
}

// The last column the caret can take on a row. The end of a wrapped row is
// the start of the next, so there the caret stops one character short: before
// the blank the row broke at, or before the last character of a broken word.
int rowEndColumn(const QTextLayout &layout, const QTextLine &row)
{
    const int end = row.textStart() + row.textLength();
    if (row.lineNumber() == layout.lineCount() - 1)
        return end;
    const QString &chars = layout.text();
    int column = end - 1;
    if (column > row.textStart() && chars[column].isLowSurrogate()
        && chars[column - 1].isHighSurrogate())
        --column;
    return std::max(column, row.textStart());
}

} // namespace

QString TranscriptView::shownLine(QStringView chars)
{
    QString shown = VisibleText::shown(chars.left(MaxShownChars));
    if (chars.size() > MaxShownChars)
        shown.append(u'…');
    return shown;
}

TranscriptView::TranscriptView(QWidget *parent)
    : QAbstractScrollArea(parent), m_refresh(TextRedraw), m_growthRefresh(GrowthScrollBars)
{
    TranscriptAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            &TranscriptView::scrollBarAction);
    takeRowPitch();
    connect(&m_refresh, &RedrawPacer::due, this, &TranscriptView::refresh);
    connect(&m_growthRefresh, &RedrawPacer::due, this, [this] {
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
        QAccessibleTextInsertEvent event(this, clampToInt(textLength()),
                                         TranscriptAccessible::shownLines(line, CrLf) + u'\n');
        QAccessible::updateAccessibility(&event);
    }
    m_text.appendLine(line);
    appended(lastLine);
}

void TranscriptView::appendEmptyLines(qsizetype count)
{
    if (count <= 0)
        return;
    const qsizetype lastLine = lineCount() - 1;
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(this, clampToInt(textLength()), QString(count, u'\n'));
        QAccessible::updateAccessibility(&event);
    }
    m_text.appendEmptyLines(count);
    appended(lastLine);
}

// What follows lines added after lastLine, the line that was last before.
void TranscriptView::appended(qsizetype lastLine)
{
    m_endTop.line = -1;
    if (m_text.bytesUsed() > m_maxHeldBytes)
        dropOldest();
    // Every line takes a row at least, so a line further down than a page of
    // rows is out of view.
    if (m_followsEnd || lastLine <= m_top.line + pageRows())
        repaintText();
    // The scroll bars follow on their own pace; a line out of view needs no
    // redraw of the text.
    m_growthPending = true;
    m_growthRefresh.changed();
    emit textChanged();
}

// Down to half the bound, so that the copy of what stays (which gives the
// memory back) is made once per half a bound of text, not on every line.
void TranscriptView::dropOldest()
{
    const qsizetype count = m_text.linesOver(m_maxHeldBytes / 2);
    if (count <= 0)
        return;
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    const bool noticeFirst =
            m_droppedLines > 0 && m_text.line(0) == TrimmedNotice.arg(turkish.toString(m_droppedLines));
    m_droppedLines += noticeFirst ? count - 1 : count;
    const QString notice = TrimmedNotice.arg(turkish.toString(m_droppedLines));
    const qsizetype removed = m_text.lineStart(count);
    if (QAccessible::isActive()) {
        // The old text as blanks of its length, as Qt's own text widgets
        // report a change: copying megabytes for a reader that only counts
        // them would be waste.
        QAccessibleTextUpdateEvent event(this, 0, QString(removed, u' '), notice + u'\n');
        QAccessible::updateAccessibility(&event);
    }
    m_text.replaceFirstLines(count, notice);
    // Positions in what went land on the notice's start.
    const qsizetype shift = notice.size() + 1 - removed;
    const auto moved = [&](qsizetype position) { return position < removed ? 0 : position + shift; };
    m_caret = moved(m_caret);
    m_anchor = moved(m_anchor);
    m_goalCaret = -1;
    m_top = m_top.line < count ? ViewTop{} : ViewTop{m_top.line - count + 1, m_top.row};
    scheduleScrollBars();
    repaintText();
}

void TranscriptView::clear()
{
    if (m_text.isEmpty())
        return;
    if (QAccessible::isActive()) {
        QAccessibleTextRemoveEvent event(
                this, 0, TranscriptAccessible::shownRange(m_text, 0, m_text.length()));
        QAccessible::updateAccessibility(&event);
    }
    m_text.clear();
    m_droppedLines = 0;
    m_caret = m_anchor = 0;
    m_goalCaret = -1;
    m_top = {};
    m_followsEnd = false;
    m_endTop.line = -1;
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
    m_goalCaret = -1;
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
    const qsizetype column = position - m_text.lineStart(line);
    qreal x = 0;
    int row = 0;
    // The caret after an appended line sits at the start of the empty last
    // line: no layout needed.
    if (column > 0) {
        QTextLayout layout(QString(), font(), viewport());
        layoutLine(layout, line);
        const QTextLine textLine = rowAt(layout, column);
        x = textLine.cursorToX(int(std::min(column, MaxShownChars)));
        row = textLine.lineNumber();
    }
    // Rows above the view are negative; far-off rows stay far off in int.
    constexpr qsizetype FarOff = std::numeric_limits<int>::max() / 2;
    const qsizetype y = Margin + (rowsTo(line) + row) * m_lineHeight;
    return {Margin + qRound(x), int(std::clamp<qsizetype>(y, -FarOff, FarOff)), CaretWidth,
            m_lineHeight};
}

// --- layout --------------------------------------------------------------

void TranscriptView::takeRowPitch()
{
    m_lineHeight = qMax(1, UiFonts::rowPitch(font()));
    m_baseline = UiFonts::rowBaseline(font());
}

// Rows are m_lineHeight apart whatever fonts the characters fall back to, so
// that a line's height is its row count times m_lineHeight.
void TranscriptView::layoutLine(QTextLayout &layout, qsizetype line) const
{
    layout.setText(shownLine(m_text.line(line)));
    layout.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const qreal width = textWidth();
    layout.beginLayout();
    for (int row = 0;; ++row) {
        QTextLine textLine = layout.createLine();
        if (!textLine.isValid())
            break;
        textLine.setLineWidth(width);
        // Each baseline the font's ascent, rounded up, below its row's top:
        // the row pitch counts the rows so (UiFonts::rowPitch).
        textLine.setPosition({0, qreal(row) * m_lineHeight + m_baseline - textLine.ascent()});
    }
    layout.endLayout();
}

qsizetype TranscriptView::rowCount(qsizetype line) const
{
    // Most lines of a busy transcript are empty: they need no layout.
    if (m_text.lineLength(line) == 0)
        return 1;
    QTextLayout layout(QString(), font(), viewport());
    layoutLine(layout, line);
    return layout.lineCount();
}

// Rows from the top of the view down to a line's first row. Only lines in
// view are laid out: lines above the view, and lines below it past a page of
// rows, count one row each. That keeps far-off positions cheap and places
// them only roughly, out of view, where the exact row does not matter.
qsizetype TranscriptView::rowsTo(qsizetype line) const
{
    const ViewTop top = viewTop();
    if (line <= top.line)
        return line - top.line - top.row;
    const qsizetype page = pageRows();
    qsizetype rows = -top.row;
    qsizetype i = top.line;
    for (; i < line && rows <= page; ++i)
        rows += rowCount(i);
    return rows + (line - i);
}

// The position nearest to x on a row of a laid-out line.
qsizetype TranscriptView::positionOnRow(const QTextLayout &layout, qsizetype line, int row,
                                        qreal x) const
{
    const QTextLine textLine = layout.lineAt(std::clamp(row, 0, layout.lineCount() - 1));
    const int column = std::clamp(textLine.xToCursor(x), textLine.textStart(),
                                  rowEndColumn(layout, textLine));
    return m_text.lineStart(line) + std::min<qsizetype>(column, m_text.lineLength(line));
}

qsizetype TranscriptView::positionAt(QPoint point) const
{
    const int y = point.y() - Margin;
    const ViewTop top = viewTop();
    // Counted from the top line's first row, which may be above the view.
    qsizetype row = top.row + (y >= 0 ? y / m_lineHeight : -1 - (-y - 1) / m_lineHeight);
    qsizetype line = top.line;
    if (row < 0) {
        // Above the view, one row a line (see rowsTo()): the row just above
        // a line is the last of the line before.
        line += row;
        row = line < 0 ? 0 : std::numeric_limits<int>::max();
    } else {
        const qsizetype page = pageRows();
        qsizetype walked = -top.row;
        while (line < lineCount() - 1) {
            if (walked > page) {
                // Past the view, one row a line again.
                const qsizetype skipped = std::min(row, lineCount() - 1 - line);
                line += skipped;
                row -= skipped;
                break;
            }
            const qsizetype rows = rowCount(line);
            if (row < rows)
                break;
            row -= rows;
            walked += rows;
            ++line;
        }
    }
    line = std::clamp<qsizetype>(line, 0, lineCount() - 1);
    QTextLayout layout(QString(), font(), viewport());
    layoutLine(layout, line);
    return positionOnRow(layout, line, clampToInt(row), point.x() - Margin);
}

// The x that moving by rows keeps to: where the last such move left off
// aiming, if it left the caret where it still is; else the caret's own x.
qreal TranscriptView::goalX() const
{
    if (m_goalCaret == m_caret)
        return m_goalX;
    const qsizetype line = m_text.lineOf(m_caret);
    const qsizetype column = m_caret - m_text.lineStart(line);
    QTextLayout layout(QString(), font(), viewport());
    layoutLine(layout, line);
    return rowAt(layout, column).cursorToX(int(std::min(column, MaxShownChars)));
}

// The position a number of rows below the caret (above it when negative), as
// near to x as the row reaches. Lays out only the lines crossed.
qsizetype TranscriptView::rowsMoved(qsizetype rows, qreal x) const
{
    qsizetype line = m_text.lineOf(m_caret);
    const qsizetype column = m_caret - m_text.lineStart(line);
    QTextLayout layout(QString(), font(), viewport());
    layoutLine(layout, line);
    int row = rowAt(layout, column).lineNumber();
    for (; rows > 0; --rows) {
        if (row + 1 < layout.lineCount()) {
            ++row;
        } else if (line + 1 < lineCount()) {
            layoutLine(layout, ++line);
            row = 0;
        } else {
            break;
        }
    }
    for (; rows < 0; ++rows) {
        if (row > 0) {
            --row;
        } else if (line > 0) {
            layoutLine(layout, --line);
            row = layout.lineCount() - 1;
        } else {
            break;
        }
    }
    return positionOnRow(layout, line, row, x);
}

// The start or the end of the caret's row, as Home and End go in a Windows
// box. The end of a line's last row is the end of the line, also where the
// line is shown cut short.
qsizetype TranscriptView::rowEdge(bool end) const
{
    const qsizetype line = m_text.lineOf(m_caret);
    const qsizetype start = m_text.lineStart(line);
    QTextLayout layout(QString(), font(), viewport());
    layoutLine(layout, line);
    const QTextLine row = rowAt(layout, m_caret - start);
    if (!end)
        return start + row.textStart();
    if (row.lineNumber() == layout.lineCount() - 1)
        return start + m_text.lineLength(line);
    return start + rowEndColumn(layout, row);
}

// The caret at the end of a row stays inside the box.
qreal TranscriptView::textWidth() const
{
    return qMax(1, viewport()->width() - 2 * Margin - CaretWidth);
}

qsizetype TranscriptView::pageRows() const
{
    return qMax(1, (viewport()->height() - 2 * Margin) / m_lineHeight);
}

// The top from which the first rows of a line end at the bottom of the page,
// the rows above them filling it, or the text's top where they cannot. Lays
// out a page of lines at most.
TranscriptView::ViewTop TranscriptView::topShowing(qsizetype line, qsizetype rows) const
{
    const qsizetype page = pageRows();
    while (rows < page && line > 0)
        rows += rowCount(--line);
    return {line, std::max<qsizetype>(0, rows - page)};
}

// The top from which the end of the text is in view: its last row is the
// page's last, so a tall line before it shows its last rows, as a box that
// scrolls by rows shows them.
TranscriptView::ViewTop TranscriptView::maxTop() const
{
    if (m_endTop.line < 0 || m_endTopSize != viewport()->size()) {
        const qsizetype last = lineCount() - 1;
        m_endTop = topShowing(last, rowCount(last));
        m_endTopSize = viewport()->size();
    }
    return m_endTop;
}

// A top the view can take: within the text, no further than maxTop(), and
// below the top line's first row by fewer rows than it has. Edits and
// rewrapping can leave a top outside these.
TranscriptView::ViewTop TranscriptView::clampedTop(ViewTop top) const
{
    const ViewTop end = maxTop();
    if (top >= end)
        return end;
    if (top.line < 0)
        return {};
    top.row = top.row <= 0 ? 0 : std::min(top.row, rowCount(top.line) - 1);
    return top;
}

// The top a number of rows further down (up when negative), past the ends of
// the text as far as the rows go: setTop() brings it back. Lays out the lines
// crossed.
TranscriptView::ViewTop TranscriptView::rowsBelow(ViewTop top, qsizetype rows) const
{
    top.row += rows;
    while (top.row < 0 && top.line > 0)
        top.row += rowCount(--top.line);
    while (top.row > 0 && top.line < lineCount() - 1) {
        const qsizetype lineRows = rowCount(top.line);
        if (top.row < lineRows)
            break;
        top.row -= lineRows;
        ++top.line;
    }
    return top;
}

// --- painting ------------------------------------------------------------

void TranscriptView::paintEvent(QPaintEvent *event)
{
    m_repaintPending = false;
    QPainter painter(viewport());
    // Rows of the top line scrolled out of view would peek into the margin
    // above the first row shown.
    painter.setClipRect(viewport()->rect().adjusted(0, Margin, 0, 0));
    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled
            : isActiveWindow()                     ? QPalette::Active
                                                   : QPalette::Inactive;
    painter.setPen(palette().color(group, QPalette::Text));
    QTextCharFormat selected;
    selected.setBackground(palette().brush(group, QPalette::Highlight));
    selected.setForeground(palette().brush(group, QPalette::HighlightedText));

    // From the first line in view down, a line's rows at a time, until the
    // dirty part is done.
    const QRect dirty = event->rect();
    const qsizetype selStart = std::min(m_anchor, m_caret);
    const qsizetype selEnd = std::max(m_anchor, m_caret);
    const qsizetype caretLine = m_text.lineOf(m_caret);
    QTextLayout layout(QString(), font(), viewport());
    const ViewTop top = viewTop();
    qsizetype y = Margin - top.row * m_lineHeight;
    for (qsizetype i = top.line; i < lineCount() && y <= dirty.bottom(); ++i) {
        layoutLine(layout, i);
        const QPointF origin(Margin, qreal(y));
        y += qsizetype(layout.lineCount()) * m_lineHeight;
        if (y <= dirty.top())
            continue;
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
                const QTextLine lastRow = layout.lineAt(layout.lineCount() - 1);
                const QRectF mark(origin.x() + lastRow.naturalTextWidth(),
                                  origin.y() + qreal(lastRow.lineNumber()) * m_lineHeight,
                                  fontMetrics().horizontalAdvance(u' '), m_lineHeight);
                painter.fillRect(mark, selected.background());
            }
        }
        // A character drawn from a taller fallback font stays inside its
        // own rows rather than inking the neighbouring lines.
        painter.save();
        painter.setClipRect(QRectF(0, origin.y(), viewport()->width(), qreal(y) - origin.y()),
                            Qt::IntersectClip);
        layout.draw(&painter, origin, ranges);
        if (i == caretLine && m_caretShown) {
            // Finds the row as rowAt() does.
            const qsizetype column = std::min(m_caret - start, MaxShownChars);
            layout.drawCursor(&painter, origin, int(column), CaretWidth);
        }
        painter.restore();
    }
}

// --- scrolling -----------------------------------------------------------

// At the end, the view follows the text as it grows: the top that shows the
// end is worked out when next asked for (once a redraw while text streams
// in), not on each of the thousand appends a chat line can bring. In the
// middle, the view moves as little as brings the caret's row in view.
void TranscriptView::ensureCaretVisible()
{
    if (m_caret == textLength()) {
        if (!m_followsEnd) {
            m_followsEnd = true;
            scheduleScrollBars();
            repaintText();
        }
        return;
    }
    const qsizetype line = m_text.lineOf(m_caret);
    const qsizetype column = m_caret - m_text.lineStart(line);
    qsizetype row = 0;
    if (column > 0) {
        QTextLayout layout(QString(), font(), viewport());
        layoutLine(layout, line);
        row = rowAt(layout, column).lineNumber();
    }
    // Rows from the top of the view to the caret's, counted up to a page.
    const qsizetype rows = rowsTo(line) + row;
    if (rows < 0)
        setTop({line, row});
    else if (rows >= pageRows())
        setTop(topShowing(line, row + 1));
}

void TranscriptView::setTop(ViewTop top)
{
    top = clampedTop(top);
    const bool moved = top != viewTop();
    m_top = top;
    m_followsEnd = false;
    if (moved) {
        scheduleScrollBars();
        repaintText();
    }
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
// lines. Changes are drawn together, after the burst that made them (see
// TextRedraw). Each redraw of the box and its scroll bar costs far more than
// relaying a line, so this keeps the relay from waiting on the painting.
void TranscriptView::scheduleRefresh()
{
    m_refresh.changed();
}

// Appends move the scroll bars only a little each time, and redrawing a
// scroll bar costs more than redrawing the text (its groove is a gradient,
// which the raster engine fills with helper threads it then waits for). So
// the scroll bars follow appended text a quarter of a second later, at most
// four times a second (see GrowthScrollBars), while the text itself is drawn
// at its own pace: the first line after a quiet spell shows without waiting
// for them. When no text came since they were last set, anything else (the
// operator scrolling, selecting, resizing) sets them at the next redraw.
void TranscriptView::refresh()
{
    if (m_scrollBarsPending && !m_growthPending)
        syncScrollBars();
    if (m_repaintPending)
        viewport()->update();
}

void TranscriptView::syncScrollBars()
{
    m_scrollBarsPending = false;
    m_growthPending = false;
    // A scroll bar moved before it learnt of deleted lines may have taken
    // the view past the end.
    m_top = clampedTop(m_top);
    const QScopedValueRollback syncing(m_syncing, true);
    QScrollBar *vertical = verticalScrollBar();
    vertical->setRange(0, clampToInt(maxTop().line));
    // The bar counts lines and a page holds rows: paging by a page of rows
    // as lines is exact for unwrapped lines and pages no less than a screen.
    vertical->setPageStep(clampToInt(pageRows()));
    vertical->setValue(clampToInt(topLine()));
}

void TranscriptView::scrollContentsBy(int, int)
{
    // The operator moved the scroll bar; changes made by syncScrollBars()
    // only mirror the top line.
    if (!m_syncing) {
        // A line of the bar shows from its first row, but the bar's last
        // shows the end, which may start rows into that line.
        const qsizetype line = verticalScrollBar()->value();
        const ViewTop end = maxTop();
        m_top = line >= end.line ? end : ViewTop{line, 0};
        m_followsEnd = false;
    }
    repaintText();
}

// At either end of its range the bar cannot move, yet rows may be hidden
// there: of the top line above, or of the end below when the view is on the
// bar's last line but short of the end. A step or a page onwards shows them.
void TranscriptView::scrollBarAction(int action)
{
    const QScrollBar *bar = verticalScrollBar();
    if (m_syncing || bar->sliderPosition() != bar->value())
        return; // it moves, and scrollContentsBy() follows
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
    case QAbstractSlider::SliderPageStepAdd:
    case QAbstractSlider::SliderToMaximum:
        if (bar->value() == bar->maximum() && viewTop() != maxTop())
            setTop(maxTop());
        break;
    case QAbstractSlider::SliderSingleStepSub:
    case QAbstractSlider::SliderPageStepSub:
    case QAbstractSlider::SliderToMinimum:
        setTop({bar->value(), 0});
        break;
    default:
        break;
    }
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
    else if (!m_followsEnd)
        setTop(m_top);
    scheduleScrollBars();
}

// The wheel scrolls by rows, not by the bar's lines: so it reads a line taller
// than the box row by row and always reaches the end, as in a Windows box. A
// notch is wheelScrollLines() rows, or a page with Ctrl or Shift, as the bar
// would take it.
void TranscriptView::wheelEvent(QWheelEvent *event)
{
    constexpr int NotchAngle = 120;
    m_wheelAngle += event->angleDelta().y();
    const int notches = m_wheelAngle / NotchAngle;
    m_wheelAngle -= notches * NotchAngle;
    event->accept();
    if (notches == 0)
        return;
    const bool paging = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
    const qsizetype rows = paging ? pageRows() : QApplication::wheelScrollLines();
    // Turned on at the end, it leaves the view following the end.
    const ViewTop top = clampedTop(rowsBelow(viewTop(), -notches * rows));
    if (top == viewTop())
        return;
    setTop(top);
    // The bar shows where the wheel went before the wheel turns again.
    syncScrollBars();
}

void TranscriptView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        takeRowPitch();
        m_endTop.line = -1;
        if (m_caret == textLength() && !hasSelection())
            ensureCaretVisible();
        else if (!m_followsEnd)
            setTop(m_top);
        scheduleScrollBars();
    }
    viewport()->update();
}

// --- editing -------------------------------------------------------------

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
        QAccessibleTextUpdateEvent event(this, clampToInt(from),
                                         TranscriptAccessible::shownRange(m_text, from, to),
                                         TranscriptAccessible::shownLines(text, u"\n"));
        QAccessible::updateAccessibility(&event);
    }
    m_text.remove(from, to);
    m_text.insert(from, text);
    m_endTop.line = -1;
    m_caret = m_anchor = from + text.size();
    m_goalCaret = -1;
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
