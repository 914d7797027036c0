// What an nftables rule set does with a new TCP connection from the local
// network, read from rule sets as `nft -j list ruleset` prints them.
#include "nftverdict.h"

#include <QJsonDocument>
#include <QTest>

namespace {

using Rules = QList<QByteArray>;

QByteArray dport(const char *right)
{
    return QByteArray(R"({"match":{"op":"==","left":{"payload":{"protocol":"tcp","field":"dport"}},"right":)")
            + right + "}}";
}

QByteArray match(const char *op, const char *left, const char *right)
{
    return QByteArray(R"({"match":{"op":")") + op + R"(","left":)" + left + R"(,"right":)" + right + "}}";
}

const QByteArray Accept = R"({"accept":null})";
const QByteArray Drop = R"({"drop":null})";
const QByteArray Reject = R"({"reject":{"type":"icmpx","expr":"port-unreachable"}})";
const QByteArray Counter = R"({"counter":{"packets":0,"bytes":0}})";

QByteArray rule(const char *chain, const QByteArray &statements, const char *family = "inet")
{
    return QByteArray(R"({"rule":{"family":")") + family + R"(","table":"f","chain":")" + chain
            + R"(","expr":[)" + statements + "]}}";
}

QByteArray baseChain(const char *name, const char *policy, int prio = 0, const char *family = "inet")
{
    return QByteArray(R"({"chain":{"family":")") + family + R"(","table":"f","name":")" + name
            + R"(","type":"filter","hook":"input","prio":)" + QByteArray::number(prio) + R"(,"policy":")" + policy
            + R"("}})";
}

QJsonArray ruleset(const Rules &objects)
{
    return QJsonDocument::fromJson("[" + objects.join(',') + "]").array();
}

// From 192.168.5.0/24 on eth0 to port 4201.
const InboundTcp Lan4{QHostAddress(QStringLiteral("192.168.5.0")), 24, QStringLiteral("eth0"), 4201};

} // namespace

class TestNftVerdict : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data()
    {
        QTest::addColumn<Rules>("objects");
        QTest::addColumn<Verdict>("expected");

        const QByteArray input = baseChain("input", "drop");
        const QByteArray side = R"({"chain":{"family":"inet","table":"f","name":"side"}})";
        const QByteArray established = match("in", R"({"ct":{"key":"state"}})", R"(["established","related"])");
        const QByteArray ctNew = match("==", R"({"ct":{"key":"state"}})", R"("new")");
        const auto saddr = [](const char *right) {
            return match("==", R"({"payload":{"protocol":"ip","field":"saddr"}})", right);
        };

        QTest::newRow("no rule set") << Rules{} << Verdict::Accept;
        QTest::newRow("policy drop") << Rules{input} << Verdict::Drop;
        QTest::newRow("established only: a new connection falls through")
                << Rules{input, rule("input", established + ',' + Accept)} << Verdict::Drop;
        QTest::newRow("ct state new") << Rules{input, rule("input", ctNew + ',' + Accept)} << Verdict::Accept;
        QTest::newRow("port in a set, counted")
                << Rules{input, rule("input", dport(R"({"set":[10420,4201]})") + ',' + Counter + ',' + Accept)}
                << Verdict::Accept;
        QTest::newRow("port in a range") << Rules{input, rule("input", dport(R"({"range":[4000,4300]})") + ',' + Accept)}
                                         << Verdict::Accept;
        QTest::newRow("another port") << Rules{input, rule("input", dport("22") + ',' + Accept)} << Verdict::Drop;
        QTest::newRow("negated port") << Rules{baseChain("input", "accept"), rule("input", match("!=", R"({"payload":{"protocol":"tcp","field":"dport"}})", "22") + ',' + Drop)}
                                      << Verdict::Drop;
        QTest::newRow("udp rule") << Rules{baseChain("input", "accept"), rule("input", match("==", R"({"payload":{"protocol":"udp","field":"dport"}})", "4201") + ',' + Drop)}
                                  << Verdict::Accept;
        QTest::newRow("source covers the LAN")
                << Rules{input, rule("input", saddr(R"({"prefix":{"addr":"192.168.0.0","len":16}})") + ',' + Accept)}
                << Verdict::Accept;
        QTest::newRow("source is another network")
                << Rules{input, rule("input", saddr(R"({"prefix":{"addr":"10.0.0.0","len":8}})") + ',' + Accept)}
                << Verdict::Drop;
        QTest::newRow("source is one host of the LAN")
                << Rules{input, rule("input", saddr(R"("192.168.5.9")") + ',' + Accept)} << Verdict::Unknown;
        QTest::newRow("loopback only") << Rules{input, rule("input", match("==", R"({"meta":{"key":"iif"}})", R"("lo")") + ',' + Accept)}
                                       << Verdict::Drop;
        QTest::newRow("the LAN interface") << Rules{input, rule("input", match("==", R"({"meta":{"key":"iifname"}})", R"("eth0")") + ',' + Accept)}
                                           << Verdict::Accept;
        QTest::newRow("named set") << Rules{input, rule("input", dport(R"("@allowed")") + ',' + Accept)}
                                   << Verdict::Unknown;
        QTest::newRow("named set, but the same either way")
                << Rules{baseChain("input", "accept"), rule("input", dport(R"("@allowed")") + ',' + Accept)}
                << Verdict::Accept;
        QTest::newRow("verdict map") << Rules{input, rule("input", R"({"vmap":{"key":{"meta":{"key":"iifname"}},"data":"@zones"}})")}
                                     << Verdict::Unknown;
        QTest::newRow("jump to a rejecting chain")
                << Rules{input, side, rule("input", R"({"jump":{"target":"side"}})"), rule("side", Reject)}
                << Verdict::Reject;
        QTest::newRow("jump, return, accepted after")
                << Rules{input, side, rule("input", R"({"jump":{"target":"side"}})"), rule("input", Accept),
                         rule("side", R"({"return":null})"), rule("side", Drop)}
                << Verdict::Accept;
        QTest::newRow("goto: the end of the chain is the policy's")
                << Rules{input, side, rule("input", R"({"goto":{"target":"side"}})"), rule("input", Accept)}
                << Verdict::Drop;
        QTest::newRow("an IPv6 table leaves IPv4 alone")
                << Rules{baseChain("input", "drop", 0, "ip6")} << Verdict::Accept;
        QTest::newRow("an accept ends one base chain, the next drops")
                << Rules{baseChain("input", "accept", -10), rule("input", Accept), baseChain("later", "drop", 10)}
                << Verdict::Drop;
    }
    void verdict()
    {
        QFETCH(Rules, objects);
        QFETCH(Verdict, expected);
        QCOMPARE(evaluateInbound(ruleset(objects), Lan4).verdict, expected);
    }

    // The rule that opens the port goes where it takes effect: at the head
    // of the base chain that drops, not into the chain jumped to.
    void decidingChain()
    {
        const RulesetVerdict verdict = evaluateInbound(
                ruleset({baseChain("later", "accept", 10), baseChain("input", "accept"),
                         R"({"chain":{"family":"inet","table":"f","name":"side"}})",
                         rule("input", R"({"jump":{"target":"side"}})"), rule("side", Drop)}),
                Lan4);
        QCOMPARE(verdict.verdict, Verdict::Drop);
        QCOMPARE(verdict.chain, QStringLiteral("input"));
    }
};

QTEST_GUILESS_MAIN(TestNftVerdict)
#include "tst_nftverdict.moc"
