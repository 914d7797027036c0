// Clients whose connections end without a leave, against the whole operator
// window on the fixed ports: one whose process is killed and one whose
// connections are reset are announced and taken off the roster as a leave
// would; one whose nickname another live client still holds stays. A second
// client that vanishes after each of them marks when the server has judged
// the first: vanished users are judged in the order their connections ended.
#include "forkedclient.h"
#include "reliability/harness.h"
#include "ui/transcriptview.h"

#include <QLabel>
#include <QTest>

using namespace Reliability;

namespace {

enum class End { Killed, Reset };

// Long enough for the grace before judging and the removal delay after it.
constexpr int GoneWithinMs = 10 * 1000;

std::vector<ForkedClient::Connection> introducing(const QByteArray &nickname)
{
    return {{Ports[Message], {}}, {Ports[Roster], nickname}, {Ports[Join], nickname},
            {Ports[Leave], {}}};
}

} // namespace

class TestVanishedE2e : public QObject
{
    Q_OBJECT

private slots:
    void aUserWhoseConnectionsEndWithoutALeaveIsTakenOff_data()
    {
        QTest::addColumn<End>("end");
        QTest::addColumn<bool>("twin");
        QTest::newRow("killed") << End::Killed << false;
        QTest::newRow("reset") << End::Reset << false;
        QTest::newRow("one of two with the same nickname") << End::Reset << true;
    }

    void aUserWhoseConnectionsEndWithoutALeaveIsTakenOff()
    {
        QFETCH(End, end);
        QFETCH(bool, twin);
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        SocketPool &roster = server.window.Winusers();
        const RosterModel &entries = server.window.core().roster();

        // A bystander on the leave channel sees every announcement.
        Client bystander(Leave);
        bystander.open();
        QTRY_VERIFY(bystander.connected());

        std::unique_ptr<ForkedClient> killed;
        std::unique_ptr<FourWay> reset, kept;
        if (end == End::Killed) {
            killed = std::make_unique<ForkedClient>(introducing("Ali"));
            QVERIFY(killed->started());
            QTRY_COMPARE(roster.connectedCount(), 1);
        } else {
            reset = std::make_unique<FourWay>();
            QTRY_VERIFY(reset->connected());
            (*reset)[Roster].send("Ali");
            (*reset)[Join].send("Ali");
        }
        if (twin) {
            QTRY_COMPARE(entries.rowOf("Ali"), 1);
            kept = std::make_unique<FourWay>();
            QTRY_VERIFY(kept->connected());
            (*kept)[Roster].send("Ali");
            QTRY_COMPARE(roster.connectedCount(), 2);
        }
        ForkedClient marker(introducing("Veli"));
        QVERIFY(marker.started());
        QTRY_VERIFY(entries.rowOf("Ali") >= 0 && entries.rowOf("Veli") >= 0);

        const int before = roster.connectedCount();
        if (killed) {
            killed->kill();
        } else {
            for (auto &client : reset->on)
                client->reset();
        }
        QTRY_COMPARE(roster.connectedCount(), before - 1);
        marker.kill();

        QTRY_COMPARE_WITH_TIMEOUT(entries.rowOf("Veli"), -1, GoneWithinMs);
        const QString transcript = server.window.Text1()->text();
        QVERIFY(transcript.contains(QStringLiteral("Veli sohbetten ayrıldı.\r\n")));
        if (twin) {
            QVERIFY(entries.rowOf("Ali") >= 0);
            QVERIFY(!transcript.contains(QStringLiteral("Ali sohbetten ayrıldı.")));
            QCOMPARE(bystander.got, QByteArray("Veli"));
        } else {
            QCOMPARE(entries.rowOf("Ali"), -1);
            QCOMPARE(transcript.count(QStringLiteral("Ali sohbetten ayrıldı.\r\n")), 1);
            QCOMPARE(bystander.got, QByteArray("AliVeli"));
        }
        // The operator's own entry and whoever is still there.
        QTRY_COMPARE(server.window.Label4()->text(),
                     QStringLiteral("%1 Kullanıcı bağlı").arg(twin ? 2 : 1));
        server.stop();
    }
};

QTEST_MAIN(TestVanishedE2e)
#include "tst_vanished_e2e.moc"
