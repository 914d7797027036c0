// The terminal client sohbet-istemci, run as its own process against the
// whole operator window over loopback on the channels' fixed ports, with a
// raw client beside it on all four channels.
#include "fakedialogs.h"
#include "fourchannelclient.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <array>
#include <memory>

namespace {

constexpr int ProcessTimeoutMs = 10000;

// The client is built beside the tests: build/tools/termclient next to
// build/tests.
QString clientProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("SOHBET_ISTEMCI");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath()
            + QStringLiteral("/../tools/termclient/sohbet-istemci");
}

using RawClient = FourChannelClient;

// The terminal client as a process, keeping all it printed.
struct TermClientProcess
{
    QProcess process;
    QByteArray out;
    QByteArray err;

    explicit TermClientProcess(const QStringList &arguments)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { err += process.readAllStandardError(); });
        process.start(clientProgram(), arguments);
    }
    ~TermClientProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    QString printed() const { return QString::fromUtf8(out); }
    // Everything printed after one prefix, run together: the wire has no
    // framing, so where one print ends depends on how the bytes arrived.
    QString printedOn(const QString &prefix) const
    {
        QString joined;
        for (const QString &line : printed().split(u'\n')) {
            if (line.startsWith(prefix))
                joined += line.mid(prefix.size());
        }
        return joined;
    }
    bool finished() { return process.state() == QProcess::NotRunning; }
};

struct Server
{
    FakeDialogs dialogs;
    Form1 window{Form1::Services{nullptr, nullptr, &dialogs}};

    Server() { window.Cmdconnct()->click(); }
    ~Server()
    {
        dialogs.answer = true;
        window.mnudisconnect()->trigger();
    }
    bool hasClients(int count)
    {
        return window.Winsock().highestIndex() == count && window.Winusers().highestIndex() == count
                && window.Winjoin().highestIndex() == count
                && window.Winleft().highestIndex() == count;
    }
};

} // namespace

class TestTermClientE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(clientProgram()).isExecutable(), qPrintable(clientProgram()));
    }

    void joinsChatsAndLeaves()
    {
        Server server;
        QVERIFY(server.dialogs.failures.isEmpty());
        RawClient veli;
        veli.connectAll();
        QTRY_VERIFY(server.hasClients(1));

        TermClientProcess client({QStringLiteral("Şükrü")});
        QTRY_VERIFY(server.hasClients(2));

        // The nickname on the roster and join channels, as UTF-8.
        QTRY_COMPARE(veli.got[Join], QByteArrayLiteral("Şükrü sohbete katıldı."));
        QTRY_COMPARE(veli.got[Roster], QByteArrayLiteral("SERVERŞükrü"));
        QTRY_COMPARE(client.printedOn(QStringLiteral("[liste] ")), QStringLiteral("SERVERŞükrü"));
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[katılım] Şükrü sohbete katıldı.\n")));

        // Each typed line goes out as it is, without its line end; a last
        // line without one goes out at the end of input.
        client.process.write("merhaba dünya\n");
        QTRY_COMPARE(veli.got[Message], QByteArrayLiteral("merhaba dünya"));
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[sohbet] merhaba dünya\n")));

        veli.send(Leave, "Veli");
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[ayrılış] Veli\n")));

        client.process.write("son söz");
        client.process.closeWriteChannel();
        QTRY_COMPARE(veli.got[Message], QByteArrayLiteral("merhaba dünyason söz"));
        QTRY_COMPARE(veli.got[Leave], QByteArrayLiteral("VeliŞükrü"));
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.process.exitCode(), 0);
        QVERIFY(server.window.Text1()->text().contains(QStringLiteral("Şükrü sohbetten ayrıldı.\r\n")));
        QVERIFY2(client.err.isEmpty(), client.err.constData());
    }

    void showsWhatOthersSend_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArrayLiteral("selam") << QStringLiteral("selam");
        QTest::newRow("UTF-8") << QByteArrayLiteral("Işık, çiğ, ÖÜĞŞİ")
                               << QStringLiteral("Işık, çiğ, ÖÜĞŞİ");
        QTest::newRow("Windows-1254") << QByteArray("I\xfe\xfdk \xe7i\xf0 \xd0\xde\xdd", 12)
                                      << QStringLiteral("Işık çiğ ĞŞİ");
        // An 8-bit "ğ" at the very end looks like the start of a UTF-8 letter;
        // it is shown once nothing completes it.
        QTest::newRow("Windows-1254, ends in ğ") << QByteArray("da\xf0", 3) << QStringLiteral("dağ");
    }
    void showsWhatOthersSend()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QString, shown);
        Server server;
        RawClient veli;
        veli.connectAll();
        QTRY_VERIFY(server.hasClients(1));
        TermClientProcess client({QStringLiteral("Ali"), QStringLiteral("127.0.0.1")});
        QTRY_VERIFY(server.hasClients(2));
        QTRY_COMPARE(veli.got[Join], QByteArrayLiteral("Ali sohbete katıldı."));

        veli.send(Message, sent);
        QTRY_COMPARE(client.printedOn(QStringLiteral("[sohbet] ")), shown);
        client.process.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitCode(), 0);
    }

    void endsWhenTheServerStops()
    {
        auto server = std::make_unique<Server>();
        TermClientProcess client({QStringLiteral("Ali")});
        QTRY_VERIFY(server->hasClients(1));
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[katılım] Ali sohbete katıldı.\n")));
        server->window.mnudisconnect()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitCode(), 1);
        QVERIFY(client.printed().contains(
                QStringLiteral("[sohbet] <SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.\n")));
        QVERIFY(QString::fromUtf8(client.err).contains(QStringLiteral("sunucu bağlantıyı kapattı")));
    }

    void saysWhenNoServerListens()
    {
        TermClientProcess client({QStringLiteral("Ali")});
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitCode(), 1);
        QVERIFY(QString::fromUtf8(client.err).contains(QStringLiteral("bağlanılamadı")));
        QVERIFY(client.out.isEmpty());
    }
};

QTEST_MAIN(TestTermClientE2e)
#include "tst_termclient_e2e.moc"
