#include "yield.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

EventLoopYield::EventLoopYield()
{
    m_sinceLastPass.start();
    // The slice counts from the last time the event loop itself ran, not only
    // from our own passes: a handler that starts right after the loop woke up
    // has a whole slice before it needs to let events in. The dispatcher says
    // "awake" before it waits, though, and a wait can be long: a chat line
    // after a quiet spell would otherwise find its slice long over and stop
    // its broadcast for a pass. So after a wait the slice starts afresh at
    // the first yield, which follows the wake-up closely.
    if (auto *dispatcher = QAbstractEventDispatcher::instance()) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &m_context,
                         [this] { m_sinceLastPass.restart(); });
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &m_context,
                         [this] { m_waited = true; });
    }
}

void EventLoopYield::operator()()
{
    if (m_waited) {
        m_waited = false;
        m_sinceLastPass.restart();
    }
    if (!m_force) {
        if (++m_calls < CheckEvery)
            return;
        m_calls = 0;
        if (m_sinceLastPass.elapsed() < SliceMs)
            return;
    }
    m_force = false;
    m_calls = 0;
    ++m_passes;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceLastPass.restart();
}

void EventLoopYield::repeat(int times)
{
    if (times <= 0)
        return;
    // Yields in a row differ only in how often they would look at the clock.
    m_calls += unsigned(times - 1);
    (*this)();
}
