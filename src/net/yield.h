#pragma once

#include <QElapsedTimer>
#include <QObject>

// The one place where a running handler lets other events in. Broadcasts call
// it after every send, the operator's send and the server stop once more.
class Yield
{
public:
    virtual ~Yield() = default;
    virtual void operator()() = 0;
    // The same as that many yields in a row with nothing done between them.
    virtual void repeat(int times)
    {
        for (int i = 0; i < times; ++i)
            (*this)();
    }
};

// Policy: a yield hands control to the event loop only when the loop has not
// run for SliceMs. Within a slice a yield costs a counter increment and, every
// CheckEvery calls, one monotonic clock read; so a broadcast to a thousand
// clients costs a few event-loop passes instead of a thousand, while the window
// still repaints and the sockets are still served at least every SliceMs.
// Events that are pending when a pass runs are all handled, as before.
class EventLoopYield final : public Yield
{
public:
    static constexpr int SliceMs = 8;
    static constexpr unsigned CheckEvery = 16;

    EventLoopYield();
    void operator()() override;
    void repeat(int times) override;
    // Counts the passes actually made, for benchmarks and tests.
    quint64 passes() const { return m_passes; }
    // Makes the next yield run a pass whatever the slice says: used where a
    // step must see the events that are pending now (the server stop).
    void forceNext() { m_force = true; }

private:
    QObject m_context;
    QElapsedTimer m_sinceLastPass;
    quint64 m_passes = 0;
    unsigned m_calls = 0;
    bool m_force = false;
    // The loop went to wait for events since the slice was last started.
    bool m_waited = false;
};
