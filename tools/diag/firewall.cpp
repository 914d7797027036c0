#include "firewall.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

constexpr int CommandTimeoutMs = 5000;

struct Run
{
    bool started = false;
    int exitCode = -1;
    QByteArray out, err;
};

Run run(const QString &program, const QStringList &arguments)
{
    Run result;
    // nft and iptables live in /usr/sbin, which a user's PATH often lacks.
    QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(program, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (path.isEmpty())
        return result;
    QProcess process;
    process.start(path, arguments);
    result.started = process.waitForStarted(CommandTimeoutMs);
    if (!result.started || !process.waitForFinished(CommandTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.started = false;
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool ufwEnabled()
{
    QFile conf(QStringLiteral("/etc/ufw/ufw.conf"));
    return conf.open(QIODevice::ReadOnly)
            && QString::fromUtf8(conf.readAll()).contains(QRegularExpression(QStringLiteral("(?m)^ENABLED=yes")));
}

Firewall::Keeper keeperOf(const QJsonArray &nftables)
{
    for (const QJsonValue &value : nftables) {
        const QJsonObject object = value.toObject();
        if (object.value(u"table").toObject().value(u"name").toString() == u"firewalld")
            return Firewall::Keeper::Firewalld;
        if (object.value(u"chain").toObject().value(u"name").toString().startsWith(u"ufw"))
            return Firewall::Keeper::Ufw;
    }
    return ufwEnabled() ? Firewall::Keeper::Ufw : Firewall::Keeper::Nft;
}

// Rules beyond empty chains that accept everything.
bool hasLegacyRules(const QByteArray &save)
{
    for (const QByteArray &line : save.split('\n')) {
        if (line.startsWith("-A ") || (line.startsWith(':') && !line.contains(" ACCEPT ")))
            return true;
    }
    return false;
}

QString sourceText(const InboundTcp &packet)
{
    return packet.network.toString() + u'/' + QString::number(packet.prefixLength);
}

} // namespace

Firewall readFirewall()
{
    Firewall firewall;
    const Run nft = run(QStringLiteral("nft"), {QStringLiteral("-j"), QStringLiteral("list"), QStringLiteral("ruleset")});
    if (!nft.started) {
        firewall.unreadable = QStringLiteral("nft bulunamadı ya da çalışmadı (Debian paketi nftables)");
    } else if (nft.exitCode != 0) {
        firewall.unreadable = nft.err.contains("Operation not permitted")
                ? QStringLiteral("kurallar yalnızca root ile okunur: sudo sohbet-tani")
                : QStringLiteral("nft hata verdi: ") + QString::fromUtf8(nft.err.trimmed());
    } else {
        firewall.readable = true;
        firewall.nftables = QJsonDocument::fromJson(nft.out).object().value(u"nftables").toArray();
    }
    firewall.keeper = keeperOf(firewall.nftables);

    const Run legacy = run(QStringLiteral("iptables-legacy-save"), {});
    const Run legacy6 = run(QStringLiteral("ip6tables-legacy-save"), {});
    if (legacy.started && legacy.exitCode == 0 && legacy6.exitCode == 0) {
        firewall.legacyRules = hasLegacyRules(legacy.out) || hasLegacyRules(legacy6.out);
        if (firewall.legacyRules && firewall.keeper == Firewall::Keeper::Nft)
            firewall.keeper = Firewall::Keeper::IptablesLegacy;
    } else if (legacy.started && firewall.readable) {
        firewall.legacyRules = true;
        firewall.unreadable = QStringLiteral("iptables-legacy kuralları yalnızca root ile okunur: sudo sohbet-tani");
    }
    return firewall;
}

RulesetVerdict firewallVerdict(const Firewall &firewall, const InboundTcp &packet)
{
    if (!firewall.readable)
        return {};
    RulesetVerdict verdict = evaluateInbound(firewall.nftables, packet);
    // Legacy rules see the connection too; an nft drop stands, anything
    // else is not known.
    if (firewall.legacyRules && verdict.verdict == Verdict::Accept)
        verdict.verdict = Verdict::Unknown;
    return verdict;
}

QString openCommand(const Firewall &firewall, const RulesetVerdict &verdict, const InboundTcp &packet)
{
    const QString port = QString::number(packet.port);
    const QString source = sourceText(packet);
    const bool v4 = packet.network.protocol() == QAbstractSocket::IPv4Protocol;
    switch (firewall.keeper) {
    case Firewall::Keeper::Ufw:
        return QStringLiteral("sudo ufw allow from ") + source + QStringLiteral(" to any port ") + port
                + QStringLiteral(" proto tcp");
    case Firewall::Keeper::Firewalld:
        return QStringLiteral("sudo firewall-cmd --permanent --add-port=") + port
                + QStringLiteral("/tcp && sudo firewall-cmd --reload");
    case Firewall::Keeper::IptablesLegacy:
        return QStringLiteral("sudo ") + (v4 ? QStringLiteral("iptables-legacy") : QStringLiteral("ip6tables-legacy"))
                + QStringLiteral(" -I INPUT -s ") + source + QStringLiteral(" -p tcp --dport ") + port
                + QStringLiteral(" -j ACCEPT");
    case Firewall::Keeper::Nft:
        break;
    }
    // Unread rules name no chain to put the rule into; a guessed one may
    // not exist.
    if (verdict.chain.isEmpty())
        return {};
    const QString where = verdict.family + u' ' + verdict.table + u' ' + verdict.chain;
    return QStringLiteral("sudo nft insert rule ") + where + (v4 ? QStringLiteral(" ip") : QStringLiteral(" ip6"))
            + QStringLiteral(" saddr ") + source + QStringLiteral(" tcp dport ") + port + QStringLiteral(" accept");
}

QString keeperName(Firewall::Keeper keeper)
{
    switch (keeper) {
    case Firewall::Keeper::Ufw: return QStringLiteral("ufw");
    case Firewall::Keeper::Firewalld: return QStringLiteral("firewalld");
    case Firewall::Keeper::IptablesLegacy: return QStringLiteral("iptables-legacy");
    case Firewall::Keeper::Nft: break;
    }
    return QStringLiteral("nftables");
}
