// Clients whose connections end without a leave, against the whole operator
// window on the fixed ports: one whose process is killed and one whose
// connections are reset are announced and taken off the roster as a leave
// would; one whose nickname another live client holds stays. Veli, who
// vanishes after each of them, marks when the server has judged them: users
// are judged in the order their connections ended.
#include "forkedclient.h"
#include "reliability/harness.h"

#include <QTest>

#include <optional>

using namespace Reliability;

namespace {
ForkedClient::Connections introducing(const QByteArray &nickname)
{
    return {{ChannelPort::All[Message], {}},
            {ChannelPort::All[Roster], nickname},
            {ChannelPort::All[Join], nickname},
            {ChannelPort::All[Leave], {}}};
}
} // namespace

class TestVanishedE2e : public QObject
{
    Q_OBJECT

private slots:
    void aUserWhoseConnectionsEndWithoutALeaveIsTakenOff_data()
    {
        QTest::addColumn<bool>("killed"); // or reset
        QTest::addColumn<bool>("twin");   // another live client named Ali
        QTest::newRow("killed") << true << false;
        QTest::newRow("reset") << false << false;
        QTest::newRow("one of two with the same nickname") << false << true;
    }

    void aUserWhoseConnectionsEndWithoutALeaveIsTakenOff()
    {
        QFETCH(bool, killed);
        QFETCH(bool, twin);
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        const RosterModel &roster = server.window.core().roster();
        ChannelClient bystander(Leave);
        bystander.open();

        std::optional<ForkedClient> process;
        std::optional<FourChannelClient> reset, kept;
        if (killed) {
            process.emplace(introducing("Ali"));
        } else {
            reset.emplace().connectAll();
            QTRY_VERIFY(reset->connected());
            (*reset)[Roster].send("Ali");
        }
        QTRY_VERIFY(roster.rowOf("Ali") >= 0);
        if (twin) {
            kept.emplace().connectAll();
            QTRY_VERIFY(kept->connected());
            (*kept)[Roster].send("Ali");
            // The roster comes back once its nickname has been read.
            QTRY_VERIFY(!(*kept)[Roster].got.isEmpty());
        }
        ForkedClient veli(introducing("Veli"));
        QTRY_VERIFY(roster.rowOf("Veli") >= 0 && bystander.connected());

        const int before = server.window.Winusers().connectedCount();
        if (killed) {
            process->kill();
        } else {
            for (auto &client : reset->on)
                client->reset();
        }
        QTRY_COMPARE(server.window.Winusers().connectedCount(), before - 1);
        veli.kill();

        QTRY_COMPARE_WITH_TIMEOUT(roster.rowOf("Veli"), -1, 10000);
        const QString transcript = server.window.Text1()->text();
        QCOMPARE(transcript.count(QStringLiteral("Veli sohbetten ayrıldı.\r\n")), 1);
        QCOMPARE(transcript.count(QStringLiteral("Ali sohbetten ayrıldı.\r\n")), twin ? 0 : 1);
        QCOMPARE(roster.rowOf("Ali") >= 0, twin);
        QCOMPARE(bystander.got, twin ? QByteArray("Veli") : QByteArray("AliVeli"));
        server.stop();
    }
};

QTEST_MAIN(TestVanishedE2e)
#include "tst_vanished_e2e.moc"
