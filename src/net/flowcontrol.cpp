#include "flowcontrol.h"

#include <algorithm>

FlowControl::FlowControl(QObject *parent, std::function<qint64()> now)
    : QObject(parent), m_now(std::move(now))
{
    if (!m_now) {
        m_clock.start();
        m_now = [this] { return m_clock.elapsed(); };
    }
    m_stallCheck.setSingleShot(true);
    connect(&m_stallCheck, &QTimer::timeout, this, &FlowControl::checkStalls);
}

FlowPeer *FlowControl::originOf(const void *channel) const
{
    for (const auto &[c, origin] : m_origins) {
        if (c == channel)
            return origin;
    }
    return nullptr;
}

void FlowControl::taken(const void *channel, FlowPeer *origin)
{
    for (auto &[c, current] : m_origins) {
        if (c == channel) {
            current = origin;
            return;
        }
    }
    if (origin)
        m_origins.emplace_back(channel, origin);
}

void FlowControl::queued(const void *channel, FlowPeer &reader, qint64 added, qint64 queued)
{
    if (queued <= FlowLimits::BehindBytes)
        return;
    auto [it, fresh] = m_behind.try_emplace(&reader);
    if (fresh) {
        // Falling behind is not a stall: the clock starts now.
        it->second.lastProgress = m_now();
        if (!m_stallCheck.isActive())
            m_stallCheck.start(FlowLimits::StallMs);
    }
    FlowPeer *origin = originOf(channel);
    if (!origin)
        return; // the server's own text (an operator's line): nobody to hold
    Behind &behind = it->second;
    if (std::find(behind.holding.begin(), behind.holding.end(), origin) != behind.holding.end())
        return;
    auto given = std::find_if(behind.added.begin(), behind.added.end(),
                              [origin](const auto &entry) { return entry.first == origin; });
    if (given == behind.added.end())
        given = behind.added.insert(given, {origin, 0});
    given->second += added;
    if (given->second < FlowLimits::FillingBytes)
        return;
    behind.added.erase(given);
    behind.holding.push_back(origin);
    hold(*origin);
}

void FlowControl::progressed(FlowPeer &reader, qint64 queued)
{
    if (m_behind.empty())
        return; // every write of every connection comes here
    const auto it = m_behind.find(&reader);
    if (it == m_behind.end())
        return;
    it->second.lastProgress = m_now();
    if (queued <= FlowLimits::CaughtUpBytes)
        caughtUp(reader);
}

void FlowControl::caughtUp(FlowPeer &reader)
{
    const auto it = m_behind.find(&reader);
    if (it == m_behind.end())
        return;
    const std::vector<FlowPeer *> holding = std::move(it->second.holding);
    m_behind.erase(it);
    for (FlowPeer *sender : holding)
        release(*sender);
    if (m_behind.empty())
        m_stallCheck.stop();
}

void FlowControl::scheduleStallCheck()
{
    if (m_behind.empty())
        return;
    qint64 earliest = m_behind.begin()->second.lastProgress;
    for (const auto &[reader, behind] : m_behind)
        earliest = std::min(earliest, behind.lastProgress);
    // Progress only moves a deadline later, so the check may come early and
    // find nobody; it then looks again when the first one is due.
    m_stallCheck.start(int(std::clamp<qint64>(earliest + FlowLimits::StallMs - m_now(), 0,
                                              FlowLimits::StallMs)));
}

void FlowControl::hold(FlowPeer &sender)
{
    if (++m_holds[&sender] == 1)
        sender.setHeld(true);
}

void FlowControl::release(FlowPeer &sender)
{
    const auto it = m_holds.find(&sender);
    if (it == m_holds.end())
        return;
    if (--it->second == 0) {
        m_holds.erase(it);
        sender.setHeld(false);
    }
}

void FlowControl::forget(FlowPeer &peer)
{
    caughtUp(peer);
    const bool held = m_holds.erase(&peer) != 0;
    for (auto &[reader, behind] : m_behind) {
        if (held)
            std::erase(behind.holding, &peer);
        std::erase_if(behind.added, [&peer](const auto &entry) { return entry.first == &peer; });
    }
    for (auto &[channel, origin] : m_origins) {
        if (origin == &peer)
            origin = nullptr;
    }
}

void FlowControl::checkStalls()
{
    const qint64 now = m_now();
    std::vector<FlowPeer *> stalled;
    for (const auto &[reader, behind] : m_behind) {
        if (now - behind.lastProgress >= FlowLimits::StallMs)
            stalled.push_back(reader);
    }
    // Each one forgets itself as its connection ends, releasing whom it held.
    for (FlowPeer *reader : stalled) {
        if (m_behind.contains(reader))
            reader->stalled();
        caughtUp(*reader); // in case its connection was already over
    }
    scheduleStallCheck();
}
