#include "report.h"

#include "diagnosis.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QString reachText(Reach reach)
{
    switch (reach) {
    case Reach::Open: return QStringLiteral("bağlanıldı");
    case Reach::Refused: return QStringLiteral("reddedildi");
    case Reach::TimedOut: return QStringLiteral("yanıt yok");
    case Reach::Failed: break;
    }
    return QStringLiteral("hata");
}

QString reachKey(Reach reach)
{
    switch (reach) {
    case Reach::Open: return QStringLiteral("open");
    case Reach::Refused: return QStringLiteral("refused");
    case Reach::TimedOut: return QStringLiteral("timeout");
    case Reach::Failed: break;
    }
    return QStringLiteral("failed");
}

// Said of the firewall: "güvenlik duvarı bağlantıyı düşürüyor".
QString verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Accept: return QStringLiteral("güvenlik duvarı geçiriyor");
    case Verdict::Drop: return QStringLiteral("güvenlik duvarı bağlantıyı düşürüyor");
    case Verdict::Reject: return QStringLiteral("güvenlik duvarı bağlantıyı reddediyor");
    case Verdict::Unknown: break;
    }
    return QStringLiteral("güvenlik duvarının ne yaptığı bilinmiyor");
}

QString verdictKey(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Accept: return QStringLiteral("accept");
    case Verdict::Drop: return QStringLiteral("drop");
    case Verdict::Reject: return QStringLiteral("reject");
    case Verdict::Unknown: break;
    }
    return QStringLiteral("unknown");
}

QString listenAddress(const QHostAddress &address)
{
    if (address == QHostAddress::AnyIPv4)
        return QStringLiteral("tüm IPv4 adresleri");
    if (address == QHostAddress::AnyIPv6)
        return QStringLiteral("tüm adresler");
    return address.toString();
}

QString holder(const Listener &listener)
{
    if (listener.pid < 0)
        return QStringLiteral("bilinmeyen süreç");
    return listener.process + QStringLiteral(" (süreç ") + QString::number(listener.pid) + u')';
}

} // namespace

QByteArray textReport(const Diagnosis &d)
{
    QString out;
    if (d.problems.isEmpty())
        out += QStringLiteral("Tamam: istemciler bağlanabilir.\n");
    for (const QString &problem : d.problems)
        out += QStringLiteral("Sorun: ") + problem + u'\n';
    for (const QString &note : d.notes)
        out += QStringLiteral("Not: ") + note + u'\n';

    // Without any address the first problem already says so.
    if (!d.offered.isEmpty())
        out += u'\n' + describeLanAddresses(d.offered) + u'\n';

    out += QStringLiteral("\nPortlar (güvenlik duvarı: ") + keeperName(d.firewall.keeper) + QStringLiteral("):\n");
    for (const PortCheck &port : d.ports) {
        out += QStringLiteral("  ") + QString::number(port.port) + u' ' + port.channel + QStringLiteral(": ");
        if (port.listeners.isEmpty())
            out += QStringLiteral("dinleyen yok\n");
        QStringList held;
        for (const Listener &listener : port.listeners)
            held.append(listenAddress(listener.address) + QStringLiteral(", ") + holder(listener));
        if (!held.isEmpty())
            out += QStringLiteral("dinliyor: ") + held.join(QStringLiteral("; ")) + u'\n';
        for (const AddressCheck &check : port.addresses) {
            out += QStringLiteral("    ") + check.lan.address.toString() + QStringLiteral(": ")
                    + reachText(check.reach) + QStringLiteral(", ") + verdictText(check.firewall.verdict) + u'\n';
            if (!check.openCommand.isEmpty())
                out += QStringLiteral("      açmak için: ") + check.openCommand + u'\n';
        }
    }

    out += QStringLiteral("\nSunucu: ");
    if (d.serverPid < 0) {
        out += QStringLiteral("çalışmıyor\n");
    } else {
        out += QStringLiteral("süreç ") + QString::number(d.serverPid) + QStringLiteral(", açık dosya sınırı ")
                + (d.openFiles.softLimit < 0 ? QStringLiteral("okunamadı") : QString::number(d.openFiles.softLimit));
        if (d.openFiles.moreClients() >= 0)
            out += QStringLiteral(", şu an %1 açık: %2 istemci daha bağlanabilir (her biri dört bağlantı)")
                           .arg(d.openFiles.open).arg(d.openFiles.moreClients());
        out += u'\n';
    }
    return out.toUtf8();
}

QByteArray jsonReport(const Diagnosis &d)
{
    QJsonArray addresses;
    for (const LanAddress &lan : d.addresses) {
        const bool offered = std::any_of(d.offered.begin(), d.offered.end(),
                                         [&lan](const LanAddress &o) { return o.address == lan.address; });
        addresses.append(QJsonObject{{QStringLiteral("interface"), lan.interfaceName},
                                     {QStringLiteral("address"), lan.address.toString()},
                                     {QStringLiteral("prefix"), lan.prefixLength},
                                     {QStringLiteral("linkLocal"), lan.linkLocal},
                                     {QStringLiteral("offered"), offered}});
    }
    QJsonArray ports;
    for (const PortCheck &port : d.ports) {
        QJsonArray listeners;
        for (const Listener &listener : port.listeners) {
            listeners.append(QJsonObject{{QStringLiteral("address"), listener.address.toString()},
                                         {QStringLiteral("pid"), listener.pid},
                                         {QStringLiteral("process"), listener.process},
                                         {QStringLiteral("server"), listener.process == QLatin1StringView(ServerProcess)}});
        }
        QJsonArray checks;
        for (const AddressCheck &check : port.addresses) {
            checks.append(QJsonObject{{QStringLiteral("address"), check.lan.address.toString()},
                                      {QStringLiteral("reach"), reachKey(check.reach)},
                                      {QStringLiteral("firewall"), verdictKey(check.firewall.verdict)},
                                      {QStringLiteral("open"), check.openCommand}});
        }
        ports.append(QJsonObject{{QStringLiteral("port"), port.port},
                                 {QStringLiteral("channel"), port.channel},
                                 {QStringLiteral("ours"), port.ours},
                                 {QStringLiteral("listeners"), listeners},
                                 {QStringLiteral("addresses"), checks}});
    }
    const QJsonObject firewall{{QStringLiteral("keeper"), keeperName(d.firewall.keeper)},
                               {QStringLiteral("readable"), d.firewall.readable},
                               {QStringLiteral("legacyRules"), d.firewall.legacyRules},
                               {QStringLiteral("unreadable"), d.firewall.unreadable}};
    const QJsonObject server{{QStringLiteral("pid"), d.serverPid},
                             {QStringLiteral("openFileLimit"), d.openFiles.softLimit},
                             {QStringLiteral("openFiles"), d.openFiles.open},
                             {QStringLiteral("moreClients"), d.openFiles.moreClients()}};
    const QJsonObject root{{QStringLiteral("ok"), d.problems.isEmpty()},
                           {QStringLiteral("problems"), QJsonArray::fromStringList(d.problems)},
                           {QStringLiteral("notes"), QJsonArray::fromStringList(d.notes)},
                           {QStringLiteral("addresses"), addresses},
                           {QStringLiteral("ports"), ports},
                           {QStringLiteral("firewall"), firewall},
                           {QStringLiteral("server"), server},
                           {QStringLiteral("gateway"), QJsonObject{{QStringLiteral("pid"), d.gatewayPid}}}};
    return QJsonDocument(root).toJson();
}
