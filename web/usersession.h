#pragma once

#include "wire/chatsession.h"
#include "wire/servernotice.h"
#include "wire/socketreactor.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>

class ChannelText;
class Presence;

// One browser user on the server's four channels, an ordinary client to the
// server: it speaks as ChatSession does (the nickname on the roster and join
// channels once all four are connected, "<nickname> line" on the chat
// channel, the nickname on the leave channel to go), with the same states and
// the same Turkish reasons when it ends.
//
// What differs is underneath. A gateway holds hundreds of these, and four
// QTcpSockets a user cost more than the whole of what a user may cost here
// (bench/README.md): the connections are bare descriptors on the gateway's
// epoll reactor, nothing is buffered but what the kernel would not take, and
// of the roster, join and leave channels, which say the same to every
// client, only the session that reads for everyone (Presence) decodes what
// arrives; the others read and drop it.
class UserSession final : public QObject
{
    Q_OBJECT

public:
    using State = ChatSession::State;

    // While more than this waits to go to the server's chat channel, the
    // browser is not read (backlogChanged).
    static constexpr qint64 SayBacklogBytes = 64 * 1024;

    UserSession(SocketReactor &reactor, Presence &presence, QObject *parent = nullptr);
    ~UserSession() override;

    State state() const { return m_state; }
    QString nickname() const { return m_nickname; }

    void connectTo(const QString &nickname, const QString &host);
    void say(const QString &line);
    // The nickname goes out on the leave channel; the connections are handed
    // to the reactor to finish writing and close, and the session is over.
    void leave();
    // While held, the chat channel is not read: the server holds the senders
    // back, as for any slow reader.
    void holdChat(bool hold);

signals:
    void stateChanged(UserSession::State state);
    void chatText(const QString &text);
    void lost(const QString &reason);
    // Whether more than SayBacklogBytes waits to go to the chat channel.
    void backlogChanged(bool full);

private:
    enum Channel { Message, Roster, Join, Leave, ChannelCount };

    // One connection to one of the server's ports.
    struct Link final : ReactorClient
    {
        UserSession *session = nullptr;
        Channel channel = Message;
        int fd = -1;
        SocketReactor::Key key = SocketReactor::NoKey;
        bool connected = false;
        // What the kernel did not take yet.
        QByteArray pending;

        void onReady(std::uint32_t events) override { session->ready(*this, events); }
        void onWake() override {}
    };

    void resolved(const QHostAddress &address);
    void ready(Link &link, std::uint32_t events);
    void connectFinished(Link &link);
    void readFrom(Link &link);
    void write(Link &link, const QByteArray &bytes);
    void flush(Link &link);
    void updateInterest(Link &link);
    void failed(int error, bool connecting);
    void end(const QString &reason);
    void closeLinks(bool linger);
    void deadlinePassed();
    void setState(State state);

    SocketReactor &m_reactor;
    Presence &m_presence;
    State m_state = State::Disconnected;
    QString m_nickname;
    QString m_host;
    std::array<Link, ChannelCount> m_links{};
    ChannelText *m_chat = nullptr;
    int m_lookup = -1;
    int m_connected = 0;
    bool m_chatHeld = false;
    bool m_backlog = false;
    ServerNotice::StopWatch m_stopWatch;
    QTimer m_deadline;
};
