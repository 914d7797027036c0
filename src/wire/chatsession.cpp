#include "chatsession.h"

#include "wire/channelports.h"
#include "wire/channeltext.h"
#include "wire/failuretext.h"
#include "wire/servernotice.h"
#include "wire/wiretext.h"

#include <QTcpSocket>

ChatSession::ChatSession(QObject *parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &ChatSession::deadlinePassed);
}

// The sockets are aborted, not closed in an orderly way: a window that goes
// away without leaving has nothing more to say to the server.
ChatSession::~ChatSession()
{
    tearDown();
}

void ChatSession::connectTo(const QString &nickname, const QString &host)
{
    if (m_state != State::Disconnected)
        return;
    m_nickname = nickname;
    m_host = host;
    m_connected = 0;
    m_stopWatch.reset();
    m_link = new QObject(this);
    for (int c = 0; c < ChannelCount; ++c) {
        const auto channel = static_cast<Channel>(c);
        auto *socket = new QTcpSocket(m_link);
        auto *text = new ChannelText(m_link);
        m_sockets[c] = socket;
        m_texts[c] = text;
        connect(socket, &QTcpSocket::readyRead, text, [this, socket, text, channel] {
            if (channel != Message || !m_chatHeld)
                text->feed(socket->readAll());
        });
        connect(socket, &QTcpSocket::connected, this, &ChatSession::connected);
        connect(socket, &QTcpSocket::errorOccurred, this, [this, channel] { failed(channel); });
        connect(socket, &QTcpSocket::disconnected, this, &ChatSession::closed);
        connect(socket, &QTcpSocket::bytesWritten, this, &ChatSession::closeWhenWritten);
    }
    connect(m_texts[Message], &ChannelText::text, this, [this](const QString &text) {
        m_stopWatch.read(text);
        emit chatText(text);
    });
    connect(m_texts[Roster], &ChannelText::text, this, &ChatSession::rosterText);
    connect(m_texts[Join], &ChannelText::text, this, &ChatSession::joinText);
    connect(m_texts[Leave], &ChannelText::text, this, &ChatSession::leaveText);
    m_sockets[Message]->setReadBufferSize(m_chatHeld ? HeldReadBytes : 0);
    setState(State::Connecting);
    m_deadline.start(ConnectTimeoutMs);
    for (int c = 0; c < ChannelCount; ++c)
        m_sockets[c]->connectToHost(host, ChannelPort::All[size_t(c)]);
}

void ChatSession::say(const QString &line)
{
    if (m_state != State::Connected || line.isEmpty())
        return;
    m_sockets[Message]->write(WireText::encode(QStringLiteral("<") + m_nickname + QStringLiteral("> ") + line));
}

void ChatSession::leave()
{
    if (m_state == State::Connecting) {
        tearDown();
        setState(State::Disconnected);
        return;
    }
    if (m_state != State::Connected)
        return;
    setState(State::Leaving);
    m_sockets[Leave]->write(WireText::encode(m_nickname));
    m_deadline.start(LeaveDeadlineMs);
    closeWhenWritten();
}

void ChatSession::holdChat(bool hold)
{
    m_chatHeld = hold;
    if (!m_link)
        return;
    QTcpSocket *socket = m_sockets[Message];
    // Qt stops reading the connection once this much waits in its buffer.
    socket->setReadBufferSize(hold ? HeldReadBytes : 0);
    if (!hold && socket->bytesAvailable() > 0)
        m_texts[Message]->feed(socket->readAll());
}

void ChatSession::connected()
{
    if (m_state != State::Connecting || ++m_connected < ChannelCount)
        return;
    m_deadline.stop();
    const QByteArray nickname = WireText::encode(m_nickname);
    m_sockets[Roster]->write(nickname);
    m_sockets[Join]->write(nickname);
    setState(State::Connected);
}

void ChatSession::failed(Channel channel)
{
    const QTcpSocket *socket = m_sockets[channel];
    switch (m_state) {
    case State::Connecting:
        end(FailureText::connectFailed(socket->error(), m_host, socket->errorString()));
        break;
    case State::Connected:
        // An orderly close by the server is reported by closed(), which follows.
        if (socket->error() != QAbstractSocket::RemoteHostClosedError)
            end(FailureText::connectionBroke(socket->errorString()));
        break;
    case State::Leaving:
        // Whatever breaks now, the user is leaving anyway.
        closed();
        break;
    case State::Disconnected:
        break;
    }
}

void ChatSession::closed()
{
    if (m_state == State::Connected) {
        end(FailureText::serverClosed(m_stopWatch.seen()));
        return;
    }
    if (m_state != State::Leaving)
        return;
    for (const QTcpSocket *socket : m_sockets) {
        if (socket->state() != QAbstractSocket::UnconnectedState)
            return;
    }
    tearDown();
    setState(State::Disconnected);
}

void ChatSession::closeWhenWritten()
{
    if (m_state != State::Leaving)
        return;
    for (const QTcpSocket *socket : m_sockets) {
        if (socket->bytesToWrite() > 0)
            return;
    }
    for (QTcpSocket *socket : m_sockets)
        socket->disconnectFromHost();
}

void ChatSession::deadlinePassed()
{
    if (m_state == State::Connecting) {
        end(FailureText::noAnswer(m_host, ConnectTimeoutMs / 1000));
    } else if (m_state == State::Leaving) {
        tearDown();
        setState(State::Disconnected);
    }
}

void ChatSession::end(const QString &reason)
{
    for (ChannelText *text : m_texts) {
        if (text)
            text->flush();
    }
    tearDown();
    setState(State::Disconnected);
    emit lost(reason);
}

void ChatSession::tearDown()
{
    m_deadline.stop();
    if (!m_link)
        return;
    for (QTcpSocket *socket : m_sockets) {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
    }
    for (ChannelText *text : m_texts)
        disconnect(text, nullptr, this, nullptr);
    // Deleted later: this may run inside one of the sockets' own signals.
    m_link->deleteLater();
    m_link = nullptr;
    m_sockets = {};
    m_texts = {};
}

void ChatSession::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}
