#include "redrawpacer.h"

#include <algorithm>

RedrawPacer::RedrawPacer(Timing timing, QObject *parent) : QObject(parent), m_timing(timing)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RedrawPacer::check);
}

void RedrawPacer::arm()
{
    m_seen = m_changes;
    if (!m_waiting.isValid())
        m_waiting.start();
    const qint64 waited = m_waiting.elapsed();
    const qint64 sinceDue = m_sinceDue.isValid() ? m_sinceDue.elapsed() : m_timing.spacingMs;
    const qint64 delay = std::max({qint64(m_timing.quietMs), m_timing.leadMs - waited,
                                   m_timing.spacingMs - sinceDue});
    m_timer.start(int(delay));
}

void RedrawPacer::check()
{
    const qint64 waited = m_waiting.elapsed();
    if (m_changes != m_seen && waited < m_timing.maxLagMs) {
        // Still changing: look again after another pause's length.
        m_seen = m_changes;
        m_timer.start(int(std::min<qint64>(m_timing.quietMs, m_timing.maxLagMs - waited)));
        return;
    }
    m_waiting.invalidate();
    m_sinceDue.restart();
    emit due();
}
