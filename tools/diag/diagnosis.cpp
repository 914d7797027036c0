#include "diagnosis.h"

#include "wire/channelports.h"

#include <QDir>
#include <QFile>
#include <QSet>

namespace {

struct Channel
{
    quint16 port;
    const char16_t *name;
};

// The names sohbet-istemci prints its channels by.
constexpr Channel ChannelNames[] = {
    {ChannelPort::Message, u"sohbet"},
    {ChannelPort::Roster, u"liste"},
    {ChannelPort::Join, u"katılım"},
    {ChannelPort::Leave, u"ayrılış"},
};

bool isServer(const Listener &listener)
{
    return listener.process == QLatin1StringView(ServerProcess);
}

QString portName(const PortCheck &port)
{
    return QString::number(port.port) + QStringLiteral(" (") + port.channel + u')';
}

// A server window that runs but has not been started holds no port.
qint64 idleServerPid()
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile comm(QStringLiteral("/proc/") + pid + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == ServerProcess)
            return pid.toLongLong();
    }
    return -1;
}

InboundTcp inboundTo(const LanAddress &lan, quint16 port)
{
    const auto [network, length] = QHostAddress::parseSubnet(lan.address.toString() + u'/'
                                                             + QString::number(lan.prefixLength));
    return {network, length, lan.interfaceName, port};
}

QString networkText(const LanAddress &lan)
{
    const InboundTcp inbound = inboundTo(lan, 0);
    return inbound.network.toString() + u'/' + QString::number(inbound.prefixLength);
}

QString verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Drop: return QStringLiteral("düşürüyor");
    case Verdict::Reject: return QStringLiteral("reddediyor");
    case Verdict::Accept:
    case Verdict::Unknown: break;
    }
    return {};
}

void findListenerProblems(Diagnosis &d)
{
    QStringList silent;
    QSet<qint64> serverPids;
    for (const PortCheck &port : d.ports) {
        if (port.listeners.isEmpty())
            silent.append(portName(port));
        for (const Listener &listener : port.listeners) {
            if (isServer(listener))
                serverPids.insert(listener.pid);
        }
    }
    if (silent.size() == d.ports.size()) {
        d.problems.append(d.serverPid >= 0
                ? QStringLiteral("Hiçbir portta dinleyen yok: sunucu açık (süreç %1) ama başlatılmamış; "
                                 "pencerede \"Haberleşme sunucusunu başlat\" düğmesine basın.").arg(d.serverPid)
                : QStringLiteral("Hiçbir portta dinleyen yok: sunucu çalışmıyor. sohbet-sunucu'yu açıp "
                                 "\"Haberleşme sunucusunu başlat\" düğmesine basın."));
        return;
    }
    for (const PortCheck &port : d.ports) {
        for (const Listener &listener : port.listeners) {
            if (isServer(listener))
                continue;
            d.problems.append(listener.pid < 0
                    ? QStringLiteral("%1 portunu bilinmeyen bir süreç tutuyor (başka bir kullanıcının; görmek için: "
                                     "sudo sohbet-tani).").arg(portName(port))
                    : QStringLiteral("%1 portunu başka bir program tutuyor: %2 (süreç %3). Onu durdurun, sonra "
                                     "sunucuyu başlatın.").arg(portName(port), listener.process).arg(listener.pid));
            break;
        }
    }
    if (serverPids.size() > 1) {
        QStringList pids;
        for (qint64 pid : serverPids)
            pids.append(QString::number(pid));
        pids.sort();
        d.problems.append(QStringLiteral("Sunucunun birden çok kopyası portları paylaşıyor (süreç %1); biri "
                                         "kalsın.").arg(pids.join(QStringLiteral(", "))));
    }
    for (const QString &name : std::as_const(silent))
        d.problems.append(QStringLiteral("%1 portunda dinleyen yok.").arg(name));
    for (const PortCheck &port : d.ports) {
        bool reachable = port.listeners.isEmpty();
        for (const Listener &listener : port.listeners)
            reachable = reachable || !listener.address.isLoopback();
        if (!reachable)
            d.problems.append(QStringLiteral("%1 portu yalnızca bu bilgisayardan dinleniyor (%2).")
                                      .arg(portName(port), port.listeners.first().address.toString()));
    }
}

void findNetworkProblems(Diagnosis &d)
{
    if (d.addresses.isEmpty()) {
        d.problems.append(describeLanAddresses(d.addresses));
        return;
    }
    for (const PortCheck &port : d.ports) {
        for (const AddressCheck &check : port.addresses) {
            const QString what = verdictText(check.firewall.verdict);
            if (what.isEmpty())
                continue;
            d.problems.append(QStringLiteral("Güvenlik duvarı %1 portuna %2 ağından gelen bağlantıları %3. "
                                             "Açmak için: %4")
                                      .arg(portName(port), networkText(check.lan), what, check.openCommand));
        }
    }
    for (const PortCheck &port : d.ports) {
        if (port.listeners.isEmpty())
            continue;
        for (const AddressCheck &check : port.addresses) {
            if (check.reach == Reach::Open || !verdictText(check.firewall.verdict).isEmpty())
                continue;
            d.problems.append(QStringLiteral("%1 adresinden %2 portuna bağlanılamadı (%3).")
                                      .arg(check.lan.address.toString(), portName(port),
                                           check.reach == Reach::Refused ? QStringLiteral("reddedildi")
                                           : check.reach == Reach::TimedOut ? QStringLiteral("bir saniyede yanıt yok")
                                                                            : QStringLiteral("hata")));
        }
    }
}

} // namespace

Diagnosis diagnose()
{
    Diagnosis d;
    d.addresses = lanAddresses();
    const ListenerScan scan = scanListeners();
    d.holdersHidden = scan.someHidden;
    d.firewall = readFirewall();

    QList<QHostAddress> targets;
    for (const LanAddress &lan : std::as_const(d.addresses)) {
        QHostAddress target = lan.address;
        if (lan.linkLocal && target.protocol() == QAbstractSocket::IPv6Protocol)
            target.setScopeId(lan.interfaceName);
        targets.append(target);
    }
    QList<quint16> ports;
    for (const Channel &channel : ChannelNames)
        ports.append(channel.port);
    const QList<Probe> probes = probeAll(targets, ports, ProbeTimeoutMs);

    for (const Channel &channel : ChannelNames) {
        PortCheck port{channel.port, QString::fromUtf16(channel.name), {}, {}};
        for (const Listener &listener : scan.listeners) {
            if (listener.port == channel.port)
                port.listeners.append(listener);
            if (listener.port == channel.port && isServer(listener))
                d.serverPid = listener.pid;
        }
        for (qsizetype i = 0; i < d.addresses.size(); ++i) {
            AddressCheck check{d.addresses[i], Reach::Failed, {}, {}};
            for (const Probe &probe : probes) {
                if (probe.port == channel.port && probe.address == targets[i])
                    check.reach = probe.reach;
            }
            const InboundTcp inbound = inboundTo(check.lan, channel.port);
            check.firewall = firewallVerdict(d.firewall, inbound);
            if (check.firewall.verdict != Verdict::Accept)
                check.openCommand = openCommand(d.firewall, check.firewall, inbound);
            port.addresses.append(check);
        }
        d.ports.append(port);
    }
    if (d.serverPid < 0)
        d.serverPid = idleServerPid();
    if (d.serverPid >= 0)
        d.openFiles = openFilesOf(d.serverPid);

    findListenerProblems(d);
    findNetworkProblems(d);
    if (d.openFiles.moreClients() == 0)
        d.problems.append(QStringLiteral("Sunucunun açık dosya sınırı (%1) doldu: yeni istemci bağlanamaz.")
                                  .arg(d.openFiles.softLimit));

    if (!d.firewall.unreadable.isEmpty())
        d.notes.append(QStringLiteral("Güvenlik duvarı bilinmiyor: ") + d.firewall.unreadable);
    if (d.firewall.legacyRules)
        d.notes.append(QStringLiteral("iptables-legacy kuralları var; bu araç onları değerlendirmiyor."));
    if (d.holdersHidden)
        d.notes.append(QStringLiteral("Başka kullanıcıların süreçleri görülmüyor; hepsi için: sudo sohbet-tani"));
    return d;
}
