#pragma once

#include <QHostAddress>
#include <QList>

enum class Reach { Open, Refused, TimedOut, Failed };

struct Probe
{
    QHostAddress address; // with its scope where link-local
    quint16 port = 0;
    Reach reach = Reach::Failed;
};

// Connects to every port on every address at once and waits at most
// timeoutMs for all of them together; connections are closed at once.
QList<Probe> probeAll(const QList<QHostAddress> &addresses, const QList<quint16> &ports, int timeoutMs);
