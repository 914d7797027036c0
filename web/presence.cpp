#include "presence.h"

#include "websocketframes.h"

#include "wire/shownread.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonArray shownNames(const QStringList &names)
{
    QJsonArray shown;
    for (const QString &name : names)
        shown.append(ShownRead::shownText(name));
    return shown;
}

// A page's message, framed once for every browser that gets it.
QByteArray frameOf(const QJsonObject &message)
{
    return WebSocketFrames::text(QJsonDocument(message).toJson(QJsonDocument::Compact));
}

} // namespace

Presence::Presence(QObject *parent) : QObject(parent)
{
    m_people.reset({});
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, &Presence::peopleChanged);
    connect(&m_people, &People::changed, this, [this] {
        m_peopleFrame.clear();
        m_settle.start();
    });
    connect(&m_roster, &ChannelText::text, &m_people, &People::rosterText);
    connect(&m_join, &ChannelText::text, this, [this](const QString &text) {
        for (const QString &name : m_joins.feed(text)) {
            m_people.joined(name);
            emit arrived(frameOf({{QStringLiteral("t"), QStringLiteral("joined")},
                               {QStringLiteral("text"), ShownRead::shownText(name + JoinAnnouncements::Suffix)}}));
        }
    });
    connect(&m_leave, &ChannelText::text, this, [this](const QString &text) {
        const QStringList names = m_people.leaveText(text);
        if (!names.isEmpty())
            emit departed(frameOf({{QStringLiteral("t"), QStringLiteral("left")},
                                {QStringLiteral("names"), shownNames(names)}}));
    });
}

void Presence::add(const QObject *session)
{
    if (!m_sessions.contains(session))
        m_sessions.append(session);
}

void Presence::remove(const QObject *session)
{
    const bool reader = reads(session);
    if (!m_sessions.removeOne(session) || !reader)
        return;
    // A letter split across the reader's reads will not be completed by the
    // next reader's stream.
    m_roster.flush();
    m_join.flush();
    m_leave.flush();
    // Nobody left to say who is here: nobody is known to be.
    if (m_sessions.isEmpty()) {
        m_joins.clear();
        m_people.reset({});
    }
}

void Presence::know(const QString &nickname)
{
    m_people.know(nickname);
}

void Presence::rosterBytes(const QObject *session, const QByteArray &bytes)
{
    if (reads(session))
        m_roster.feed(bytes);
}

void Presence::joinBytes(const QObject *session, const QByteArray &bytes)
{
    if (reads(session))
        m_join.feed(bytes);
}

void Presence::leaveBytes(const QObject *session, const QByteArray &bytes)
{
    if (reads(session))
        m_leave.feed(bytes);
}

void Presence::chatText(const QObject *session, const QString &text)
{
    if (reads(session))
        m_people.chatText(text);
}

QByteArray Presence::peopleFrame()
{
    if (m_peopleFrame.isEmpty()) {
        const QStringList names = m_people.sure() ? m_people.names() : m_people.rows()->stringList();
        m_peopleFrame = frameOf({{QStringLiteral("t"), QStringLiteral("people")},
                                {QStringLiteral("names"), shownNames(names)},
                                {QStringLiteral("sure"), m_people.sure()}});
    }
    return m_peopleFrame;
}
