#include "diagnosis.h"

#include "programs.h"
#include "wire/channelports.h"

#include <QSet>

#include <algorithm>

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
constexpr auto GatewayChannel = u"tarayıcı geçidi";

bool isServer(const Listener &listener)
{
    return listener.process == QLatin1StringView(ServerProcess);
}

QString portName(const PortCheck &port)
{
    return QString::number(port.port) + QStringLiteral(" (") + port.channel + u')';
}

// An IPv6 link-local address works only with the client's own interface
// appended (fe80::1%eth0), which nobody can be asked to type; it is neither
// offered nor checked.
bool typeable(const LanAddress &lan)
{
    return !(lan.linkLocal && lan.address.protocol() == QAbstractSocket::IPv6Protocol);
}

// A server window that runs but has not been started (or was stopped)
// holds no port. One in another network namespace serves other clients.
qint64 idleServerPid()
{
    const QList<RunningProgram> servers = runningPrograms(QString::fromLatin1(ServerProcess));
    for (const RunningProgram &server : servers) {
        if (server.network == RunningProgram::Network::Same)
            return server.pid;
    }
    return -1;
}

struct Gateway
{
    qint64 pid = -1;
    quint16 port = GatewayDefaultPort;
};

// Another user's sohbet-web (a system service) hides its namespace from
// a user without root; it counts when its port listens here.
Gateway findGateway(const ListenerScan &scan)
{
    const QList<RunningProgram> gateways = runningPrograms(QString::fromLatin1(GatewayProcess));
    Gateway unknown;
    for (const RunningProgram &gateway : gateways) {
        const quint16 port = gatewayPort(gateway.arguments);
        if (gateway.network == RunningProgram::Network::Same)
            return {gateway.pid, port};
        const bool listening = std::any_of(scan.listeners.begin(), scan.listeners.end(),
                                           [port](const Listener &listener) { return listener.port == port; });
        if (gateway.network == RunningProgram::Network::Unknown && listening && unknown.pid < 0)
            unknown = {gateway.pid, port};
    }
    return unknown;
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

QString reachText(Reach reach)
{
    switch (reach) {
    case Reach::Refused: return QStringLiteral("reddedildi");
    case Reach::TimedOut: return QStringLiteral("bir saniyede yanıt yok");
    case Reach::Open:
    case Reach::Failed: break;
    }
    return QStringLiteral("hata");
}

// Clients of one network segment can type any address of the interface
// they share with this machine: one that is blocked matters only when no
// other one gets through.
void weighAddresses(PortCheck &port)
{
    for (AddressCheck &check : port.addresses) {
        check.blocked = !verdictText(check.firewall.verdict).isEmpty()
                || (!port.listeners.isEmpty() && check.reach != Reach::Open);
    }
    for (AddressCheck &check : port.addresses) {
        const auto neighbour = std::find_if(port.addresses.begin(), port.addresses.end(),
                                            [&check](const AddressCheck &other) {
            return !other.blocked && other.lan.interfaceName == check.lan.interfaceName;
        });
        if (neighbour != port.addresses.end())
            check.neighbour = neighbour->lan.address;
    }
}

void findListenerProblems(Diagnosis &d)
{
    const auto channels = d.ports.first(std::size(ChannelNames));
    QStringList silent;
    QSet<qint64> serverPids;
    for (const PortCheck &port : channels) {
        if (port.listeners.isEmpty())
            silent.append(portName(port));
        for (const Listener &listener : port.listeners) {
            if (isServer(listener))
                serverPids.insert(listener.pid);
        }
    }
    if (silent.size() == channels.size()) {
        d.problems.append(d.serverPid >= 0
                ? QStringLiteral("Sohbet portlarının hiçbirinde dinleyen yok: sunucu penceresi açık (süreç %1) ama "
                                 "sunucu çalışmıyor. Başlatılmadıysa pencerede \"Haberleşme sunucusunu başlat\" "
                                 "düğmesine basın; durdurulduysa programı kapatıp (\"Çık\") yeniden açın.")
                          .arg(d.serverPid)
                : QStringLiteral("Sohbet portlarının hiçbirinde dinleyen yok: sunucu çalışmıyor. sohbet-sunucu'yu "
                                 "açıp \"Haberleşme sunucusunu başlat\" düğmesine basın."));
    } else {
        for (const PortCheck &port : channels) {
            for (const Listener &listener : port.listeners) {
                if (isServer(listener))
                    continue;
                d.problems.append(listener.pid < 0
                        ? QStringLiteral("%1 portunu bilinmeyen bir süreç tutuyor (başka bir kullanıcının; görmek "
                                         "için: sudo sohbet-tani).").arg(portName(port))
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
    }

    if (d.gatewayPid >= 0) {
        const PortCheck &gateway = d.ports.last();
        // A gateway run as a service is another user's: without root its
        // socket's holder is unknown, and that is no problem.
        const auto foreign = std::find_if(gateway.listeners.begin(), gateway.listeners.end(),
                                          [](const Listener &listener) {
            return listener.pid >= 0 && listener.process != QLatin1StringView(GatewayProcess);
        });
        if (gateway.listeners.isEmpty())
            d.problems.append(QStringLiteral("Tarayıcı geçidi sohbet-web çalışıyor (süreç %1) ama %2 portunda "
                                             "dinleyen yok.").arg(d.gatewayPid).arg(gateway.port));
        else if (foreign != gateway.listeners.end())
            d.problems.append(QStringLiteral("%1 portunu tarayıcı geçidi yerine başka bir program tutuyor: %2 "
                                             "(süreç %3).").arg(portName(gateway), foreign->process).arg(foreign->pid));
    }

    for (const PortCheck &port : std::as_const(d.ports)) {
        if (!port.ours || port.listeners.isEmpty())
            continue;
        const bool reachable = std::any_of(port.listeners.begin(), port.listeners.end(),
                                           [](const Listener &listener) { return !listener.address.isLoopback(); });
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
    // What is blocked where a neighbour gets through is told once per
    // network, with the ports it concerns.
    struct Bypass
    {
        QString network, what, neighbour;
        QStringList ports;
    };
    QList<Bypass> bypasses;
    for (const PortCheck &port : std::as_const(d.ports)) {
        if (!port.ours)
            continue;
        for (const AddressCheck &check : port.addresses) {
            if (!check.blocked)
                continue;
            const QString what = verdictText(check.firewall.verdict);
            if (!check.neighbour.isNull()) {
                const QString network = what.isEmpty() ? check.lan.address.toString() : networkText(check.lan);
                const QString neighbour = check.neighbour.toString();
                auto same = std::find_if(bypasses.begin(), bypasses.end(), [&](const Bypass &b) {
                    return b.network == network && b.what == what && b.neighbour == neighbour;
                });
                if (same == bypasses.end())
                    same = bypasses.insert(bypasses.end(), {network, what, neighbour, {}});
                same->ports.append(QString::number(port.port));
            } else if (!what.isEmpty()) {
                QString text = QStringLiteral("Güvenlik duvarı %1 portuna %2 ağından gelen bağlantıları %3.")
                                       .arg(portName(port), networkText(check.lan), what);
                if (!check.openCommand.isEmpty())
                    text += QStringLiteral(" Açmak için: ") + check.openCommand;
                d.problems.append(text);
            } else {
                d.problems.append(QStringLiteral("%1 adresinden %2 portuna bağlanılamadı (%3).")
                                          .arg(check.lan.address.toString(), portName(port), reachText(check.reach)));
            }
        }
    }
    for (const Bypass &bypass : std::as_const(bypasses)) {
        const QString ports = bypass.ports.join(QStringLiteral(", "));
        d.notes.append((bypass.what.isEmpty()
                ? QStringLiteral("%1 adresinden %2 portlarına bağlanılamadı").arg(bypass.network, ports)
                : QStringLiteral("Güvenlik duvarı %1 ağından %2 portlarına gelen bağlantıları %3")
                          .arg(bypass.network, ports, bypass.what))
                + QStringLiteral("; o ağdaki istemciler %1 adresini yazsın.").arg(bypass.neighbour));
    }
}

void chooseOffered(Diagnosis &d)
{
    for (const LanAddress &lan : std::as_const(d.addresses)) {
        const bool getsThrough = std::none_of(d.ports.begin(), d.ports.end(), [&lan](const PortCheck &port) {
            return port.ours && std::any_of(port.addresses.begin(), port.addresses.end(),
                                            [&lan](const AddressCheck &check) {
                return check.blocked && check.lan.address == lan.address;
            });
        });
        if (getsThrough)
            d.offered.append(lan);
    }
    // With nothing getting through the problems say why; every address is
    // still the one to type once they are mended.
    if (d.offered.isEmpty())
        d.offered = d.addresses;
}

} // namespace

Diagnosis diagnose()
{
    Diagnosis d;
    const QList<LanAddress> all = lanAddresses();
    std::copy_if(all.begin(), all.end(), std::back_inserter(d.addresses), typeable);
    const ListenerScan scan = scanListeners();
    d.holdersHidden = scan.someHidden;
    d.firewall = readFirewall();

    QList<PortCheck> ports;
    for (const Channel &channel : ChannelNames)
        ports.append({channel.port, QString::fromUtf16(channel.name), true, {}, {}});
    const Gateway gateway = findGateway(scan);
    d.gatewayPid = gateway.pid;
    const bool gatewayPortHeld = std::any_of(scan.listeners.begin(), scan.listeners.end(),
                                             [&gateway](const Listener &listener) {
        return listener.port == gateway.port;
    });
    if (d.gatewayPid >= 0 || gatewayPortHeld)
        ports.append({gateway.port, QString::fromUtf16(GatewayChannel), d.gatewayPid >= 0, {}, {}});

    QList<QHostAddress> targets;
    for (const LanAddress &lan : std::as_const(d.addresses))
        targets.append(lan.address);
    QList<quint16> numbers;
    for (const PortCheck &port : std::as_const(ports))
        numbers.append(port.port);
    const QList<Probe> probes = probeAll(targets, numbers, ProbeTimeoutMs);

    for (PortCheck &port : ports) {
        for (const Listener &listener : scan.listeners) {
            if (listener.port != port.port)
                continue;
            port.listeners.append(listener);
            if (port.channel != GatewayChannel && isServer(listener))
                d.serverPid = listener.pid;
        }
        for (const LanAddress &lan : std::as_const(d.addresses)) {
            AddressCheck check{lan, false, {}, Reach::Failed, {}, {}};
            for (const Probe &probe : probes) {
                if (probe.port == port.port && probe.address == lan.address)
                    check.reach = probe.reach;
            }
            const InboundTcp inbound = inboundTo(check.lan, port.port);
            check.firewall = firewallVerdict(d.firewall, inbound);
            if (check.firewall.verdict != Verdict::Accept)
                check.openCommand = openCommand(d.firewall, check.firewall, inbound);
            port.addresses.append(check);
        }
        weighAddresses(port);
        d.ports.append(port);
    }
    if (d.serverPid < 0)
        d.serverPid = idleServerPid();
    if (d.serverPid >= 0)
        d.openFiles = openFilesOf(d.serverPid);

    findListenerProblems(d);
    findNetworkProblems(d);
    chooseOffered(d);
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
