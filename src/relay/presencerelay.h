#pragma once

#include "arrivalgate.h"

#include <QByteArray>
#include <QObject>

class Channels;
class QListWidget;
class RosterUpkeep;
class Transcript;

// The roster, join and leave channels: nicknames fill the roster, which every
// roster client receives; joins and leaves are announced.
class PresenceRelay final : public QObject
{
    Q_OBJECT

public:
    PresenceRelay(Channels &channels, Transcript &transcript, QListWidget &List1,
                  RosterUpkeep &upkeep, qint32 &X, QByteArray &receivedRosterText,
                  QObject *parent = nullptr);

    void joinArrival(qint16 index);
    void rosterArrival(qint16 index);
    void leaveArrival();
    void Counter();

private:
    void announceJoin(qint16 index);
    bool addToRoster(qint16 index);
    void announceLeave(bool heldBack);

    Channels &m_channels;
    Transcript &m_transcript;
    QListWidget &m_List1;
    RosterUpkeep &m_upkeep;
    qint32 &m_X;
    QByteArray &m_receivedRosterText;
    // Join and roster handlers read the element that raised the arrival, so
    // held-back arrivals are remembered by element. A leave run takes the
    // first nickname waiting on any element, one per run: each held-back
    // leave arrival gets a run of its own.
    ArrivalGate m_joinArrivals{ArrivalGate::Hold::OncePerElement};
    ArrivalGate m_rosterArrivals{ArrivalGate::Hold::OncePerElement};
    bool m_rosterOwed = false;
    ArrivalGate m_leaveArrivals{ArrivalGate::Hold::EachArrival};
};
