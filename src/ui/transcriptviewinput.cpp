// The transcript box's keyboard, input-method, mouse and focus handling; the
// text, layout, painting and scrolling are in transcriptview.cpp.
#include "transcriptview.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <functional>

namespace {

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

// --- keys --------------------------------------------------------------------

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

// Up, Down and the page keys move by rows, keeping to the caret's x as far
// as the target row reaches, and to the x a run of them started from: going
// down through a short row and on does not pull the caret to the left, as in
// a Windows box. Home and End go to the ends of the caret's row.
bool TranscriptView::handleMove(QKeyEvent *event)
{
    struct Move
    {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        std::function<qsizetype()> target;
        bool keepsX = false;
    };
    qreal x = 0;
    const auto byRows = [this, &x](qsizetype rows) {
        x = goalX();
        return rowsMoved(rows, x);
    };
    const Move moves[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar,
         [this] { return stepped(m_caret, true); }},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar,
         [this] { return stepped(m_caret, false); }},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, [&] { return byRows(1); },
         true},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine,
         [&] { return byRows(-1); }, true},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage,
         [&] { return byRows(pageRows()); }, true},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage,
         [&] { return byRows(-pageRows()); }, true},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine,
         [this] { return rowEdge(false); }},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine,
         [this] { return rowEdge(true); }},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument,
         [] { return qsizetype(0); }},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument,
         [this] { return textLength(); }},
    };
    for (const Move &m : moves) {
        if (event->matches(m.move) || event->matches(m.select)) {
            moveCaret(m.target(), event->matches(m.select));
            if (m.keepsX) {
                m_goalCaret = m_caret;
                m_goalX = x;
            }
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
