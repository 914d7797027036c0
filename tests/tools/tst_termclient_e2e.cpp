// The terminal client sohbet-istemci, run as its own process against the
// whole operator window over loopback on the channels' fixed ports, with a
// raw client beside it on all four channels.
#include "fourchannelclient.h"
#include "runningserver.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
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

// The terminal client as a process, keeping all it printed.
struct TermClientProcess
{
    QProcess process;
    QByteArray out;
    QByteArray err;

    // On a terminal: run by script(1), which gives it a pseudo-terminal and
    // passes what is written to the process on as typed keys.
    enum Input { Piped, Terminal };

    explicit TermClientProcess(const QStringList &arguments, Input input = Piped)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { err += process.readAllStandardError(); });
        if (input == Piped) {
            process.start(clientProgram(), arguments);
            return;
        }
        QString command = u'\'' + clientProgram() + u'\'';
        for (const QString &argument : arguments)
            command += QStringLiteral(" '") + argument + u'\'';
        process.start(QStringLiteral("script"),
                      {QStringLiteral("-qfec"), command, QStringLiteral("/dev/null")});
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
        RunningServer server;
        QVERIFY(server.dialogs.failures.isEmpty());
        FourChannelClient veli;
        veli.connectAll();
        QTRY_VERIFY(server.hasClients(1));

        TermClientProcess client({QStringLiteral("Şükrü")});
        QTRY_VERIFY(server.hasClients(2));

        // The nickname on the roster and join channels, as UTF-8.
        QTRY_COMPARE(veli[Join].got, QByteArrayLiteral("Şükrü sohbete katıldı."));
        QTRY_COMPARE(veli[Roster].got, QByteArrayLiteral("SERVERŞükrü"));
        QTRY_COMPARE(client.printedOn(QStringLiteral("[liste] ")), QStringLiteral("SERVERŞükrü"));
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[katılım] Şükrü sohbete katıldı.\n")));
        QVERIFY(client.printed().startsWith(QStringLiteral(
                "[bağlantı] 127.0.0.1 adresine bağlanıldı: sohbet 10420, liste 4201, katılım "
                "10082, ayrılış 10081\n")));

        // Each typed line goes out as a chat line, without its line end; a
        // last line without one goes out at the end of input.
        client.process.write("merhaba dünya\n");
        QTRY_COMPARE(veli[Message].got, QByteArrayLiteral("<Şükrü> merhaba dünya"));
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[sohbet] <Şükrü> merhaba dünya\n")));

        veli[Leave].send("Veli");
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[ayrılış] Veli\n")));

        client.process.write("son söz");
        client.process.closeWriteChannel();
        QTRY_COMPARE(veli[Message].got, QByteArrayLiteral("<Şükrü> merhaba dünya<Şükrü> son söz"));
        QTRY_COMPARE(veli[Leave].got, QByteArrayLiteral("VeliŞükrü"));
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
        RunningServer server;
        FourChannelClient veli;
        veli.connectAll();
        QTRY_VERIFY(server.hasClients(1));
        TermClientProcess client({QStringLiteral("Ali"), QStringLiteral("127.0.0.1")});
        QTRY_VERIFY(server.hasClients(2));
        QTRY_COMPARE(veli[Join].got, QByteArrayLiteral("Ali sohbete katıldı."));

        veli[Message].send(sent);
        QTRY_COMPARE(client.printedOn(QStringLiteral("[sohbet] ")), shown);
        client.process.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitCode(), 0);
    }

    // Whatever a client sends, the terminal gets no control byte of it: no
    // escape sequence clears, recolours or retitles it.
    void controlBytesNeverReachTheTerminal()
    {
        RunningServer server;
        FourChannelClient veli;
        veli.connectAll();
        QTRY_VERIFY(server.hasClients(1));
        TermClientProcess client({QStringLiteral("Ali")});
        QTRY_VERIFY(server.hasClients(2));
        QTRY_COMPARE(veli[Join].got, QByteArrayLiteral("Ali sohbete katıldı."));

        static constexpr char Hostile[] = "\x1b[2J\x1b]0;başlık\x07\xc2\x9b" "31mkırmızı\r\n\x7f\0son";
        veli[Message].send(QByteArray(Hostile, sizeof Hostile - 1));
        const QString shown = QStringLiteral(
                "\u241B[2J\u241B]0;başlık\u2407\uFFFD31mkırmızı\u240D\u240A\u2421\u2400son");
        QTRY_COMPARE(client.printedOn(QStringLiteral("[sohbet] ")), shown);
        for (char c : client.out)
            QVERIFY2(c == '\n' || (quint8(c) >= 0x20 && c != 0x7f), QByteArray::number(quint8(c)));
        QVERIFY(!QRegularExpression(QStringLiteral("[\\x80-\\x9f]")).match(client.printed()).hasMatch());
        client.process.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
    }

    // On a terminal, text that arrives while a line is half typed is printed
    // above it, and the typed part drawn again below: the line stays whole,
    // and goes out whole.
    void arrivalsKeepTheTypedLine()
    {
        RunningServer server;
        FourChannelClient veli;
        veli.connectAll();
        QTRY_VERIFY(server.hasClients(1));
        TermClientProcess client({QStringLiteral("Ali")}, TermClientProcess::Terminal);
        QTRY_VERIFY(server.hasClients(2));
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[bağlantı] ")));

        client.process.write("yarı");
        QTRY_VERIFY(client.printed().endsWith(QStringLiteral("yarı")));
        veli[Message].send("selam");
        // The row is cleared, the arrival printed, the typed part redrawn.
        QTRY_VERIFY(client.printed().endsWith(QStringLiteral("\r\x1b[K[sohbet] selam\r\nyarı")));
        client.process.write("m\r");
        QTRY_COMPARE(veli[Message].got, QByteArrayLiteral("selam<Ali> yarım"));
        client.process.write("\x04"); // Ctrl+D on an empty line leaves
        QTRY_COMPARE(veli[Leave].got, QByteArrayLiteral("Ali"));
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitCode(), 0);
    }

    // Usage and errors in Turkish, with the usual exit codes: 0 for help, 1
    // for a wrong call or a failed connection.
    void speaksTurkish_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0
                              << QStringLiteral("Kullanım: sohbet-istemci");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("-x"), QStringLiteral("Ali")}
                                        << 1 << QStringLiteral("bilinmeyen seçenek: x");
        QTest::newRow("no nickname") << QStringList{} << 1 << QStringLiteral("Kullanım: sohbet-istemci");
        QTest::newRow("nobody listens") << QStringList{QStringLiteral("Ali")} << 1
                                        << QStringLiteral("Sunucu (127.0.0.1) bağlantıyı kabul etmedi");
    }
    void speaksTurkish()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        TermClientProcess client(arguments);
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitCode(), exitCode);
        const QString everything = client.printed() + QString::fromUtf8(client.err);
        QVERIFY2(everything.contains(said), qPrintable(everything));
        for (const char *english : {"Usage", "Unknown", "Options", "refused"})
            QVERIFY2(!everything.contains(QLatin1String(english)), english);
    }

    void endsWhenTheServerStops()
    {
        auto server = std::make_unique<RunningServer>();
        TermClientProcess client({QStringLiteral("Ali")});
        QTRY_VERIFY(server->hasClients(1));
        QTRY_VERIFY(client.printed().contains(QStringLiteral("[katılım] Ali sohbete katıldı.\n")));
        server->window.mnudisconnect()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitCode(), 1);
        QVERIFY(client.printed().contains(
                QStringLiteral("[sohbet] <SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.\n")));
        QVERIFY(QString::fromUtf8(client.err).contains(QStringLiteral("Sunucu durduruldu.")));
    }

    void saysWhenNoServerListens()
    {
        TermClientProcess client({QStringLiteral("Ali")});
        QTRY_VERIFY_WITH_TIMEOUT(client.finished(), ProcessTimeoutMs);
        QCOMPARE(client.process.exitCode(), 1);
        QVERIFY(QString::fromUtf8(client.err).contains(QStringLiteral("bağlantıyı kabul etmedi")));
        QVERIFY(client.out.isEmpty());
    }
};

QTEST_MAIN(TestTermClientE2e)
#include "tst_termclient_e2e.moc"
