#include "reachability.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <vector>

QList<Probe> probeAll(const QList<QHostAddress> &addresses, const QList<quint16> &ports, int timeoutMs)
{
    QList<Probe> probes;
    for (const QHostAddress &address : addresses) {
        for (quint16 port : ports)
            probes.append({address, port, Reach::TimedOut});
    }
    if (probes.isEmpty())
        return probes;

    QEventLoop loop;
    qsizetype pending = probes.size();
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (Probe &probe : probes) {
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket *raw = socket.get();
        auto settle = [&probe, &pending, &loop, raw](Reach reach) {
            if (probe.reach != Reach::TimedOut)
                return;
            probe.reach = reach;
            raw->abort();
            if (--pending == 0)
                loop.quit();
        };
        QObject::connect(raw, &QTcpSocket::connected, &loop, [settle] { settle(Reach::Open); });
        QObject::connect(raw, &QTcpSocket::errorOccurred, &loop, [settle](QAbstractSocket::SocketError error) {
            settle(error == QAbstractSocket::ConnectionRefusedError ? Reach::Refused : Reach::Failed);
        });
        sockets.push_back(std::move(socket));
    }
    // Started only once every socket is wired, so no answer comes unheard.
    for (qsizetype i = 0; i < probes.size(); ++i)
        sockets[size_t(i)]->connectToHost(probes[i].address, probes[i].port);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (pending > 0)
        loop.exec();
    return probes;
}
