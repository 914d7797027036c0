#include "presencerelay.h"

#include "net/channels.h"
#include "wire/wiretext.h"
#include "relay/nicknamebound.h"
#include "relay/operator.h"
#include "wire/shownread.h"
#include "roster/rostermodel.h"
#include "roster/rosterupkeep.h"

#include <tuple>

namespace {
// Wire formats: on all three channels a client sends only its nickname, and
// one read is one nickname, used as it came (even empty). The server answers
// a join with the nickname and this text, a leave with the nickname alone,
// and a roster arrival with every roster entry, one send each, no separators.
const QString JoinedText = QStringLiteral(" sohbete katıldı.");
const QString LeftText = QStringLiteral(" sohbetten ayrıldı.");
} // namespace

PresenceRelay::PresenceRelay(Channels &channels, Operator &desk, RosterModel &roster,
                             RosterUpkeep &upkeep, QObject *parent)
    : QObject(parent), m_channels(channels), m_operator(desk), m_roster(roster), m_upkeep(upkeep)
{
    connect(&m_holders, &RosterHolders::vanished, this, &PresenceRelay::announceVanished);
}

// The join and roster handlers read the element that raised the arrival. The
// newest element alone would give the empty text whenever an older client
// sends (its nickname then stays unread, and a bogus empty user is announced
// or added); when the newest element raised the arrival it is the same read.
void PresenceRelay::joinArrival(qint16 index)
{
    m_joinArrivals.arrive(index, [this](qint16 element, bool) { announceJoin(element); });
}

// Roster arrivals held back during a Counter are all read and added first,
// and one Counter then sends the roster that holds them all. That is what the
// shared index makes of nested runs anyway (a later run leaves the earlier one
// nothing more to send); without it, N clients joining together would cost N
// whole-roster broadcasts to N clients each.
void PresenceRelay::rosterArrival(qint16 index)
{
    m_rosterArrivals.arrive(index, [this](qint16 element, bool) {
        m_rosterOwed = addToRoster(element) || m_rosterOwed;
        if (m_rosterOwed && !m_rosterArrivals.hasHeld()) {
            m_rosterOwed = false;
            Counter();
        }
    });
}

void PresenceRelay::leaveArrival()
{
    m_leaveArrivals.arrive(ArrivalGate::AnyElement,
                           [this](qint16, bool heldBack) { announceLeave(heldBack); });
}

// No failure here ends the program or reaches the operator. A failed read
// means there is no nickname: nothing is announced. A failed broadcast ends
// only itself; it is the last step.
void PresenceRelay::announceJoin(qint16 index)
{
    QByteArray join;
    if (const Outcome failed = m_channels.Winjoin().getData(index, join))
        return;
    join = NicknameBound::cut(join);
    m_operator.showLine(ShownRead::shown(join) + JoinedText);
    std::ignore = m_channels.SendOnArray4(join + WireText::encode(JoinedText));
}

// A failed read adds no entry and sends nothing: the roster has not changed,
// and an empty entry would stand for a user nobody announced.
bool PresenceRelay::addToRoster(qint16 index)
{
    SocketPool &pool = m_channels.Winusers();
    QByteArray client;
    if (const Outcome failed = pool.getData(index, client))
        return false;
    const QByteArray nickname = NicknameBound::cut(client);
    m_roster.append(nickname);
    m_holders.took(index, nickname, pool.state(index) == EndpointState::Connected);
    return true;
}

// X is shared by every run, nested ones included, and read afresh at each
// step: a run that starts during a yield of another sends the whole roster and
// leaves X at its own count, so the outer run resumes past that point (and
// sends more only if the roster shrank in between).
void PresenceRelay::Counter()
{
    const qint16 n = qint16(m_roster.count());
    for (m_X = 0; m_X < n; m_X = m_X + 1) {
        // An index past a shrunken roster reads the empty text: no bytes.
        // A failed broadcast ends only itself and the next entry goes out to
        // every client: one broken connection does not cut the roster short
        // for the others.
        std::ignore = m_channels.SendOnArray2(m_roster.entry(m_X));
    }
}

// Every step runs whether or not the one before it failed.
void PresenceRelay::announceLeave(bool heldBack)
{
    SocketPool &pool = m_channels.Winleft();
    // Elements accepted during the scan are left to their own arrivals.
    const int m = pool.highestIndex();
    QByteArray left;
    for (int i = 1; i <= m; ++i) {
        // A failed read leaves the text empty (getData clears it first).
        std::ignore = pool.getData(i, left);
        if (!left.isEmpty())
            break;
        // Sends no bytes, but yields once per leave client.
        std::ignore = m_channels.SendOnArray3(left);
    }
    if (left.isEmpty()) {
        // A held-back arrival whose nickname the run before it already took
        // must not clear the lookup: that would cancel the removal just armed
        // for the user who left.
        if (!heldBack)
            m_upkeep.handOverLeaver(QString());
        return;
    }
    m_holders.left(NicknameBound::cut(left));
    const QString nickname = WireText::decodeForDisplay(left);
    m_operator.showLine(ShownRead::shown(left) + LeftText);
    std::ignore = m_channels.SendOnArray3(left);
    m_upkeep.handOverLeaver(nickname);
}

// One who vanished goes the way of a leave: the same transcript line, the
// nickname to every leave client so that their lists follow, and the same
// deferred removal. Only an entry that is still there is announced: the
// lookup matches by prefix too, and with the user's own entry gone it would
// pick another's (Alice for Ali).
void PresenceRelay::announceVanished(const QByteArray &nickname)
{
    if (m_roster.rowOf(nickname) < 0)
        return;
    m_operator.showLine(ShownRead::shown(nickname) + LeftText);
    std::ignore = m_channels.SendOnArray3(nickname);
    // The broadcast yielded: the entry may have gone meanwhile.
    if (m_roster.rowOf(nickname) >= 0)
        m_upkeep.handOverLeaver(WireText::decodeForDisplay(nickname));
}
