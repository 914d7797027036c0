#include "connection.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool Connection::open(const sockaddr_storage &address, socklen_t length, std::string &error)
{
    close();
    m_fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // Lines are small and latency is what we measure: no Nagle delay.
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), length) == 0) {
        m_connecting = false;
        return true;
    }
    if (errno == EINPROGRESS) {
        m_connecting = true;
        return true;
    }
    error = std::strerror(errno);
    close();
    return false;
}

bool Connection::finishConnect(std::string &error)
{
    int code = 0;
    socklen_t size = sizeof code;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &code, &size) != 0)
        code = errno;
    if (code != 0) {
        error = std::strerror(code);
        close();
        return false;
    }
    m_connecting = false;
    return flush();
}

bool Connection::send(std::string_view bytes)
{
    if (m_fd < 0)
        return false;
    m_out.append(bytes);
    return m_connecting || flush();
}

bool Connection::flush()
{
    while (!m_out.empty()) {
        const ssize_t written = ::send(m_fd, m_out.data(), m_out.size(), MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            if (errno == EINTR)
                continue;
            close();
            return false;
        }
        m_out.erase(0, static_cast<std::size_t>(written));
    }
    return true;
}

long Connection::receive(char *buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = ::recv(m_fd, buffer, size, 0);
        if (got > 0) {
            // Acknowledge at once. With delayed ACKs a server that leaves
            // Nagle on holds its next small send for up to 40 ms, and we
            // would measure our own ACK timer instead of the server. Linux
            // drops quick-ack mode by itself, so it is set after every read.
            const int on = 1;
            ::setsockopt(m_fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
            return got;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        close();
        return -1;
    }
}

void Connection::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_connecting = false;
    m_out.clear();
}
