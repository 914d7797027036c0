#pragma once

#include "sendring.h"

#include <QByteArray>
#include <QObject>

#include <memory>
#include <vector>

class TcpEndpoint;

// Sends that go to the same peer within one burst of work leave in one write.
// The roster goes out one entry per send to every roster client, and a chat
// line reaches every message client: writing each send at once would cost a
// system call per entry per client. Instead an endpoint stages its sends and
// enlists here, and the batch writes every enlisted endpoint as soon as the
// event loop gets control back (a yield included), before it waits for new
// events. The bytes and their order on the wire are the same: nothing frames
// them. The batch is written when the event loop wakes for its next pass
// (every pass, a yield's included, starts with the dispatcher's awake()), or
// before it waits, so a burst costs no wake-up of its own; without a
// dispatcher to listen to, a queued call does the same.
//
// Where the kernel offers io_uring, the whole burst goes to the kernel in one
// submission, and then every text is staged, the first to a peer included: a
// chat line to a thousand clients is one system call instead of a thousand.
// Where it does not, each enlisted endpoint writes on its own and the first
// text to a peer in a burst leaves at once; on the wire the two are the same.
class OutputBatch final : public QObject
{
    Q_OBJECT

public:
    // An endpoint that has staged this much writes at once instead: it bounds
    // what a burst can pile up in front of any one peer.
    static constexpr qint64 WriteAtBytes = 64 * 1024;

    explicit OutputBatch(QObject *parent = nullptr);

    void enlist(TcpEndpoint &endpoint);
    void forget(const TcpEndpoint &endpoint);
    // Writes everything staged, now. Ends the burst.
    void writeAll();
    // Counts bursts: an endpoint tells by it whether it already wrote in the
    // current one.
    quint64 burst() const { return m_burst; }
    // The burst leaves in one submission, so nothing is gained by writing
    // its first text at once.
    bool submitsTogether() const { return m_ring != nullptr; }

private:
    struct Pending
    {
        TcpEndpoint *endpoint;
        QByteArray bytes;
    };
    void submitTogether(const std::vector<TcpEndpoint *> &enlisted);

    std::unique_ptr<SendRing> m_ring = SendRing::open();
    // Kept from burst to burst so that a burst allocates nothing.
    std::vector<Pending> m_pending;
    std::vector<SendRing::Send> m_sends;
    std::vector<TcpEndpoint *> m_enlisted;
    quint64 m_burst = 1;
    bool m_scheduled = false;
    bool m_writtenOnWake = false;
};
