#pragma once

#include "wire/admissionlimits.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>

#include <functional>

// The server's per-address limits, kept by the gateway for its own port: a
// browser address may hold as many connections, and open new ones as fast,
// as a client address may on each of the server's channels. The gateway's
// own connections to the server all come from this machine, where the server
// does not count them, so without this one address could hold the whole
// server through the gateway.
class AddressLimit
{
public:
    // now reads a monotonic clock in milliseconds; tests pass their own.
    explicit AddressLimit(AdmissionLimits limits = {}, std::function<qint64()> now = {});

    // Whether a new connection from address may stay; if so it counts until
    // release().
    bool admit(const QHostAddress &address);
    void release(const QHostAddress &address);

private:
    struct Entry
    {
        int open = 0;
        // Tokens of the rate, in thousandths, and when they were counted.
        qint64 milliTokens = 0;
        qint64 countedAt = 0;
    };
    void refill(Entry &entry, qint64 now) const;
    void prune(qint64 now);

    AdmissionLimits m_limits;
    std::function<qint64()> m_now;
    QElapsedTimer m_clock;
    QHash<QHostAddress, Entry> m_entries;
    qint64 m_prunedAt = 0;
};
