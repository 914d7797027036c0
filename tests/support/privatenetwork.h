#pragma once

// Tests that add interfaces, addresses or firewall rules move their own
// process into a network namespace of its own first: whatever they set up
// is seen by nothing else on the machine, and goes when the process ends,
// however it ends.
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <sched.h>

namespace PrivateNetwork {

// Needs root (CAP_SYS_ADMIN); false where a namespace cannot be made.
inline bool enter()
{
    return ::unshare(CLONE_NEWNET) == 0;
}

// Runs ip, nft or sysctl (from /usr/sbin too), feeding it input; true if it
// succeeded.
inline bool run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(program, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForStarted())
        return false;
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

inline bool ip(const QString &arguments)
{
    return run(QStringLiteral("ip"), arguments.split(u' '));
}

// Loopback up, and a veth pair vt0/vt1 with no addresses of its own making
// (no IPv6 link-local address that would first wait for duplicate
// detection); the test gives it the addresses it needs.
inline bool setUpVethPair()
{
    return ip(QStringLiteral("link set lo up")) && ip(QStringLiteral("link add vt0 type veth peer name vt1"))
            && run(QStringLiteral("sysctl"), {QStringLiteral("-qw"), QStringLiteral("net.ipv6.conf.vt0.addr_gen_mode=1"),
                                              QStringLiteral("net.ipv6.conf.vt1.addr_gen_mode=1")})
            && ip(QStringLiteral("link set vt0 up"));
}

} // namespace PrivateNetwork
