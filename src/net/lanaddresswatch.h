#pragma once

#include <QObject>
#include <QTimer>

class QSocketNotifier;

// Tells when an interface goes up or down or gains or loses an address.
//
// Qt 6.4 has no such signal: QNetworkInformation reports reachability,
// captive portals, transport medium and metering, never addresses. The
// kernel announces every change on a routing netlink socket, which costs
// nothing while nothing changes and is heard at once; a periodic re-read
// would either lag or wake the process for nothing. Where the socket cannot
// be opened the watch falls back to re-reading now and then.
class LanAddressWatch final : public QObject
{
    Q_OBJECT

public:
    explicit LanAddressWatch(QObject *parent = nullptr);
    ~LanAddressWatch() override;

signals:
    // Once per burst of changes: one address change brings several
    // messages (IPv6 duplicate detection, routes, the link itself).
    void changed();

private:
    void drain();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_settle;
};
