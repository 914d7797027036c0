#pragma once

// What the reliability tests share: the process's own figures (memory,
// descriptors), clients on the four fixed ports, byte streams whose every
// byte says who sent it, and the operator window running as a server.
#include "fourchannelclient.h"
#include "runningserver.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QAction>
#include <QListView>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QPushButton>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

namespace Reliability {


#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer shadow memory and quarantine make the resident size
// meaningless, and everything runs several times slower.
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif

// Resident set size of this process in KiB (VmRSS), -1 when unknown.
inline qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// What the process holds, with the heap's free pages handed back first, so
// that memory the allocator merely keeps in reserve does not count.
inline qint64 heldKiB()
{
    malloc_trim(0);
    return residentKiB();
}

inline int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                   .size());
}

// The byte a sender puts at position p of its stream: printable, no line
// breaks, so the transcript shows it as ordinary chat. The high nibble names
// the sender (0 to 3: '0'.., '@'.., 'P'.., '`'..), the low one follows a
// sequence with no short period, so a byte lost, doubled or moved shows.
inline char streamByte(int sender, qint64 p)
{
    const quint32 mixed = quint32(p) * 2654435761u ^ quint32(p >> 32);
    return char(((sender + 3) << 4) | int(mixed >> 28));
}
inline int senderOf(char byte) { return ((uchar(byte) >> 4) - 3) & 3; }

inline QByteArray streamBytes(int sender, qint64 from, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = streamByte(sender, from + i);
    return bytes;
}

// Checks relayed bytes as they come, without keeping them: each byte must be
// the next one of the sender it names. Senders' streams may interleave at any
// point, but each one must arrive whole and in order.
struct StreamCheck
{
    std::array<qint64, 4> next{};
    qint64 firstWrongAt = -1;

    void feed(const QByteArray &bytes)
    {
        for (const char byte : bytes) {
            const int sender = senderOf(byte);
            if (firstWrongAt < 0 && byte != streamByte(sender, next[size_t(sender)]))
                firstWrongAt = next[0] + next[1] + next[2] + next[3];
            ++next[size_t(sender)];
        }
    }
    qint64 from(int sender) const { return next[size_t(sender)]; }
    bool intact() const { return firstWrongAt < 0; }
};

// A client that connects and then never reads a byte: a plain descriptor
// with a small receive buffer, so the server's output to it backs up soon.
// It connects from source, another loopback address where a test needs many
// connections from more than one address.
class SilentClient
{
public:
    explicit SilentClient(Channel channel, quint32 source = INADDR_LOOPBACK)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(source);
        ::bind(m_fd, reinterpret_cast<const sockaddr *>(&from), sizeof from);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(ChannelPort::All[size_t(channel)]);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // Completes in the kernel's backlog, before the server accepts.
        if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~SilentClient() { close(); }
    SilentClient(const SilentClient &) = delete;
    SilentClient &operator=(const SilentClient &) = delete;

    bool connected() const { return m_fd >= 0; }
    // An orderly close, or with reset a RST (SO_LINGER 0).
    void close(bool reset = false)
    {
        if (m_fd < 0)
            return;
        if (reset) {
            const linger hard{1, 0};
            ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

} // namespace Reliability
