#pragma once

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
};
