#include "conversation.h"


#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

Conversation::Conversation(QPlainTextEdit &view) : m_view(view)
{
    m_view.setReadOnly(true);
    m_view.setMaximumBlockCount(MaxLines);
    m_view.setUndoRedoEnabled(false);
    QScrollBar *bar = m_view.verticalScrollBar();
    QObject::connect(bar, &QScrollBar::valueChanged, &m_view,
                     [this, bar](int value) { m_follow = value == bar->maximum(); });
    QObject::connect(bar, &QScrollBar::rangeChanged, &m_view, [this, bar](int, int maximum) {
        if (m_follow)
            bar->setValue(maximum);
    });
}

QString Conversation::shown(const QString &text)
{
    return ShownRead::shownText(text);
}

void Conversation::addChat(const QString &text)
{
    add(text, Kind::Chat);
}

void Conversation::addPresence(const QString &text)
{
    add(text, Kind::Presence);
}

void Conversation::addNotice(const QString &text)
{
    add(text, Kind::Notice);
}

void Conversation::add(const QString &text, Kind kind)
{
    const QString line = kind == Kind::Notice ? text : shown(text);

    QTextCursor cursor(m_view.document());
    cursor.movePosition(QTextCursor::End);
    if (!m_view.document()->isEmpty())
        cursor.insertBlock();
    QTextCharFormat plain;
    switch (kind) {
    case Kind::Chat: {
        const qsizetype nameEnd = line.startsWith(u'<') ? line.indexOf(u'>') : -1;
        if (nameEnd > 0) {
            QTextCharFormat name;
            name.setFontWeight(QFont::Bold);
            cursor.insertText(line.left(nameEnd + 1), name);
            cursor.insertText(line.mid(nameEnd + 1), plain);
            break;
        }
        cursor.insertText(line, plain);
        break;
    }
    case Kind::Presence: {
        QTextCharFormat grey;
        grey.setFontItalic(true);
        grey.setForeground(m_view.palette().color(QPalette::PlaceholderText));
        cursor.insertText(line, grey);
        break;
    }
    case Kind::Notice: {
        QTextCharFormat notice;
        notice.setFontItalic(true);
        notice.setFontWeight(QFont::DemiBold);
        cursor.insertText(line, notice);
        break;
    }
    }
    if (m_follow)
        m_view.verticalScrollBar()->setValue(m_view.verticalScrollBar()->maximum());
}
