// sohbet-tani run as its own process in a private network namespace this
// test makes: loopback and a veth pair with test addresses, an nftables
// rule set of the test's choosing, and listeners the test holds itself.
#include "fakedialogs.h"
#include "net/channels.h"
#include "privatenetwork.h"
#include "ui/form1.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

constexpr int ToolTimeoutMs = 30000;

QString toolProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/diag/sohbet-tani");
}

struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;
    QStringList problems() const
    {
        QStringList found;
        for (const QString &line : out.split(u'\n')) {
            if (line.startsWith(QStringLiteral("Sorun: ")))
                found.append(line);
        }
        return found;
    }
};

// The event loop runs meanwhile, so a server in this process answers.
ToolRun runTool(const QStringList &arguments)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(toolProgram(), arguments);
    ToolRun run;
    if (!finished.wait(ToolTimeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

bool loadRules(const QByteArray &rules)
{
    return PrivateNetwork::run(QStringLiteral("nft"), {QStringLiteral("-f"), QStringLiteral("-")},
                               "flush ruleset\n" + rules);
}

} // namespace

class TestDiagE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!PrivateNetwork::enter())
            QSKIP("needs root: cannot make a private network namespace");
        QVERIFY(PrivateNetwork::setUpVethPair());
        QVERIFY(PrivateNetwork::ip(QStringLiteral("link set vt1 up")));
        QVERIFY(PrivateNetwork::ip(QStringLiteral("addr add 10.231.16.1/24 dev vt0")));
        QVERIFY(PrivateNetwork::ip(QStringLiteral("addr add fd5e:16::1/64 dev vt0 nodad")));
        QVERIFY2(QFile::exists(toolProgram()), qPrintable(toolProgram()));
    }
    void cleanup() { QVERIFY(loadRules({})); }

    void problemNamed_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<int>("listenOn");
        QTest::addColumn<int>("problemIndex");
        QTest::addColumn<QStringList>("named");

        QTest::newRow("nothing listening") << QByteArray() << 0 << 0
                                           << QStringList{QStringLiteral("dinleyen yok"),
                                                          QStringLiteral("sunucu çalışmıyor")};
        // The first problem: the other three ports are silent, but a
        // foreign holder keeps the server from starting at all.
        QTest::newRow("foreign listener") << QByteArray() << int(ChannelPort::Join) << 0
                                          << QStringList{QStringLiteral("10082"), QStringLiteral("tst_diag_e2e"),
                                                         QString::number(QCoreApplication::applicationPid())};
        QTest::newRow("dropped port")
                << QByteArray("table inet f {\n chain input { type filter hook input priority 0; policy accept\n"
                              "  ct state established,related accept\n  tcp dport 4201 drop\n }\n}\n")
                << 0 << 1
                << QStringList{QStringLiteral("Güvenlik duvarı 4201"), QStringLiteral("düşürüyor"),
                               QStringLiteral("10.231.16.0/24"), QStringLiteral("sudo nft insert rule inet f input")};
    }
    void problemNamed()
    {
        QFETCH(QByteArray, rules);
        QFETCH(int, listenOn);
        QFETCH(int, problemIndex);
        QFETCH(QStringList, named);
        QVERIFY(loadRules(rules));
        QTcpServer foreign;
        if (listenOn)
            QVERIFY(foreign.listen(QHostAddress::Any, quint16(listenOn)));

        const ToolRun run = runTool({});
        QCOMPARE(run.exitCode, 1);
        const QStringList problems = run.problems();
        QVERIFY2(problems.size() > problemIndex, qPrintable(run.out));
        for (const QString &part : named)
            QVERIFY2(problems[problemIndex].contains(part), qPrintable(run.out));
    }

    // The drop is pinned on its port and on no other, over IPv4 and IPv6.
    void dropOnOnePortOnly()
    {
        QVERIFY(loadRules("table inet f {\n chain input { type filter hook input priority 0; policy accept\n"
                          "  tcp dport 4201 drop\n }\n}\n"));
        const ToolRun run = runTool({QStringLiteral("--json")});
        QCOMPARE(run.exitCode, 1);
        const QJsonArray ports = QJsonDocument::fromJson(run.out.toUtf8()).object().value(u"ports").toArray();
        QCOMPARE(ports.size(), 4);
        for (const QJsonValue &port : ports) {
            const bool dropped = port.toObject().value(u"port").toInt() == ChannelPort::Roster;
            const QJsonArray addresses = port.toObject().value(u"addresses").toArray();
            QCOMPARE(addresses.size(), 2);
            for (const QJsonValue &address : addresses) {
                const QJsonObject check = address.toObject();
                QCOMPARE(check.value(u"firewall").toString(), dropped ? QStringLiteral("drop") : QStringLiteral("accept"));
                // The probe meets the same rule: no answer in its second.
                QCOMPARE(check.value(u"reach").toString(), dropped ? QStringLiteral("timeout") : QStringLiteral("refused"));
            }
        }
    }

    // The real window, started, in this process: the tool knows the server
    // by its process name, which this process takes for the while.
    void serverReachable()
    {
        QVERIFY(loadRules("table inet f {\n chain input { type filter hook input priority 0; policy drop\n"
                          "  ct state established,related accept\n  iif lo accept\n"
                          "  tcp dport { 10420, 4201, 10082, 10081 } accept\n }\n}\n"));
        QVERIFY(::prctl(PR_SET_NAME, "sohbet-sunucu") == 0);
        const auto ownName = qScopeGuard([] { ::prctl(PR_SET_NAME, "tst_diag_e2e"); });
        FakeDialogs dialogs;
        Form1 window{Form1::Services{nullptr, nullptr, &dialogs}};
        window.Cmdconnct()->click();
        QVERIFY(dialogs.failures.isEmpty());

        const ToolRun run = runTool({});
        QVERIFY2(run.exitCode == 0, qPrintable(run.out));
        QVERIFY2(run.out.startsWith(QStringLiteral("Tamam: istemciler bağlanabilir.\n")), qPrintable(run.out));

        // Four descriptors a client, out of what the limit leaves free
        // beside the listeners and whatever else the process holds.
        const QJsonObject server = QJsonDocument::fromJson(runTool({QStringLiteral("--json")}).out.toUtf8())
                                           .object().value(u"server").toObject();
        rlimit limit{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
        QCOMPARE(server.value(u"pid").toInteger(), QCoreApplication::applicationPid());
        QCOMPARE(server.value(u"openFileLimit").toInteger(), qint64(limit.rlim_cur));
        const qint64 more = server.value(u"moreClients").toInteger();
        QVERIFY2(more > 0 && more < qint64(limit.rlim_cur) / 4, qPrintable(QString::number(more)));
        dialogs.answer = true;
        window.mnudisconnect()->trigger();
    }

    void badArgument()
    {
        const ToolRun run = runTool({QStringLiteral("--jsn")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("sohbet-tani: bilinmeyen argüman: --jsn\n")), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_MAIN(TestDiagE2e)
#include "tst_diag_e2e.moc"
