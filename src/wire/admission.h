#pragma once

#include "wire/admissionlimits.h"

#include <QElapsedTimer>
#include <QtGlobal>

#include <array>
#include <functional>
#include <map>
#include <unordered_map>
#include <utility>

// Decides, per port and source address, whether a connection request may take
// an element. A refused request is closed at once and makes no element. An
// admitted one holds its place until the connection is over.
class Admission
{
public:
    struct Entry;
    // Held by an admitted connection; nullptr when nothing is held.
    using Ticket = Entry *;

    // now reads a monotonic clock in milliseconds; tests pass their own.
    explicit Admission(AdmissionLimits limits = {}, std::function<qint64()> now = {});

    // For a connection just accepted on descriptor fd: whether it may stay.
    // An admitted descriptor's ticket waits for claim() or discard().
    bool admit(int fd, quint16 port);
    // The ticket admit() set aside for fd (nullptr for one it never saw).
    Ticket claim(int fd);
    // A descriptor admitted but not kept by anyone.
    void discard(int fd) { leave(claim(fd)); }
    // The connection holding ticket is over.
    void leave(Ticket ticket);

    // The same decision for an address given as 16 bytes (IPv4 as
    // ::ffff:a.b.c.d), which is what admit() reads from the descriptor.
    using Address = std::array<quint8, 16>;
    Ticket admitAddress(quint16 port, const Address &address);
    static bool isLoopback(const Address &address);

    struct Entry
    {
        int open = 0;
        // Tokens of the rate, in thousandths, and when they were counted.
        qint64 milliTokens = 0;
        qint64 countedAt = 0;
    };

private:
    using Key = std::pair<quint16, Address>;
    void refill(Entry &entry, qint64 now) const;
    void prune(qint64 now);

    AdmissionLimits m_limits;
    std::function<qint64()> m_now;
    QElapsedTimer m_clock;
    // A map's entries stay where they are while others come and go, so a
    // ticket is a plain pointer to one.
    std::map<Key, Entry> m_entries;
    std::unordered_map<int, Ticket> m_pending;
    qint64 m_prunedAt = 0;
};
