#include "yield.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

EventLoopYield::EventLoopYield()
{
    m_sinceLastPass.start();
    // The slice counts from the last time the event loop itself ran, not only
    // from our own passes: a handler that starts right after the loop woke up
    // has a whole slice before it needs to let events in.
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &m_context,
                         [this] { m_sinceLastPass.restart(); });
}

void EventLoopYield::operator()()
{
    if (!m_force) {
        if (++m_calls % CheckEvery != 0)
            return;
        if (m_sinceLastPass.elapsed() < SliceMs)
            return;
    }
    m_force = false;
    m_calls = 0;
    ++m_passes;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceLastPass.restart();
}
