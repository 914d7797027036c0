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
    Reach reach = Reach::Failed;
    RulesetVerdict firewall;
    QString openCommand; // for a firewall that does not accept, or may not
};

struct PortCheck
{
    quint16 port = 0;
    QString channel;
    QList<Listener> listeners;
    QList<AddressCheck> addresses;
};

// Everything the tool found, and the problems in the order to mend them:
// the first one named is the one that keeps clients out first.
struct Diagnosis
{
    QList<LanAddress> addresses;
    QList<PortCheck> ports;
    bool holdersHidden = false;
    Firewall firewall;
    qint64 serverPid = -1; // the server holding the ports, or running without them
    OpenFiles openFiles;
    QStringList problems;
    QStringList notes;
};

inline constexpr int ProbeTimeoutMs = 1000;
inline constexpr auto ServerProcess = "sohbet-sunucu";

Diagnosis diagnose();
