#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Decides when a view that changes in bursts is redrawn: once the changes
// have paused for QuietMs, but not before LeadMs after the first change that
// waits, not sooner than SpacingMs after the last redraw, and, while changes
// never pause, no later than MaxLagMs after the first one that waits.
//
// Why a pause: the clients' sockets and the window share one thread. A chat
// line wakes the clients it is sent to, and the kernel lets them run on this
// thread's processor only once the thread waits again; a redraw straight
// after the sends keeps them waiting for it. After a short pause the sends
// have been taken up, and the redraw is in nobody's way.
//
// changed() is called for every appended line, a thousand times a chat line
// at a thousand clients: it counts, and touches the timer only when idle.
class RedrawPacer final : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        int leadMs;
        int spacingMs;
        int quietMs;
        int maxLagMs;
    };

    explicit RedrawPacer(Timing timing, QObject *parent = nullptr);

    void changed()
    {
        ++m_changes;
        if (!m_timer.isActive())
            arm();
    }
    bool isPending() const { return m_timer.isActive(); }

signals:
    void due();

private:
    void arm();
    void check();

    const Timing m_timing;
    QTimer m_timer;
    QElapsedTimer m_sinceDue;
    QElapsedTimer m_waiting; // since the first change not yet redrawn
    quint64 m_changes = 0;
    quint64 m_seen = 0; // m_changes when the timer was last armed
};
