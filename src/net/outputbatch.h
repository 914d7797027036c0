#pragma once

#include <QObject>

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
// (every pass, a yield's included, starts with the dispatcher's awake()), so
// a burst costs no wake-up of its own; without a dispatcher to listen to, a
// queued call does the same.
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

private:
    std::vector<TcpEndpoint *> m_enlisted;
    quint64 m_burst = 1;
    bool m_scheduled = false;
    bool m_writtenOnWake = false;
};
