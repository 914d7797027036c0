#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// A running program of ours, found by its command name in /proc.
struct RunningProgram
{
    qint64 pid = -1;
    QStringList arguments; // from /proc/PID/cmdline, the program's own name first
    // Whether it shares this network namespace: a program elsewhere (a
    // container, another namespace) serves other clients than the ports
    // this tool looks at. Unknown for another user's process without root.
    enum class Network { Same, Other, Unknown } network = Network::Unknown;
};

// Every process whose /proc/PID/comm is name. procRoot is "/proc" but for tests.
QList<RunningProgram> runningPrograms(const QString &name, const QString &procRoot = QStringLiteral("/proc"));

inline constexpr quint16 GatewayDefaultPort = 8080;

// The port sohbet-web was told to listen on (--port N or --port=N), or its
// default.
quint16 gatewayPort(const QStringList &arguments);
