#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// A TCP socket listening in this network namespace, and who holds it.
struct Listener
{
    QHostAddress address;
    quint16 port = 0;
    quint64 inode = 0;
    qint64 pid = -1;      // -1: the holder's descriptors cannot be read (another user's)
    QString process;      // the holder's command name, as /proc/PID/comm has it
};

struct ListenerScan
{
    QList<Listener> listeners;
    // Some processes' descriptors could not be read: without root, the
    // holders of sockets of other users stay unknown.
    bool someHidden = false;
};

// From /proc/net/tcp and tcp6, holders from the socket links in
// /proc/PID/fd. procRoot is "/proc" but for tests.
ListenerScan scanListeners(const QString &procRoot = QStringLiteral("/proc"));
