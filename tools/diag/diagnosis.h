#pragma once

#include "firewall.h"
#include "listeners.h"
#include "wire/lanaddresses.h"
#include "openfiles.h"
#include "reachability.h"

#include <QList>
#include <QStringList>

// One LAN address of this machine seen from one port.
struct AddressCheck
{
    LanAddress lan;
    bool blocked = false; // dropped or rejected, or no connection while something listens
    // Another address of the same interface that gets through, for clients
    // of that network to type instead; null where there is none.
    QHostAddress neighbour;
    Reach reach = Reach::Failed;
    RulesetVerdict firewall;
    QString openCommand; // for a firewall that does not accept, or may not
};

struct PortCheck
{
    quint16 port = 0;
    QString channel;
    // A port our programs are meant to hold: the four channels, and the
    // browser gateway's while it runs. Another port is only described.
    bool ours = true;
    QList<Listener> listeners;
    QList<AddressCheck> addresses;
};

// Everything the tool found, and the problems in the order to mend them:
// the first one named is the one that keeps clients out first.
struct Diagnosis
{
    QList<LanAddress> addresses; // every address a client could type
    QList<LanAddress> offered;   // of those, the ones that get through on every port
    QList<PortCheck> ports;
    bool holdersHidden = false;
    Firewall firewall;
    qint64 serverPid = -1; // the server holding the ports, or running without them
    qint64 gatewayPid = -1; // sohbet-web, in this network namespace
    OpenFiles openFiles;
    QStringList problems;
    QStringList notes;
};

inline constexpr int ProbeTimeoutMs = 1000;
inline constexpr auto ServerProcess = "sohbet-sunucu";
inline constexpr auto GatewayProcess = "sohbet-web";

Diagnosis diagnose();
