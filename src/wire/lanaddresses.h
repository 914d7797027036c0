#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// One address a client on the local network can type to reach this machine.
struct LanAddress
{
    QString interfaceName;
    QHostAddress address; // without a scope: the scope is the client's own interface
    int prefixLength = -1;
    bool linkLocal = false;
};

// Every address of every interface that is up, loopback excepted, IPv4
// before IPv6, in the order the system lists the interfaces.
QList<LanAddress> lanAddresses();

// A few short Turkish lines naming the addresses to give out, link-local
// ones marked (a client reaches those only from the same network segment,
// and with IPv6 only by adding its own interface, "%eth0"); says so when
// there are none.
QString describeLanAddresses(const QList<LanAddress> &addresses);
