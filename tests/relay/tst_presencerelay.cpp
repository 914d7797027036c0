// The roster, join and leave channels over fake endpoints: what the roster
// clients receive, the announcements, the leave hand-off, the shared index of
// Counter, and arrivals that come in while a handler runs.
#include "fakeendpoint.h"
#include "fakeoperator.h"
#include "net/channels.h"
#include "relay/presencerelay.h"
#include "roster/rostermodel.h"
#include "roster/rosterupkeep.h"

#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {
// What reaches a client of a list of sends: a send of no bytes reaches nobody.
QByteArrayList withoutEmpty(QByteArrayList sends)
{
    sends.removeAll(QByteArray());
    return sends;
}
} // namespace

namespace {

// What the operator window wires together for the presence channels.
struct Rig
{
    Rig()
    {
        QObject::connect(&channels.Winjoin(), &SocketPool::dataArrival, &relay,
                         &PresenceRelay::joinArrival);
        QObject::connect(&channels.Winusers(), &SocketPool::dataArrival, &relay,
                         &PresenceRelay::rosterArrival);
        QObject::connect(&channels.Winleft(), &SocketPool::dataArrival, &relay,
                         &PresenceRelay::leaveArrival);
    }
    static void connectClients(SocketPool &pool, int n)
    {
        for (int i = 0; i < n; ++i)
            connectClient(pool);
    }
    QByteArrayList roster() const { return List1.entries(); }
    void setRoster(const QByteArrayList &entries) { List1.replaceAll(entries); }

    FakeEndpointFactory factory;
    ControlledYield yield;
    Channels channels{factory, yield};
    SocketPool &Winusers = channels.Winusers();
    SocketPool &Winjoin = channels.Winjoin();
    SocketPool &Winleft = channels.Winleft();
    FakeOperator transcript;
    RosterModel List1;
    RosterUpkeep upkeep{List1};
    QTimer &Timer2 = upkeep.Timer2();
    PresenceRelay relay{channels, transcript, List1, upkeep};
};

} // namespace

class TestPresenceRelay : public QObject
{
    Q_OBJECT

private slots:
    void rosterArrivalSendsWholeRoster_data()
    {
        QTest::addColumn<QByteArray>("nickname");
        QTest::addColumn<QByteArrayList>("sends");

        QTest::newRow("SERVER and Ali") << QByteArray("Ali") << QByteArrayList{"SERVER", "Ali"};
        QTest::newRow("empty nickname is an entry with no bytes")
            << QByteArray() << QByteArrayList{"SERVER", ""};
        QTest::newRow("Windows-1254 bytes unchanged")
            << QByteArray("I\xfe\xfdk") << QByteArrayList{"SERVER", "I\xfe\xfdk"};
        QTest::newRow("UTF-8 unchanged") << QByteArray("Çağrı") << QByteArrayList{"SERVER", "Çağrı"};
    }

    void rosterArrivalSendsWholeRoster()
    {
        QFETCH(QByteArray, nickname);
        QFETCH(QByteArrayList, sends);

        Rig rig;
        rig.setRoster({"SERVER"});
        Rig::connectClients(rig.Winusers, 2);
        fake(rig.Winusers, 2).arrive(nickname);

        QCOMPARE(rig.roster(), sends);
        // Exactly one send per entry, in roster order, to every client; an
        // empty entry puts nothing on the wire.
        QCOMPARE(fake(rig.Winusers, 1).sent, withoutEmpty(sends));
        QCOMPARE(fake(rig.Winusers, 2).sent, withoutEmpty(sends));
        QVERIFY(rig.transcript.text().isEmpty());
        QCOMPARE(rig.relay.X(), 2);
    }

    void olderElementIsReadNotTheNewest()
    {
        Rig rig;
        rig.setRoster({"SERVER"});
        Rig::connectClients(rig.Winusers, 2);
        Rig::connectClients(rig.Winjoin, 2);

        fake(rig.Winusers, 1).arrive("Veli");
        QCOMPARE(rig.roster(), (QByteArrayList{"SERVER", "Veli"}));
        QCOMPARE(fake(rig.Winusers, 2).sent, (QByteArrayList{"SERVER", "Veli"}));
        QCOMPARE(fake(rig.Winusers, 2).reads, 0);

        fake(rig.Winjoin, 1).arrive("Veli");
        QCOMPARE(rig.transcript.text(), u"Veli sohbete katıldı.\r\n"_s);
        QCOMPARE(fake(rig.Winjoin, 2).received(), "Veli sohbete katıldı."_ba);
        QCOMPARE(fake(rig.Winjoin, 2).reads, 0);
    }

    void failedReadAnnouncesNothing()
    {
        Rig rig;
        rig.setRoster({"SERVER"});
        Rig::connectClients(rig.Winusers, 1);
        Rig::connectClients(rig.Winjoin, 1);
        const Failure gone{10057, QStringLiteral("bağlı değil")};
        fake(rig.Winusers, 1).readFailure = gone;
        fake(rig.Winjoin, 1).readFailure = gone;

        fake(rig.Winusers, 1).arrive("x");
        fake(rig.Winjoin, 1).arrive("x");
        QCOMPARE(rig.roster(), QByteArrayList{"SERVER"});
        QVERIFY(fake(rig.Winusers, 1).sent.isEmpty());
        QVERIFY(fake(rig.Winjoin, 1).sent.isEmpty());
        QVERIFY(rig.transcript.text().isEmpty());
    }

    void joinIsAnnounced_data()
    {
        QTest::addColumn<QByteArray>("nickname");
        QTest::addColumn<QString>("line");

        QTest::newRow("Ali") << QByteArray("Ali") << u"Ali sohbete katıldı.\r\n"_s;
        QTest::newRow("UTF-8") << QByteArray("Şükrü") << u"Şükrü sohbete katıldı.\r\n"_s;
        QTest::newRow("Windows-1254") << QByteArray("\xdd\xf0ne") << u"İğne sohbete katıldı.\r\n"_s;
    }

    void joinIsAnnounced()
    {
        QFETCH(QByteArray, nickname);
        QFETCH(QString, line);

        Rig rig;
        rig.setRoster({"SERVER"});
        Rig::connectClients(rig.Winjoin, 2);
        fake(rig.Winjoin, 2).arrive(nickname);

        QCOMPARE(rig.transcript.text(), line);
        // The nickname's own bytes, then the announcement in UTF-8, no line end.
        const QByteArray announcement = nickname + " sohbete kat\xc4\xb1ld\xc4\xb1.";
        QCOMPARE(fake(rig.Winjoin, 1).sent, QByteArrayList{announcement});
        QCOMPARE(fake(rig.Winjoin, 2).sent, QByteArrayList{announcement});
        QCOMPARE(rig.roster(), QByteArrayList{"SERVER"});
    }

    void leave_data()
    {
        QTest::addColumn<QByteArrayList>("waiting"); // per element, from 1
        QTest::addColumn<int>("failingRead");
        QTest::addColumn<int>("failingSend");
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QByteArray>("received"); // by the last element
        QTest::addColumn<QString>("Text4");
        QTest::addColumn<QByteArrayList>("left"); // what stays unread, per element

        QTest::newRow("elements 1 and 3 waiting: 1 only")
            << QByteArrayList{"Ali", "", "Veli"} << 0 << 0 << u"Ali sohbetten ayrıldı.\r\n"_s
            << "Ali"_ba << u"Ali"_s << QByteArrayList{"", "", "Veli"};
        QTest::newRow("first after empty elements")
            << QByteArrayList{"", "", "Veli"} << 0 << 0 << u"Veli sohbetten ayrıldı.\r\n"_s
            << "Veli"_ba << u"Veli"_s << QByteArrayList{"", "", ""};
        QTest::newRow("nothing waiting") << QByteArrayList{"", "", ""} << 0 << 0 << QString()
                                         << QByteArray() << QString() << QByteArrayList{"", "", ""};
        QTest::newRow("failed read counts as empty")
            << QByteArrayList{"Ali", "Veli", ""} << 1 << 0 << u"Veli sohbetten ayrıldı.\r\n"_s
            << "Veli"_ba << u"Veli"_s << QByteArrayList{"Ali", "", ""};
        QTest::newRow("failed broadcast, the hand-off still runs")
            << QByteArrayList{"", "Ali", ""} << 0 << 1 << u"Ali sohbetten ayrıldı.\r\n"_s
            << QByteArray() << u"Ali"_s << QByteArrayList{"", "", ""};
        QTest::newRow("Windows-1254 nickname")
            << QByteArrayList{"\xc7\x61\xf0r\xfd"} << 0 << 0 << u"Çağrı sohbetten ayrıldı.\r\n"_s
            << "\xc7\x61\xf0r\xfd"_ba << u"Çağrı"_s << QByteArrayList{""};
    }

    void leave()
    {
        QFETCH(QByteArrayList, waiting);
        QFETCH(int, failingRead);
        QFETCH(int, failingSend);
        QFETCH(QString, transcript);
        QFETCH(QByteArray, received);
        QFETCH(QString, Text4);
        QFETCH(QByteArrayList, left);

        Rig rig;
        rig.setRoster({"SERVER", "Ali"});
        rig.upkeep.setLookupText(u"önceki"_s);
        Rig::connectClients(rig.Winleft, int(waiting.size()));
        for (int i = 1; i <= waiting.size(); ++i)
            fake(rig.Winleft, i).inbox = waiting[i - 1];
        if (failingRead)
            fake(rig.Winleft, failingRead).readFailure = Failure{10057, u"bağlı değil"_s};
        if (failingSend)
            fake(rig.Winleft, failingSend).sendFailure = Failure{10054, u"koptu"_s};
        rig.relay.leaveArrival();

        QCOMPARE(rig.transcript.text(), transcript);
        QCOMPARE(fake(rig.Winleft, rig.Winleft.highestIndex()).received(), received);
        QCOMPARE(rig.upkeep.lookupText(), Text4);
        QVERIFY(rig.Timer2.isActive());
        for (int i = 1; i <= left.size(); ++i)
            QCOMPARE(fake(rig.Winleft, i).inbox, left[i - 1]);
        QCOMPARE(rig.roster(), (QByteArrayList{"SERVER", "Ali"}));
    }

    void emptyReadsYieldBeforeTheNextElement()
    {
        Rig rig;
        Rig::connectClients(rig.Winleft, 3);
        fake(rig.Winleft, 3).inbox = "Ali";
        int readsAtFirstYield = -1;
        rig.yield.at(1, [&] { readsAtFirstYield = fake(rig.Winleft, 2).reads; });
        rig.relay.leaveArrival();
        // Two empty reads with a broadcast to three clients each, then Ali's.
        QCOMPARE(rig.yield.count, 9);
        QCOMPARE(readsAtFirstYield, 0);
        QCOMPARE(rig.upkeep.lookupText(), u"Ali"_s);
    }

    void secondLeaveHandlesTheNextNickname()
    {
        Rig rig;
        Rig::connectClients(rig.Winleft, 3);
        fake(rig.Winleft, 1).inbox = "Ali";
        fake(rig.Winleft, 3).arrive("Veli");
        QCOMPARE(rig.upkeep.lookupText(), u"Ali"_s);
        rig.relay.leaveArrival();
        QCOMPARE(rig.transcript.text(), u"Ali sohbetten ayrıldı.\r\nVeli sohbetten ayrıldı.\r\n"_s);
        QCOMPARE(rig.upkeep.lookupText(), u"Veli"_s);
        QCOMPARE(fake(rig.Winleft, 2).received(), "AliVeli"_ba);
    }

    void counterSharesItsIndex_data()
    {
        QTest::addColumn<QByteArrayList>("roster");
        QTest::addColumn<int>("removed");      // entries taken off the end before the second run
        QTest::addColumn<QByteArray>("added"); // entry added before the second run, if any
        QTest::addColumn<QByteArrayList>("sends");
        QTest::addColumn<int>("X");

        // The second run sends the whole roster; the first resumes past it.
        QTest::newRow("same roster") << QByteArrayList{"SERVER", "Ali", "Veli"} << 0 << QByteArray()
                                     << QByteArrayList{"SERVER", "SERVER", "Ali", "Veli"} << 4;
        QTest::newRow("grown roster") << QByteArrayList{"SERVER", "Ali"} << 0 << QByteArray("Veli")
                                      << QByteArrayList{"SERVER", "SERVER", "Ali", "Veli"} << 4;
        // Shrunk by two: the first run still counts to its own four and reads
        // past the end, which gives texts with no bytes.
        QTest::newRow("shrunk roster") << QByteArrayList{"SERVER", "Ali", "Veli", "Ayşe"} << 2
                                       << QByteArray()
                                       << QByteArrayList{"SERVER", "SERVER", "Ali", ""} << 4;
    }

    void counterSharesItsIndex()
    {
        QFETCH(QByteArrayList, roster);
        QFETCH(int, removed);
        QFETCH(QByteArray, added);
        QFETCH(QByteArrayList, sends);
        QFETCH(int, X);

        Rig rig;
        rig.setRoster(roster);
        Rig::connectClients(rig.Winusers, 1);
        rig.yield.at(1, [&] {
            for (int k = 0; k < removed; ++k)
                rig.List1.removeEntry(rig.List1.count() - 1);
            if (!added.isEmpty())
                rig.List1.append(added);
            rig.relay.Counter();
        });
        rig.relay.Counter();

        QCOMPARE(fake(rig.Winusers, 1).sent, withoutEmpty(sends));
        QCOMPARE(rig.relay.X(), X);
    }

    void counterNestedWithTwoClients()
    {
        Rig rig;
        rig.setRoster({"SERVER", "Ali"});
        Rig::connectClients(rig.Winusers, 2);
        rig.yield.at(1, [&] { rig.relay.Counter(); });
        rig.relay.Counter();
        // Both get the whole roster from the second run; the first run's send
        // of its first entry to client 2 comes after it.
        QCOMPARE(fake(rig.Winusers, 1).sent, (QByteArrayList{"SERVER", "SERVER", "Ali"}));
        QCOMPARE(fake(rig.Winusers, 2).sent, (QByteArrayList{"SERVER", "Ali", "SERVER"}));
        QCOMPARE(rig.relay.X(), 3);
    }

    void rosterArrivalsDuringCounterAreHeldBack()
    {
        Rig rig;
        rig.setRoster({"SERVER"});
        Rig::connectClients(rig.Winusers, 3);
        rig.yield.at(1, [&] {
            // Element 1's nickname comes in two pieces; element 2 sends too.
            fake(rig.Winusers, 1).arrive("Ve");
            fake(rig.Winusers, 2).arrive("Ayşe");
            fake(rig.Winusers, 1).arrive("li");
            // Held back: no handler ran, so no broadcast yielded in here.
            QCOMPARE(rig.yield.count, 1);
            QCOMPARE(rig.List1.count(), 2);
        });
        fake(rig.Winusers, 3).arrive("Ali");

        const QByteArrayList whole{"SERVER", "Ali", "Veli", "Ayşe"};
        // One entry per element: the second piece joined the first.
        QCOMPARE(rig.roster(), whole);
        // Each client's last four sends are the whole roster, in order, and
        // the two held-back arrivals cost one roster broadcast, not two.
        for (int i = 1; i <= 3; ++i) {
            const QByteArrayList sent = fake(rig.Winusers, i).sent;
            QCOMPARE(sent.mid(sent.size() - 4), whole);
            QCOMPARE(sent.size(), 2 + 4);
        }
    }

    void joinArrivalDuringJoinBroadcastIsHeldBack()
    {
        Rig rig;
        Rig::connectClients(rig.Winjoin, 2);
        rig.yield.at(1, [&] {
            fake(rig.Winjoin, 1).arrive("Veli");
            QCOMPARE(rig.transcript.text(), u"Ali sohbete katıldı.\r\n"_s);
        });
        fake(rig.Winjoin, 2).arrive("Ali");
        QCOMPARE(rig.transcript.text(), u"Ali sohbete katıldı.\r\nVeli sohbete katıldı.\r\n"_s);
        QCOMPARE(fake(rig.Winjoin, 2).received(),
                 "Ali sohbete kat\xc4\xb1ld\xc4\xb1.Veli sohbete kat\xc4\xb1ld\xc4\xb1."_ba);
    }

    void leaveArrivalsDuringLeaveAreHeldBack()
    {
        Rig rig;
        Rig::connectClients(rig.Winleft, 3);
        // During the first run's broadcast of Ali, Veli and Ayşe leave too.
        rig.yield.at(1, [&] {
            fake(rig.Winleft, 2).arrive("Veli");
            fake(rig.Winleft, 3).arrive("Ayşe");
            QCOMPARE(rig.upkeep.lookupText(), QString());
        });
        fake(rig.Winleft, 1).arrive("Ali");
        QCOMPARE(rig.transcript.text(),
                 u"Ali sohbetten ayrıldı.\r\nVeli sohbetten ayrıldı.\r\nAyşe sohbetten ayrıldı.\r\n"_s);
        QCOMPARE(rig.upkeep.lookupText(), u"Ayşe"_s);
    }

    void heldLeaveWhoseNicknameWasTakenKeepsTheRemoval()
    {
        Rig rig;
        Rig::connectClients(rig.Winleft, 2);
        // An arrival finds nothing yet; during its first empty broadcast
        // element 2's nickname comes in, and the running scan takes it.
        rig.yield.at(1, [&] { fake(rig.Winleft, 2).arrive("Veli"); });
        rig.relay.leaveArrival();
        QCOMPARE(rig.transcript.text(), u"Veli sohbetten ayrıldı.\r\n"_s);
        // The held-back arrival then finds nothing and leaves Veli's removal armed.
        QCOMPARE(rig.upkeep.lookupText(), u"Veli"_s);
        QVERIFY(rig.Timer2.isActive());
        QCOMPARE(fake(rig.Winleft, 2).reads, 2);
    }
};

QTEST_MAIN(TestPresenceRelay)
#include "tst_presencerelay.moc"
