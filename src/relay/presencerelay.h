#pragma once

#include "arrivalgate.h"
#include "rosterholders.h"

#include <QObject>

class Channels;
class Operator;
class RosterModel;
class RosterUpkeep;

// The roster, join and leave channels: nicknames fill the roster, which every
// roster client receives; joins and leaves are announced.
class PresenceRelay final : public QObject
{
    Q_OBJECT

public:
    PresenceRelay(Channels &channels, Operator &desk, RosterModel &roster, RosterUpkeep &upkeep,
                  QObject *parent = nullptr);

    void joinArrival(qint16 index);
    void rosterArrival(qint16 index);
    void leaveArrival();
    void Counter();
    // A roster connection ended; if it gave a nickname and no leave follows,
    // its user is announced as gone and taken off the roster as a leave would.
    void rosterConnectionEnded(qint16 index) { m_holders.ended(index); }
    // The server stopped: the connections it closes are nobody vanishing.
    void serverStopped() { m_holders.clear(); }

    // The roster broadcast index, shared by every run of Counter.
    qint32 X() const { return m_X; }

private:
    void announceJoin(qint16 index);
    bool addToRoster(qint16 index);
    void announceLeave(bool heldBack);
    void announceVanished(const QByteArray &nickname);

    Channels &m_channels;
    Operator &m_operator;
    RosterModel &m_roster;
    RosterUpkeep &m_upkeep;
    qint32 m_X = 0;
    // Join and roster handlers read the element that raised the arrival, so
    // held-back arrivals are remembered by element. A leave run takes the
    // first nickname waiting on any element, one per run: each held-back
    // leave arrival gets a run of its own.
    ArrivalGate m_joinArrivals{ArrivalGate::Hold::OncePerElement};
    ArrivalGate m_rosterArrivals{ArrivalGate::Hold::OncePerElement};
    bool m_rosterOwed = false;
    ArrivalGate m_leaveArrivals{ArrivalGate::Hold::EachArrival};
    RosterHolders m_holders{
        [this] { return m_leaveArrivals.running() || m_leaveArrivals.hasHeld(); }};
};
