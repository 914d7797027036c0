#include "lingerer.h"

#include "sendsome.h"

#include <QTimer>

#include <array>
#include <cerrno>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

Lingerer::Lingerer(SocketReactor &reactor, int fd, QByteArray rest, int lingerMs)
    : QObject(&reactor), m_reactor(reactor), m_fd(fd), m_rest(std::move(rest))
{
    ++m_reactor.m_lingering;
    m_key = m_reactor.watch(fd, *this);
    if (m_key == SocketReactor::NoKey) {
        finish();
        return;
    }
    m_reactor.setInterest(m_key, m_fd, true, true);
    QTimer::singleShot(lingerMs, this, [this] { finish(); });
}

Lingerer::~Lingerer()
{
    closeNow();
    --m_reactor.m_lingering;
}

void Lingerer::onReady(std::uint32_t events)
{
    if (m_fd < 0)
        return;
    // Both directions are over (or the connection was reset).
    if (events & (EPOLLERR | EPOLLHUP)) {
        finish();
        return;
    }
    if ((events & EPOLLIN) && !discardInput())
        return;
    if ((events & EPOLLOUT) && !m_allSent && !sendRest())
        return;
    if (m_allSent && m_peerEnded) {
        finish();
        return;
    }
    m_reactor.setInterest(m_key, m_fd, !m_peerEnded, !m_allSent);
}

bool Lingerer::discardInput()
{
    std::array<char, 16 * 1024> sink;
    for (;;) {
        const ssize_t n = ::recv(m_fd, sink.data(), sink.size(), MSG_DONTWAIT);
        if (n > 0)
            continue;
        if (n == 0) {
            m_peerEnded = true;
            return true;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        finish();
        return false;
    }
}

bool Lingerer::sendRest()
{
    const SendResult sent = sendSome(m_fd, m_rest.constData() + m_sent, m_rest.size() - m_sent);
    m_sent += sent.written;
    if (sent.peerGone) {
        finish(); // nothing more to deliver
        return false;
    }
    if (m_sent < m_rest.size())
        return true; // the rest when the peer takes more
    m_allSent = true;
    m_rest = QByteArray();
    // The end goes out after the last byte; the kernel delivers both.
    ::shutdown(m_fd, SHUT_WR);
    return true;
}

void Lingerer::closeNow()
{
    if (m_fd < 0)
        return;
    if (m_key != SocketReactor::NoKey)
        m_reactor.unwatch(m_key, m_fd);
    ::close(m_fd);
    m_fd = -1;
}

void Lingerer::finish()
{
    closeNow();
    deleteLater();
}
