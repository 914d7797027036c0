// A whole session against the operator window on the fixed ports: start, 20
// clients on all four channels join the roster, announce themselves, chat and
// leave, then the operator stops the server. Each client's four streams are
// checked in full. The sanitizer build runs it with leak detection, and
// tools/memcheck.sh runs it under valgrind.
#include "reliability/harness.h"
#include "rosterof.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTest>

using namespace Reliability;

namespace {

constexpr int Clients = 20;
// Removing a leaver waits 2 s after the last leave, then the count follows.
constexpr int RosterSettlesMs = 10 * 1000;

QByteArray nickname(int i)
{
    return QStringLiteral("Öğrenci%1").arg(i).toUtf8();
}

} // namespace

class TestSessionE2e : public QObject
{
    Q_OBJECT

private slots:
    void twentyClientsFromStartToStop()
    {
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        Form1 &window = server.window;

        std::vector<std::unique_ptr<FourChannelClient>> clients;
        for (int i = 0; i < Clients; ++i) {
            clients.push_back(std::make_unique<FourChannelClient>());
            clients.back()->connectAll();
        }
        QTRY_VERIFY(std::all_of(clients.begin(), clients.end(), [](const auto &c) { return c->connected(); }));
        QTRY_VERIFY(server.hasClients(Clients));

        // One after another, each waiting for the last to be done everywhere,
        // so that every stream has one expected order.
        QByteArray roster, rosterStream, joinStream, chatStream, leaveStream;
        roster = QByteArrayLiteral("SERVER");
        for (int i = 0; i < Clients; ++i) {
            (*clients[size_t(i)])[Roster].send(nickname(i));
            roster += nickname(i);
            rosterStream += roster;
            QTRY_VERIFY(std::all_of(clients.begin(), clients.end(),
                                    [&](const auto &c) { return (*c)[Roster].got == rosterStream; }));
        }
        QCOMPARE(window.List1()->model()->rowCount(), Clients + 1);
        QTRY_COMPARE(window.Label4()->text(), QStringLiteral("%1 Kullanıcı bağlı").arg(Clients + 1));

        for (int i = 0; i < Clients; ++i) {
            (*clients[size_t(i)])[Join].send(nickname(i));
            joinStream += nickname(i) + QByteArrayLiteral(" sohbete katıldı.");
            QTRY_VERIFY(std::all_of(clients.begin(), clients.end(),
                                    [&](const auto &c) { return (*c)[Join].got == joinStream; }));
        }

        for (int i = 0; i < Clients; ++i) {
            const QByteArray line = nickname(i) + QByteArrayLiteral(": merhaba, nasılsınız?");
            (*clients[size_t(i)])[Message].send(line);
            chatStream += line;
            QTRY_VERIFY(std::all_of(clients.begin(), clients.end(),
                                    [&](const auto &c) { return (*c)[Message].got == chatStream; }));
        }
        window.Text2()->setText(QStringLiteral("hoş geldiniz"));
        window.Command1()->click();
        chatStream += QByteArrayLiteral("<SERVER> hoş geldiniz");
        QTRY_VERIFY(std::all_of(clients.begin(), clients.end(),
                                [&](const auto &c) { return (*c)[Message].got == chatStream; }));

        for (int i = 0; i < Clients; ++i) {
            (*clients[size_t(i)])[Leave].send(nickname(i));
            leaveStream += nickname(i);
            QTRY_VERIFY(std::all_of(clients.begin(), clients.end(),
                                    [&](const auto &c) { return (*c)[Leave].got == leaveStream; }));
        }
        QTRY_COMPARE_WITH_TIMEOUT(rosterOf(*window.List1()), QStringList{QStringLiteral("SERVER")},
                                  RosterSettlesMs);
        QTRY_COMPARE(window.Label4()->text(), QStringLiteral("1 Kullanıcı bağlı"));

        const QString transcript = window.Text1()->text();
        for (int i = 0; i < Clients; ++i) {
            const QString name = QString::fromUtf8(nickname(i));
            QVERIFY(transcript.contains(name + QStringLiteral(" sohbete katıldı.\r\n")));
            QVERIFY(transcript.contains(name + QStringLiteral(": merhaba, nasılsınız?\r\n")));
            QVERIFY(transcript.contains(name + QStringLiteral(" sohbetten ayrıldı.\r\n")));
        }

        // The stop notice reaches every client still there, then every
        // connection is closed by the server.
        server.stop();
        chatStream += QByteArrayLiteral("<SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.");
        QTRY_VERIFY(std::all_of(clients.begin(), clients.end(), [](const auto &c) { return c->disconnected(); }));
        for (const auto &c : clients) {
            QCOMPARE((*c)[Message].got, chatStream);
            QCOMPARE((*c)[Roster].got, rosterStream);
            QCOMPARE((*c)[Join].got, joinStream);
            QCOMPARE((*c)[Leave].got, leaveStream);
        }
        QVERIFY(window.Text1()->text().endsWith(
            QStringLiteral("<SUNUCU> Sunucu bağlantısı kapatıldı.\r\n")));
        QVERIFY(server.dialogs.failures.isEmpty());
        QCOMPARE(window.List1()->model()->rowCount(), 0);
    }
};

QTEST_MAIN(TestSessionE2e)
#include "tst_session_e2e.moc"
