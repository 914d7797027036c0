#pragma once

// Plain loopback descriptors for tests that drive the reactor and the TCP
// endpoints from the other end without Qt's socket classes in between (those
// read eagerly into their own buffer, which hides flow control).
#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Owns one descriptor; closes it unless it was handed on with release().
class RawFd
{
public:
    RawFd() = default;
    explicit RawFd(int fd) : m_fd(fd) {}
    RawFd(RawFd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    RawFd &operator=(RawFd &&other) noexcept
    {
        reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    ~RawFd() { reset(); }

    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

namespace RawSocket {

constexpr qsizetype KiB = 1024;
constexpr qsizetype MiB = 1024 * KiB;
// Small kernel buffers on both ends: the kernel holds little for a peer that
// does not read, so queued output (ours or a flooding client's) comes into
// play early.
constexpr int SmallReceiveBuffer = 16 * KiB;
constexpr int SmallSendBuffer = 16 * KiB;

inline void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// A shrunken receive buffer makes the kernel hold little for a peer that does
// not read, so the other side's own queue comes into play early.
inline void setReceiveBuffer(int fd, int bytes)
{
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

// A shrunken send buffer (it no longer grows with the connection) makes a
// writer's kernel take little before it refuses.
inline void setSendBuffer(int fd, int bytes)
{
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

// A connected, non-blocking client on 127.0.0.1:port; invalid when refused.
// receiveBuffer (when set) is applied before connecting, when it still
// bounds the window the peer is offered.
inline RawFd connectTo(quint16 port, int receiveBuffer = 0)
{
    RawFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (receiveBuffer > 0)
        setReceiveBuffer(fd.get(), receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // On loopback the handshake completes in the listener's backlog, so a
    // blocking connect returns at once, before anything is accepted.
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return {};
    setNonBlocking(fd.get());
    return fd;
}

// Both ends of one loopback TCP connection, non-blocking.
inline std::pair<RawFd, RawFd> tcpPair(int receiveBuffer = 0)
{
    RawFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener.get(), 1) != 0
        || ::getsockname(listener.get(), reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return {};
    RawFd client = connectTo(ntohs(address.sin_port), receiveBuffer);
    RawFd server(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    return {std::move(server), std::move(client)};
}

// Reads what is there now, at most limit bytes, appending to into. True once
// the peer has ended the connection (end of file or reset).
inline bool readAvailable(int fd, QByteArray &into, qsizetype limit = 1 << 30)
{
    char buffer[16 * 1024];
    while (limit > 0) {
        const ssize_t n = ::recv(fd, buffer, size_t(std::min<qsizetype>(limit, sizeof buffer)), MSG_DONTWAIT);
        if (n > 0) {
            into.append(buffer, n);
            limit -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    }
    return false;
}

// Writes until the kernel refuses (non-blocking), at most bytes.size() from
// offset on; returns how far it got.
inline qsizetype writeAvailable(int fd, const QByteArray &bytes, qsizetype offset = 0)
{
    while (offset < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + offset, size_t(bytes.size() - offset),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            offset += n;
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    return offset;
}

// Closing after this sends a reset instead of an orderly end.
inline void resetOnClose(int fd)
{
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

// Distinct bytes at each offset (period 251, a prime), so a lost or
// reordered stretch shows in a comparison.
inline QByteArray pattern(qsizetype size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i + seed) % 251);
    return bytes;
}

} // namespace RawSocket
