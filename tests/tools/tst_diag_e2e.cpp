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
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

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
// Through unshare the tool runs in a network namespace of its own.
ToolRun runTool(const QStringList &arguments, bool ownNamespace = false)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    if (ownNamespace)
        process.start(QStringLiteral("unshare"), QStringList{QStringLiteral("-n"), toolProgram()} + arguments);
    else
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

// While it lives, this process goes by the server's name.
auto actAsServer()
{
    ::prctl(PR_SET_NAME, "sohbet-sunucu");
    return qScopeGuard([] { ::prctl(PR_SET_NAME, "tst_diag_e2e"); });
}

const QByteArray OpenToLan = "table inet f {\n chain input { type filter hook input priority 0; policy drop\n"
                             "  ct state established,related accept\n  iif lo accept\n"
                             "  tcp dport { 10420, 4201, 10082, 10081 } accept\n }\n}\n";

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
        QVERIFY(PrivateNetwork::ip(QStringLiteral("addr add fe80::16/64 dev vt0 nodad")));
        QVERIFY2(QFile::exists(toolProgram()), qPrintable(toolProgram()));
    }
    void cleanup() { QVERIFY(loadRules({})); }

    void problemNamed_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<int>("listenOn");
        QTest::addColumn<bool>("idleWindow");
        QTest::addColumn<int>("problemIndex");
        QTest::addColumn<QStringList>("named");

        QTest::newRow("nothing listening") << QByteArray() << 0 << false << 0
                                           << QStringList{QStringLiteral("dinleyen yok"),
                                                          QStringLiteral("sunucu çalışmıyor")};
        // Not started or stopped, the tool cannot tell: the advice holds
        // for both, and a stopped server starts only in a new run.
        QTest::newRow("window open, server not running")
                << QByteArray() << 0 << true << 0
                << QStringList{QString::number(QCoreApplication::applicationPid()),
                               QStringLiteral("\"Haberleşme sunucusunu başlat\""), QStringLiteral("yeniden açın")};
        // The first problem: the other three ports are silent, but a
        // foreign holder keeps the server from starting at all.
        QTest::newRow("foreign listener") << QByteArray() << int(ChannelPort::Join) << false << 0
                                          << QStringList{QStringLiteral("10082"), QStringLiteral("tst_diag_e2e"),
                                                         QString::number(QCoreApplication::applicationPid())};
        QTest::newRow("dropped port")
                << QByteArray("table inet f {\n chain input { type filter hook input priority 0; policy accept\n"
                              "  ct state established,related accept\n  tcp dport 4201 drop\n }\n}\n")
                << 0 << false << 1
                << QStringList{QStringLiteral("Güvenlik duvarı 4201"), QStringLiteral("düşürüyor"),
                               QStringLiteral("10.231.16.0/24"), QStringLiteral("sudo nft insert rule inet f input")};
    }
    void problemNamed()
    {
        QFETCH(QByteArray, rules);
        QFETCH(int, listenOn);
        QFETCH(bool, idleWindow);
        QFETCH(int, problemIndex);
        QFETCH(QStringList, named);
        QVERIFY(loadRules(rules));
        QTcpServer foreign;
        if (listenOn)
            QVERIFY(foreign.listen(QHostAddress::Any, quint16(listenOn)));
        std::optional<decltype(actAsServer())> server;
        if (idleWindow)
            server.emplace(actAsServer());

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
    void serverReachable_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<QString>("offered");
        QTest::newRow("LAN open") << OpenToLan
                                  << QStringLiteral("adresler:\n10.231.16.1 (vt0)\nfd5e:16::1 (vt0)\n\n");
        // Clients of the segment type the IPv4 address; the IPv6 ones
        // (the link-local one among them) are not offered.
        QTest::newRow("IPv6 dropped")
                << QByteArray("table inet f {\n chain input { type filter hook input priority 0; policy drop\n"
                              "  ct state established,related accept\n  iif lo accept\n"
                              "  ip saddr 10.231.16.0/24 tcp dport { 10420, 4201, 10082, 10081 } accept\n }\n}\n")
                << QStringLiteral("adres:\n10.231.16.1 (vt0)\n\n");
    }
    void serverReachable()
    {
        QFETCH(QByteArray, rules);
        QFETCH(QString, offered);
        QVERIFY(loadRules(rules));
        const auto ownName = actAsServer();
        FakeDialogs dialogs;
        Form1 window{Form1::Services{nullptr, nullptr, &dialogs}};
        window.Cmdconnct()->click();
        QVERIFY(dialogs.failures.isEmpty());

        const ToolRun run = runTool({});
        QVERIFY2(run.exitCode == 0, qPrintable(run.out));
        QVERIFY2(run.out.startsWith(QStringLiteral("Tamam: istemciler bağlanabilir.\n")), qPrintable(run.out));
        QVERIFY2(run.out.contains(QStringLiteral("İstemcilerin yazacağı ") + offered), qPrintable(run.out));

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

    // A server window in another network namespace serves other clients;
    // where no network is up the tool says so once.
    void serverElsewhere()
    {
        const auto ownName = actAsServer();
        const ToolRun run = runTool({}, true);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.contains(QStringLiteral("\nSunucu: çalışmıyor\n")), qPrintable(run.out));
        QCOMPARE(run.out.count(QStringLiteral("Ağ bağlantısı yok")), 1);
    }

    // sohbet-web found by its process name, with the port from its command
    // line; a stand-in of that name listens or not.
    void gatewayPort_data()
    {
        QTest::addColumn<bool>("listens");
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<QStringList>("problem"); // empty: no problem names the port
        QTest::addColumn<QString>("portLine");

        const QString holder = QStringLiteral("  18080 tarayıcı geçidi: dinliyor: tüm IPv4 adresleri, sohbet-web (süreç ");
        const QByteArray withGateway = QByteArray(OpenToLan).replace("10081 }", "10081, 18080 }");
        QTest::newRow("listening, open") << true << withGateway << QStringList{} << holder;
        QTest::newRow("not listening") << false << withGateway
                                       << QStringList{QStringLiteral("sohbet-web"), QStringLiteral("18080 portunda")}
                                       << QStringLiteral("  18080 tarayıcı geçidi: dinleyen yok");
        // The four channels opened, the gateway's port forgotten.
        QTest::newRow("dropped") << true << OpenToLan
                                 << QStringList{QStringLiteral("Güvenlik duvarı 18080 (tarayıcı geçidi)"),
                                                QStringLiteral("sudo nft insert rule inet f input")}
                                 << holder;
    }
    void gatewayPort()
    {
        QFETCH(bool, listens);
        QFETCH(QByteArray, rules);
        QFETCH(QStringList, problem);
        QFETCH(QString, portLine);
        QVERIFY(loadRules(rules));
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("sohbet-web"));
        // Debian's own: a version manager's shim would not run under another name.
        QVERIFY(QFile::link(QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")}),
                            program));
        const QString code = QStringLiteral("import socket, sys\n")
                + (listens ? QStringLiteral("s = socket.create_server(('', int(sys.argv[2])))\n") : QString())
                + QStringLiteral("print('ok', flush=True)\nsys.stdin.read()\n");
        QProcess gateway;
        QSignalSpy ready(&gateway, &QProcess::readyReadStandardOutput);
        // Its input closed, the stand-in ends.
        const auto stop = qScopeGuard([&gateway] {
            gateway.closeWriteChannel();
            gateway.waitForFinished();
        });
        gateway.start(program, {QStringLiteral("-c"), code, QStringLiteral("--port"), QStringLiteral("18080")});
        QVERIFY(ready.wait(ToolTimeoutMs));

        const ToolRun run = runTool({});
        const QStringList naming = run.problems().filter(QStringLiteral("18080"));
        QVERIFY2(naming.isEmpty() == problem.isEmpty(), qPrintable(run.out));
        for (const QString &part : problem)
            QVERIFY2(naming.first().contains(part), qPrintable(run.out));
        QVERIFY2(run.out.contains(portLine), qPrintable(run.out));
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
