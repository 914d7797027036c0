#include "lanaddresses.h"

#include <QNetworkAddressEntry>
#include <QNetworkInterface>

#include <algorithm>

QList<LanAddress> lanAddresses()
{
    QList<LanAddress> found;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        const auto flags = nic.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const auto entries = nic.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            QHostAddress address = entry.ip();
            if (address.isNull() || address.isLoopback())
                continue;
            address.setScopeId(QString());
            found.append({nic.name(), address, entry.prefixLength(), address.isLinkLocal()});
        }
    }
    // A client is likelier to reach an IPv4 address; those come first.
    std::stable_sort(found.begin(), found.end(), [](const LanAddress &a, const LanAddress &b) {
        return a.address.protocol() == QAbstractSocket::IPv4Protocol
                && b.address.protocol() != QAbstractSocket::IPv4Protocol;
    });
    return found;
}

QString describeLanAddresses(const QList<LanAddress> &addresses)
{
    if (addresses.isEmpty())
        return QStringLiteral("Ağ bağlantısı yok: yalnızca bu bilgisayardaki istemciler (127.0.0.1) bağlanabilir.");
    QString text = addresses.size() == 1 ? QStringLiteral("İstemcilerin yazacağı adres:")
                                         : QStringLiteral("İstemcilerin yazacağı adresler:");
    for (const LanAddress &lan : addresses) {
        text += u'\n' + lan.address.toString() + QStringLiteral(" (") + lan.interfaceName;
        if (lan.linkLocal)
            text += QStringLiteral(", bağlantı-yerel");
        text += u')';
    }
    return text;
}
