#pragma once

#include <QSet>
#include <QtGlobal>

#include <deque>
#include <functional>

// Keeps one channel's data handler from running inside itself. Every broadcast
// yields after each send, and under continuous traffic each yield could start
// the same handler again, one level deeper each time. Instead, an arrival that
// comes in while the channel's handler runs is held back, and once the running
// handler has ended the gate runs it again for every held arrival, oldest
// first: a loop, so the stack stays as deep as one run whatever the traffic.
// Other channels' handlers still run inside the yields; there are only four.
class ArrivalGate final
{
public:
    // How held-back arrivals are remembered.
    enum class Hold {
        // One rerun per element however many arrivals it raised meanwhile: the
        // rerun reads everything the element has by then, and a second rerun
        // would only read the empty text.
        OncePerElement,
        // One rerun per arrival, for handlers that take one message per run
        // whichever element raised the event.
        EachArrival,
    };

    // The index given for arrivals of handlers that ignore the element.
    static constexpr qint16 AnyElement = -1;

    // heldBack is true for runs of arrivals that came in during another run.
    using Handler = std::function<void(qint16 index, bool heldBack)>;

    explicit ArrivalGate(Hold hold) : m_hold(hold) {}

    // Runs the handler for this arrival now, then for each arrival held back
    // meanwhile; or, when a run is in progress, holds this arrival back.
    void arrive(qint16 index, const Handler &handler);

    bool running() const { return m_running; }
    // Arrivals still waiting for their rerun.
    bool hasHeld() const { return !m_held.empty(); }

private:
    void holdBack(qint16 index);

    Hold m_hold;
    bool m_running = false;
    std::deque<qint16> m_held;
    QSet<qint16> m_heldElements;
};
