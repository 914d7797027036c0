#include "addresslimit.h"

#include <algorithm>

namespace {
// Addresses that hold nothing and whose rate has refilled are forgotten this
// often, so the table stays as small as the set of recent addresses.
constexpr qint64 PruneEveryMs = 10 * 1000;

// One address is one key whether it came as IPv4 or as IPv4-mapped IPv6.
QHostAddress plain(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}
} // namespace

AddressLimit::AddressLimit(AdmissionLimits limits, std::function<qint64()> now)
    : m_limits(limits), m_now(std::move(now))
{
    if (!m_now) {
        m_clock.start();
        m_now = [this] { return m_clock.elapsed(); };
    }
}

void AddressLimit::refill(Entry &entry, qint64 now) const
{
    const qint64 full = qint64(m_limits.burst) * 1000;
    const qint64 gained = std::max<qint64>(0, now - entry.countedAt) * m_limits.perSecond;
    entry.milliTokens = std::min(full, entry.milliTokens + gained);
    entry.countedAt = now;
}

bool AddressLimit::admit(const QHostAddress &address)
{
    const qint64 now = m_now();
    if (now - m_prunedAt >= PruneEveryMs)
        prune(now);
    const QHostAddress key = plain(address);
    const bool fresh = !m_entries.contains(key);
    Entry &entry = m_entries[key];
    if (fresh) {
        entry.milliTokens = qint64(m_limits.burst) * 1000;
        entry.countedAt = now;
    }
    refill(entry, now);
    if (m_limits.limitLoopback || !key.isLoopback()) {
        if (entry.open >= m_limits.perAddress || entry.milliTokens < 1000)
            return false;
        entry.milliTokens -= 1000;
    }
    ++entry.open;
    return true;
}

void AddressLimit::release(const QHostAddress &address)
{
    const auto it = m_entries.find(plain(address));
    if (it != m_entries.end() && it->open > 0)
        --it->open;
}

void AddressLimit::prune(qint64 now)
{
    m_prunedAt = now;
    const qint64 full = qint64(m_limits.burst) * 1000;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->open == 0) {
            refill(*it, now);
            if (it->milliTokens >= full) {
                it = m_entries.erase(it);
                continue;
            }
        }
        ++it;
    }
}
