#include "rosterholders.h"

#include <algorithm>

namespace {
// How soon to look again while leaves are being handled.
constexpr int RetryMs = 100;
} // namespace

RosterHolders::RosterHolders(std::function<bool()> leavesPending, QObject *parent)
    : QObject(parent), m_leavesPending(std::move(leavesPending))
{
    m_clock.start();
    m_judge.setSingleShot(true);
    connect(&m_judge, &QTimer::timeout, this, &RosterHolders::judge);
}

void RosterHolders::took(qint16 element, const QByteArray &nickname, bool connected)
{
    if (connected)
        m_live.insert(element, Holder{nickname});
    else
        startEnded(nickname);
}

void RosterHolders::ended(qint16 element)
{
    const auto it = m_live.constFind(element);
    if (it == m_live.cend())
        return;
    const Holder holder = *it;
    m_live.erase(it);
    if (!holder.left)
        startEnded(holder.nickname);
}

void RosterHolders::startEnded(const QByteArray &nickname)
{
    m_ended.push_back(Ended{nickname, m_clock.elapsed()});
    if (!m_judge.isActive() && !m_judging)
        m_judge.start(GraceMs);
}

void RosterHolders::left(const QByteArray &nickname)
{
    for (Holder &holder : m_live) {
        if (holder.nickname == nickname)
            holder.left = true;
    }
    std::erase_if(m_ended, [&nickname](const Ended &ended) { return ended.nickname == nickname; });
}

void RosterHolders::clear()
{
    m_live.clear();
    m_ended.clear();
    m_judge.stop();
}

bool RosterHolders::isHeldByAnother(const QByteArray &nickname) const
{
    return std::any_of(m_live.cbegin(), m_live.cend(), [&nickname](const Holder &holder) {
        return !holder.left && holder.nickname == nickname;
    });
}

void RosterHolders::judge()
{
    // Announcing one who vanished yields to the event loop (its broadcast),
    // where this timer, a leave, a stop or more ends can come in; this loop
    // takes whatever is due by then, one at a time, and nothing runs it twice.
    if (m_judging)
        return;
    m_judging = true;
    while (!m_ended.empty()) {
        if (m_leavesPending()) {
            m_judge.start(RetryMs);
            break;
        }
        const qint64 dueIn = m_ended.front().at + GraceMs - m_clock.elapsed();
        if (dueIn > 0) {
            m_judge.start(int(dueIn));
            break;
        }
        const QByteArray nickname = m_ended.front().nickname;
        m_ended.pop_front();
        if (!isHeldByAnother(nickname))
            emit vanished(nickname);
    }
    m_judging = false;
}
