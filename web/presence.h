#pragma once

#include "wire/channeltext.h"
#include "wire/joinannouncements.h"
#include "wire/people.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

// Who is present, read once for all the gateway's users.
//
// The server sends the same roster, arrivals and departures to each of its
// clients, so a gateway of N users receives N copies of each. Read by every
// session, the roster alone would cost each one a reading of everyone, and
// the gateway memory and work growing with N². One session, the oldest that
// has joined, reads for all; the others' copies are dropped unread. When it
// goes, the next oldest reads on from wherever its own stream stands.
//
// What it reads becomes the page's messages (the comment at the top of
// bridge.cpp), made and framed once for every browser.
class Presence final : public QObject
{
    Q_OBJECT

public:
    // Arrivals come in bursts (a class joining), each changing the list:
    // the list is given out once a burst is over.
    static constexpr int SettleMs = 250;

    explicit Presence(QObject *parent = nullptr);

    // A session that has joined, and one that is over.
    void add(const QObject *session);
    void remove(const QObject *session);
    // A user's nickname, known before the server names it.
    void know(const QString &nickname);

    // What a session's connections delivered.
    void rosterBytes(const QObject *session, const QByteArray &bytes);
    void joinBytes(const QObject *session, const QByteArray &bytes);
    void leaveBytes(const QObject *session, const QByteArray &bytes);
    void chatText(const QObject *session, const QString &text);

    // {"t":"people",...} as it stands, framed.
    QByteArray peopleFrame();
    // Whether a roster has been read since the last user went (before that
    // the list says nothing, not that nobody is there).
    bool known() { return m_people.sure() || m_people.rows()->rowCount() > 0; }

signals:
    void peopleChanged();
    // {"t":"joined",...} and {"t":"left",...}, framed, for every browser.
    void arrived(const QByteArray &frame);
    void departed(const QByteArray &frame);

private:
    bool reads(const QObject *session) const { return !m_sessions.isEmpty() && m_sessions.constFirst() == session; }

    QList<const QObject *> m_sessions;
    People m_people{this};
    JoinAnnouncements m_joins;
    ChannelText m_roster{this};
    ChannelText m_join{this};
    ChannelText m_leave{this};
    QByteArray m_peopleFrame;
    QTimer m_settle;
};
