#pragma once

#include "wire/servernotice.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>

class ChannelText;
class QTcpSocket;

// One user's presence in the chat, on the server's four channels:
//   - connects to the message, roster, join and leave ports of the server;
//   - once all four are connected, sends the nickname on the roster and join
//     channels (the server reads a nickname from its newest connection there,
//     so it must go out at once);
//   - sends chat lines as "<nickname> line", UTF-8, nothing added: the server
//     adds no sender name and the wire has no framing;
//   - hands on what each channel delivers, decoded for display by one
//     split-letter decoder per channel stream;
//   - leaves by sending the nickname on the leave channel, and closes the
//     connections only once it is written.
// A server that does not answer is given up after ConnectTimeoutMs; any
// connection ending without a leave ends the session with a Turkish reason.
class ChatSession final : public QObject
{
    Q_OBJECT

public:
    enum class State { Disconnected, Connecting, Connected, Leaving };
    Q_ENUM(State)

    static constexpr int ConnectTimeoutMs = 5000;
    // A server that stops reading must not keep the window from closing.
    static constexpr int LeaveDeadlineMs = 3000;
    // What is taken off the chat connection while it is held, at most.
    static constexpr qint64 HeldReadBytes = 64 * 1024;

    explicit ChatSession(QObject *parent = nullptr);
    ~ChatSession() override;

    State state() const { return m_state; }
    QString nickname() const { return m_nickname; }
    QString host() const { return m_host; }

    void connectTo(const QString &nickname, const QString &host);
    void say(const QString &line);
    void leave();
    // While held, the chat channel is not read: what the server sends waits
    // in the kernel's buffers, and the server holds the senders back as it
    // does for any slow reader. For a reader that is itself behind.
    void holdChat(bool hold);

signals:
    void stateChanged(ChatSession::State state);
    void chatText(const QString &text);
    void rosterText(const QString &text);
    void joinText(const QString &text);
    void leaveText(const QString &text);
    // The connections ended without a leave; reason says why, in Turkish.
    void lost(const QString &reason);

private:
    enum Channel { Message, Roster, Join, Leave, ChannelCount };

    void connected();
    void failed(Channel channel);
    void closed();
    void closeWhenWritten();
    void deadlinePassed();
    void end(const QString &reason);
    void tearDown();
    void setState(State state);

    State m_state = State::Disconnected;
    QString m_nickname;
    QString m_host;
    // Sockets and decoders of one connection attempt, children of m_link.
    QObject *m_link = nullptr;
    std::array<QTcpSocket *, ChannelCount> m_sockets{};
    std::array<ChannelText *, ChannelCount> m_texts{};
    int m_connected = 0;
    bool m_chatHeld = false;
    ServerNotice::StopWatch m_stopWatch;
    QTimer m_deadline;
};
