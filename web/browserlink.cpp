#include "browserlink.h"

#include "wire/sendsome.h"

#include <cerrno>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One read takes at most this much; more is read on the reactor's next pass.
constexpr qsizetype ReadBytes = 16 * 1024;

} // namespace

BrowserLink::BrowserLink(SocketReactor &reactor, int fd, qint64 maxMessageBytes, QObject *parent)
    : QObject(parent), m_reactor(reactor), m_fd(fd), m_reader(maxMessageBytes)
{
    m_key = m_reactor.watch(m_fd, *this);
    if (m_key == SocketReactor::NoKey) {
        ::close(m_fd);
        m_fd = -1;
    }
}

BrowserLink::~BrowserLink()
{
    if (m_fd < 0)
        return;
    m_reactor.unwatch(m_key, m_fd);
    ::close(m_fd);
}

void BrowserLink::sendFrame(const QByteArray &frame)
{
    if (m_fd < 0)
        return;
    qsizetype written = 0;
    if (m_out.empty()) {
        const SendResult sent = sendSome(m_fd, frame.constData(), frame.size());
        if (sent.peerGone)
            return finish(false, {});
        written = sent.written;
    }
    if (written == frame.size())
        return;
    if (m_out.empty())
        m_sentOfFirst = written;
    m_out.push_back(frame);
    m_waiting += frame.size() - written;
    updateInterest();
}

void BrowserLink::close(quint16 code, const QString &reason)
{
    if (m_fd >= 0)
        finish(true, WebSocketFrames::close(code, reason.toUtf8()));
}

void BrowserLink::abort()
{
    if (m_fd >= 0)
        finish(false, {});
}

void BrowserLink::setReading(bool reading)
{
    m_reading = reading;
    updateInterest();
}

void BrowserLink::onReady(std::uint32_t events)
{
    if (events & EPOLLOUT)
        writeSome();
    if (m_fd >= 0 && (events & (EPOLLIN | EPOLLERR | EPOLLHUP)))
        readSome();
}

void BrowserLink::readSome()
{
    static char buffer[ReadBytes];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0)
        return finish(false, {});
    m_reader.feed(buffer, n);
    // Each event may end the connection or this object: stop at the first that does.
    for (;;) {
        FrameReader::Event event = m_reader.next();
        switch (event.kind) {
        case FrameReader::Kind::None:
        case FrameReader::Kind::Pong:
            if (event.kind == FrameReader::Kind::None)
                return;
            break;
        case FrameReader::Kind::Text:
            emit textReceived(QString::fromUtf8(event.payload));
            break;
        case FrameReader::Kind::Ping:
            sendFrame(WebSocketFrames::pong(event.payload));
            break;
        case FrameReader::Kind::Close:
            // Answered with the browser's own code, as the protocol asks.
            return finish(true, WebSocketFrames::close(event.code == WebSocketFrames::NoStatus
                                                           ? quint16(WebSocketFrames::Normal) : event.code));
        case FrameReader::Kind::Fail:
            return finish(true, WebSocketFrames::close(event.code));
        }
        if (m_fd < 0)
            return;
    }
}

void BrowserLink::writeSome()
{
    while (!m_out.empty()) {
        const QByteArray &first = m_out.front();
        const SendResult sent = sendSome(m_fd, first.constData() + m_sentOfFirst, first.size() - m_sentOfFirst);
        if (sent.peerGone)
            return finish(false, {});
        m_sentOfFirst += sent.written;
        m_waiting -= sent.written;
        if (m_sentOfFirst < first.size())
            break;
        m_out.removeFirst();
        m_sentOfFirst = 0;
    }
    if (m_out.empty())
        m_out = {}; // an idle browser holds nothing
    updateInterest();
    emit written();
}

void BrowserLink::updateInterest()
{
    if (m_fd >= 0)
        m_reactor.setInterest(m_key, m_fd, m_reading, !m_out.empty());
}

void BrowserLink::finish(bool linger, const QByteArray &last)
{
    m_reactor.unwatch(m_key, m_fd);
    m_key = SocketReactor::NoKey;
    const int fd = std::exchange(m_fd, -1);
    if (linger) {
        QByteArray rest;
        rest.reserve(m_waiting + last.size());
        for (qsizetype i = 0; i < m_out.size(); ++i)
            rest += i == 0 ? m_out[i].mid(m_sentOfFirst) : m_out[i];
        rest += last;
        m_reactor.linger(fd, rest, CloseGraceMs);
    } else {
        ::close(fd);
    }
    m_out = {};
    m_waiting = 0;
    emit gone();
}
