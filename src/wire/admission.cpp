#include "admission.h"

#include <algorithm>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>

namespace {
// Addresses not seen for this long and holding nothing are forgotten (once
// their rate has refilled), so the table stays as small as the set of
// addresses that connected lately.
constexpr qint64 PruneEveryMs = 10 * 1000;

// The peer of fd as 16 bytes, IPv4 as an IPv4-mapped IPv6 address, so that
// one address is one key whichever socket family the listener uses.
bool peerAddress(int fd, Admission::Address &address)
{
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &size) != 0)
        return false;
    address.fill(0);
    if (peer.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(peer);
        std::memcpy(address.data(), &in6.sin6_addr, 16);
        return true;
    }
    if (peer.ss_family == AF_INET) {
        const auto &in4 = reinterpret_cast<const sockaddr_in &>(peer);
        address[10] = 0xff;
        address[11] = 0xff;
        std::memcpy(address.data() + 12, &in4.sin_addr, 4);
        return true;
    }
    return false;
}
} // namespace

Admission::Admission(AdmissionLimits limits, std::function<qint64()> now)
    : m_limits(limits), m_now(std::move(now))
{
    if (!m_now) {
        m_clock.start();
        m_now = [this] { return m_clock.elapsed(); };
    }
}

bool Admission::admit(int fd, quint16 port)
{
    // A request whose peer cannot be told is already gone (reset before the
    // accept): refused like any other, or resets alone would fill the pool.
    Address address;
    if (!peerAddress(fd, address))
        return false;
    Ticket ticket = admitAddress(port, address);
    if (!ticket)
        return false;
    m_pending[fd] = ticket;
    return true;
}

Admission::Ticket Admission::claim(int fd)
{
    const auto it = m_pending.find(fd);
    if (it == m_pending.end())
        return nullptr;
    const Ticket ticket = it->second;
    m_pending.erase(it);
    return ticket;
}

void Admission::leave(Ticket ticket)
{
    if (ticket && ticket->open > 0)
        --ticket->open;
}

void Admission::refill(Entry &entry, qint64 now) const
{
    // perSecond tokens a second are perSecond thousandths a millisecond.
    const qint64 full = qint64(m_limits.burst) * 1000;
    const qint64 gained = std::max<qint64>(0, now - entry.countedAt) * m_limits.perSecond;
    entry.milliTokens = std::min(full, entry.milliTokens + gained);
    entry.countedAt = now;
}

Admission::Ticket Admission::admitAddress(quint16 port, const Address &address)
{
    const qint64 now = m_now();
    if (now - m_prunedAt >= PruneEveryMs)
        prune(now);
    auto [it, fresh] = m_entries.try_emplace(Key{port, address});
    Entry &entry = it->second;
    if (fresh) {
        entry.milliTokens = qint64(m_limits.burst) * 1000;
        entry.countedAt = now;
    }
    refill(entry, now);
    if (m_limits.limitLoopback || !isLoopback(address)) {
        if (entry.open >= m_limits.perAddress || entry.milliTokens < 1000)
            return nullptr;
        entry.milliTokens -= 1000;
    }
    ++entry.open;
    return &entry;
}

bool Admission::isLoopback(const Address &address)
{
    static constexpr Address IPv6Loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr std::array<quint8, 12> MappedPrefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (address == IPv6Loopback)
        return true;
    return std::equal(MappedPrefix.begin(), MappedPrefix.end(), address.begin()) && address[12] == 127;
}

void Admission::prune(qint64 now)
{
    m_prunedAt = now;
    const qint64 full = qint64(m_limits.burst) * 1000;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        Entry &entry = it->second;
        if (entry.open == 0) {
            refill(entry, now);
            if (entry.milliTokens >= full) {
                it = m_entries.erase(it);
                continue;
            }
        }
        ++it;
    }
}
