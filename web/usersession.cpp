#include "usersession.h"

#include "presence.h"

#include "wire/channelports.h"
#include "wire/channeltext.h"
#include "wire/failuretext.h"
#include "wire/sendsome.h"
#include "wire/servernotice.h"
#include "wire/wiretext.h"

#include <QHostInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One read takes at most this much; a channel with more is read again on
// the reactor's next pass, after the other users have had their turn.
constexpr qsizetype ReadBytes = 16 * 1024;

QString describe(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QAbstractSocket::SocketError kindOf(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return QAbstractSocket::ConnectionRefusedError;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
        return QAbstractSocket::NetworkError;
    case ETIMEDOUT:
        return QAbstractSocket::SocketTimeoutError;
    default:
        return QAbstractSocket::UnknownSocketError;
    }
}

} // namespace

UserSession::UserSession(SocketReactor &reactor, Presence &presence, QObject *parent)
    : QObject(parent), m_reactor(reactor), m_presence(presence)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &UserSession::deadlinePassed);
    for (int c = 0; c < ChannelCount; ++c) {
        m_links[size_t(c)].session = this;
        m_links[size_t(c)].channel = Channel(c);
    }
    m_chat = new ChannelText(this);
    connect(m_chat, &ChannelText::text, this, [this](const QString &text) {
        m_stopWatch.read(text);
        m_presence.chatText(this, text);
        emit chatText(text);
    });
}

// A session that goes away without leaving has nothing more to say.
UserSession::~UserSession()
{
    if (m_lookup >= 0)
        QHostInfo::abortHostLookup(m_lookup);
    // Nobody is told: whoever listens is going too.
    m_backlog = false;
    closeLinks(false);
    m_presence.remove(this);
}

void UserSession::connectTo(const QString &nickname, const QString &host)
{
    if (m_state != State::Disconnected)
        return;
    m_nickname = nickname;
    m_host = host;
    m_connected = 0;
    m_stopWatch.reset();
    m_presence.know(nickname);
    setState(State::Connecting);
    m_deadline.start(ChatSession::ConnectTimeoutMs);
    const QHostAddress address(host);
    if (!address.isNull()) {
        resolved(address);
        return;
    }
    // Qt keeps what it has looked up for a while: a class joining at once
    // asks the resolver once.
    m_lookup = QHostInfo::lookupHost(host, this, [this](const QHostInfo &info) {
        m_lookup = -1;
        if (m_state != State::Connecting)
            return;
        if (info.addresses().isEmpty()) {
            end(FailureText::connectFailed(QAbstractSocket::HostNotFoundError, m_host, info.errorString()));
            return;
        }
        // One address is tried, as a lab's server is found by its IPv4
        // address where it has one.
        const QList<QHostAddress> addresses = info.addresses();
        const auto v4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress &candidate) {
            return candidate.protocol() == QAbstractSocket::IPv4Protocol;
        });
        resolved(v4 != addresses.end() ? *v4 : addresses.constFirst());
    });
}

void UserSession::resolved(const QHostAddress &address)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        length = sizeof *in6;
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in4;
    }
    for (Link &link : m_links) {
        link.fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (link.fd < 0)
            return failed(errno, true);
        const quint16 port = quint16(ChannelPort::All[size_t(link.channel)]);
        if (storage.ss_family == AF_INET6)
            reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port = htons(port);
        else
            reinterpret_cast<sockaddr_in *>(&storage)->sin_port = htons(port);
        if (::connect(link.fd, reinterpret_cast<const sockaddr *>(&storage), length) != 0 && errno != EINPROGRESS)
            return failed(errno, true);
        link.key = m_reactor.watch(link.fd, link);
        if (link.key == SocketReactor::NoKey)
            return failed(errno, true);
        // Connected when it can be written to.
        m_reactor.setInterest(link.key, link.fd, false, true);
    }
}

void UserSession::ready(Link &link, std::uint32_t events)
{
    if (!link.connected) {
        connectFinished(link);
        return;
    }
    if (events & EPOLLOUT)
        flush(link);
    if (m_state != State::Disconnected && (events & (EPOLLIN | EPOLLERR | EPOLLHUP)))
        readFrom(link);
}

void UserSession::connectFinished(Link &link)
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(link.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error != 0)
        return failed(error, true);
    link.connected = true;
    updateInterest(link);
    if (++m_connected < ChannelCount)
        return;
    m_deadline.stop();
    const QByteArray nickname = WireText::encode(m_nickname);
    write(m_links[Roster], nickname);
    write(m_links[Join], nickname);
    m_presence.add(this);
    setState(State::Connected);
}

void UserSession::readFrom(Link &link)
{
    static char buffer[ReadBytes];
    const ssize_t n = ::recv(link.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
        const QByteArray bytes = QByteArray::fromRawData(buffer, n);
        switch (link.channel) {
        case Message:
            m_chat->feed(bytes);
            break;
        case Roster:
            m_presence.rosterBytes(this, bytes);
            break;
        case Join:
            m_presence.joinBytes(this, bytes);
            break;
        case Leave:
        case ChannelCount:
            m_presence.leaveBytes(this, bytes);
            break;
        }
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n == 0) {
        end(FailureText::serverClosed(m_stopWatch.seen()));
        return;
    }
    end(FailureText::connectionBroke(describe(errno)));
}

void UserSession::say(const QString &line)
{
    if (m_state != State::Connected || line.isEmpty())
        return;
    write(m_links[Message],
          WireText::encode(QStringLiteral("<") + m_nickname + QStringLiteral("> ") + line));
}

void UserSession::write(Link &link, const QByteArray &bytes)
{
    if (link.pending.isEmpty()) {
        const SendResult sent = sendSome(link.fd, bytes.constData(), bytes.size());
        if (sent.peerGone)
            return end(FailureText::connectionBroke(describe(EPIPE)));
        if (sent.written < bytes.size())
            link.pending = bytes.mid(sent.written);
    } else {
        link.pending += bytes;
    }
    updateInterest(link);
}

void UserSession::flush(Link &link)
{
    if (link.pending.isEmpty())
        return updateInterest(link);
    const SendResult sent = sendSome(link.fd, link.pending.constData(), link.pending.size());
    if (sent.peerGone)
        return end(FailureText::connectionBroke(describe(EPIPE)));
    // Emptied, the buffer is given back: an idle user holds none.
    link.pending = sent.written == link.pending.size() ? QByteArray() : link.pending.mid(sent.written);
    updateInterest(link);
}

void UserSession::updateInterest(Link &link)
{
    if (link.key == SocketReactor::NoKey)
        return;
    const bool read = link.channel != Message || !m_chatHeld;
    m_reactor.setInterest(link.key, link.fd, read, !link.pending.isEmpty());
    if (link.channel != Message)
        return;
    const bool backlog = link.pending.size() > SayBacklogBytes;
    if (backlog != m_backlog) {
        m_backlog = backlog;
        emit backlogChanged(backlog);
    }
}

void UserSession::holdChat(bool hold)
{
    m_chatHeld = hold;
    if (m_links[Message].connected)
        updateInterest(m_links[Message]);
}

void UserSession::leave()
{
    if (m_state == State::Connecting) {
        closeLinks(false);
        setState(State::Disconnected);
        return;
    }
    if (m_state != State::Connected)
        return;
    setState(State::Leaving);
    m_links[Leave].pending += WireText::encode(m_nickname);
    closeLinks(true);
    setState(State::Disconnected);
}

void UserSession::failed(int error, bool connecting)
{
    if (connecting)
        end(FailureText::connectFailed(kindOf(error), m_host, describe(error)));
    else
        end(FailureText::connectionBroke(describe(error)));
}

void UserSession::end(const QString &reason)
{
    if (m_state == State::Disconnected)
        return;
    m_chat->flush();
    closeLinks(false);
    setState(State::Disconnected);
    emit lost(reason);
}

void UserSession::closeLinks(bool linger)
{
    m_deadline.stop();
    m_presence.remove(this);
    for (Link &link : m_links) {
        if (link.key != SocketReactor::NoKey)
            m_reactor.unwatch(link.key, link.fd);
        link.key = SocketReactor::NoKey;
        if (link.fd >= 0) {
            // What is still to go out goes, and the server sees an orderly end.
            if (linger && link.connected)
                m_reactor.linger(link.fd, std::exchange(link.pending, {}), ChatSession::LeaveDeadlineMs);
            else
                ::close(link.fd);
        }
        link.fd = -1;
        link.connected = false;
        link.pending = QByteArray();
    }
    if (m_backlog) {
        m_backlog = false;
        emit backlogChanged(false);
    }
}

void UserSession::deadlinePassed()
{
    if (m_state == State::Connecting)
        end(FailureText::noAnswer(m_host, ChatSession::ConnectTimeoutMs / 1000));
}

void UserSession::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}
