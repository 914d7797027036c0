// The server's life over fake endpoints and a recording operator: the input
// checks of the start, the listen order and a taken port, the stop with its
// notice, lines and close order, and what each state holds.
#include "fakeoperator.h"
#include "server/loggedendpoint.h"

#include "roster/rostermodel.h"
#include "roster/rosterupkeep.h"
#include "server/servercore.h"
#include "wire/channelports.h"

#include <QLocale>
#include <QTest>

namespace {

const QString NoNickname = QStringLiteral("İsminizi giriniz.");
const QString NoHost = QStringLiteral("Yerel bilgisayar adını yada IP sini giriniz.");
const QString Warning =
    QStringLiteral("Sunucuyu durdurursanız tüm kullanıcıların bağlantısı durur! Emin misiniz?");
const QByteArray Notice = QStringLiteral("<SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.").toUtf8();
const QString ServerLines =
    QStringLiteral("<SUNUCU> Sunucu bağlantıları kesiliyor...Lütfen bekleyiniz.\r\n"
                   "<SUNUCU> Sunucu bağlantısı kapatıldı.\r\n");

const QString AllListening = QStringLiteral("Winsock Winusers Winleft Winjoin");

// A core with its lifecycle, loaded as at program start.
struct Server
{
    LoggedEndpointFactory endpoints;
    ControlledYield yield;
    FakeOperator desk;
    ServerCore core{endpoints, yield, desk};
    ServerLifecycle &lifecycle = core.lifecycle();
    int terminations = 0;

    Server()
    {
        lifecycle.setTerminate([this] { ++terminations; });
        lifecycle.load();
    }

    std::vector<SocketPool *> pools()
    {
        Channels &channels = core.channels();
        return {&channels.Winsock(), &channels.Winusers(), &channels.Winleft(), &channels.Winjoin()};
    }
    int rosterEntries() { return core.roster().count(); }

    QString listening()
    {
        QStringList names;
        for (SocketPool *pool : pools()) {
            if (pool->state(0) == EndpointState::Listening)
                names.append(pool->name());
        }
        return names.join(QLatin1Char(' '));
    }

    // "Winsock 2" for each close, in order.
    QStringList closeOrder()
    {
        QStringList order;
        for (const Endpoint *closed : endpoints.closes) {
            for (SocketPool *pool : pools()) {
                for (int i = 0; i <= pool->highestIndex(); ++i) {
                    if (pool->endpoint(i) == closed)
                        order.append(pool->name() + QLatin1Char(' ') + QString::number(i));
                }
            }
        }
        return order;
    }
};

} // namespace

class TestServerLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void loadFillsHostText()
    {
        Server s;
        QCOMPARE(s.core.host().text(), QStringLiteral("lab-pc"));
        s.core.host().setText(QStringLiteral("eski"));
        s.lifecycle.load();
        QCOMPARE(s.core.host().text(), QStringLiteral("lab-pc"));
        QCOMPARE(s.core.state(), ServerState::NotStarted);
        QCOMPARE(s.listening(), QString());
    }

    void startChecksNicknameAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown"); // empty: refused
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("one blank") << QStringLiteral(" ") << QString();
        QTest::newRow("two blanks") << QStringLiteral("  ") << QStringLiteral("  ");
        QTest::newRow("blanks around") << QStringLiteral(" burak ") << QStringLiteral(" BURAK ");
        // The locale's own rules: a Turkish operator's i gets its dot.
        const bool turkish = QLocale::system().language() == QLocale::Turkish;
        QTest::newRow("ali") << QStringLiteral("ali")
                             << (turkish ? QStringLiteral("ALİ") : QStringLiteral("ALI"));
        QTest::newRow("Turkish letters") << QStringLiteral("çağrı öğüş")
                                         << QStringLiteral("ÇAĞRI ÖĞÜŞ");
    }
    // A nickname taken is upper-cased and is the roster's first entry.
    void startChecksNicknameAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        Server s;
        s.core.nickname().setText(typed);
        s.lifecycle.start();

        if (shown.isEmpty()) {
            QCOMPARE(s.desk.inputProblems, QStringList{NoNickname});
            QVERIFY(s.desk.problemFields == QList<Operator::Field>{Operator::Field::Nickname});
            QCOMPARE(s.core.nickname().text(), typed);
            QCOMPARE(s.core.state(), ServerState::NotStarted);
            QCOMPARE(s.listening(), QString());
            QCOMPARE(s.rosterEntries(), 0);
        } else {
            QCOMPARE(s.desk.inputProblems, QStringList());
            QCOMPARE(s.core.nickname().text(), shown);
            QCOMPARE(s.core.state(), ServerState::Running);
            QCOMPARE(s.rosterEntries(), 1);
            QCOMPARE(s.core.roster().entry(0), shown.toUtf8());
        }
    }

    void emptyHostIsRefilledAndNextStartStarts()
    {
        Server s;
        s.core.host().setText(QString());
        s.lifecycle.start();
        QCOMPARE(s.desk.inputProblems, QStringList{NoHost});
        QVERIFY(s.desk.problemFields == QList<Operator::Field>{Operator::Field::Host});
        QCOMPARE(s.core.host().text(), QStringLiteral("lab-pc"));
        QCOMPARE(s.core.state(), ServerState::NotStarted);
        QCOMPARE(s.listening(), QString());

        // Any host text will do: the channels listen on their fixed ports.
        s.core.host().setText(QStringLiteral("böyle-bir-makine-yok"));
        s.lifecycle.start();
        QCOMPARE(s.desk.inputProblems.size(), 1);
        QCOMPARE(s.core.state(), ServerState::Running);
        QCOMPARE(s.listening(), AllListening);
        // In the order of pools().
        const std::vector<quint16> ports{ChannelPort::Message, ChannelPort::Roster, ChannelPort::Leave,
                                         ChannelPort::Join};
        for (size_t k = 0; k < ports.size(); ++k)
            QCOMPARE(element(*s.pools()[k], 0).listenedOn, ports[k]);
    }

    void listenOrderAndTakenPort_data()
    {
        QTest::addColumn<int>("taken"); // index into pools(), -1 for none
        QTest::addColumn<QString>("listeningAfter");
        QTest::newRow("all free") << -1 << AllListening;
        QTest::newRow("message port taken") << 0 << QString();
        QTest::newRow("roster port taken") << 1 << QStringLiteral("Winsock");
        QTest::newRow("leave port taken") << 2 << QStringLiteral("Winsock Winusers");
        QTest::newRow("join port taken") << 3 << QStringLiteral("Winsock Winusers Winleft");
    }
    void listenOrderAndTakenPort()
    {
        QFETCH(int, taken);
        QFETCH(QString, listeningAfter);
        Server s;
        s.core.nickname().setText(QStringLiteral("ali"));
        const Failure inUse{FailureNumber::AddressInUse, QStringLiteral("Adres kullanımda")};
        if (taken >= 0)
            element(*s.pools()[size_t(taken)], 0).listenFailure = inUse;
        QString listeningDuringReport;
        s.desk.whileOpen = [&] { listeningDuringReport = s.listening(); };
        s.lifecycle.start();
        QCOMPARE(s.listening(), listeningAfter);
        if (taken < 0) {
            QCOMPARE(s.desk.failures, QStringList());
            QCOMPARE(s.core.state(), ServerState::Running);
            return;
        }
        QCOMPARE(s.desk.failures, QStringList{QStringLiteral("10048: Adres kullanımda")});
        QCOMPARE(listeningDuringReport, listeningAfter);
        QCOMPARE(s.core.state(), ServerState::NotStarted);
        QCOMPARE(s.core.nickname().text(), QStringLiteral("ali"));
        QCOMPARE(s.rosterEntries(), 0);

        // Once the port is free, the next start starts.
        element(*s.pools()[size_t(taken)], 0).listenFailure.reset();
        s.lifecycle.start();
        QCOMPARE(s.listening(), AllListening);
        QCOMPARE(s.core.state(), ServerState::Running);
    }

    void stopAnsweredNoChangesNothing()
    {
        Server s;
        s.lifecycle.start();
        FakeEndpoint &client = connectTo(s.core.channels().Winsock());
        s.desk.showLine(QStringLiteral("merhaba"));
        const QString transcript = s.desk.text();
        s.desk.answer = false;
        s.lifecycle.stop();

        QCOMPARE(s.desk.questions, QStringList{Warning});
        QCOMPARE(client.sent, QByteArrayList());
        QCOMPARE(client.state(), EndpointState::Connected);
        QCOMPARE(s.yield.count, 0);
        QVERIFY(s.endpoints.closes.empty());
        QCOMPARE(s.core.state(), ServerState::Running);
        QCOMPARE(s.listening(), AllListening);
        QCOMPARE(s.desk.text(), transcript);
        QCOMPARE(s.rosterEntries(), 1);
        QVERIFY(!s.core.rosterUpkeep().Timer2().isActive());
    }

    void stopClosesEveryElementInOrder()
    {
        Server s;
        s.lifecycle.start();
        for (int k = 0; k < 3; ++k)
            connectTo(s.core.channels().Winsock());
        for (int k = 0; k < 2; ++k)
            connectTo(s.core.channels().Winusers());
        connectTo(s.core.channels().Winjoin());
        // Clients still arriving while the notice goes out are closed as well.
        s.yield.at(1, [&] {
            for (int k = 0; k < 4; ++k)
                connectTo(s.core.channels().Winleft());
        });
        s.lifecycle.stop();

        const QStringList expected = QStringLiteral(
            "Winsock 0,Winleft 0,Winjoin 0,Winusers 0,"
            "Winsock 1,Winleft 1,Winjoin 1,Winusers 1,"
            "Winsock 2,Winleft 2,Winusers 2,"
            "Winsock 3,Winleft 3,"
            "Winleft 4").split(QLatin1Char(','));
        QCOMPARE(s.closeOrder(), expected);
        for (SocketPool *pool : s.pools()) {
            for (int i = 0; i <= pool->highestIndex(); ++i)
                QCOMPARE(pool->state(i), EndpointState::Closed);
        }
        // The elements stay in their pools.
        QCOMPARE(s.core.channels().Winsock().count(), 4);
        QCOMPARE(s.core.channels().Winleft().count(), 5);
    }

    void stopTellsClientsAndEmptiesRoster()
    {
        Server s;
        s.core.nickname().setText(QStringLiteral("burak"));
        s.lifecycle.start();
        std::vector<FakeEndpoint *> messageClients;
        for (int k = 0; k < 3; ++k)
            messageClients.push_back(&connectTo(s.core.channels().Winsock()));
        FakeEndpoint &rosterClient = connectTo(s.core.channels().Winusers());
        s.core.roster().append("ayşe");
        s.desk.showLine(QStringLiteral("ayşe: selam"));

        // The stop's own yield follows the three sends of the notice.
        QString transcriptAtOwnYield;
        bool stillRunning = false;
        s.yield.at(4, [&] {
            transcriptAtOwnYield = s.desk.text();
            stillRunning = s.core.state() == ServerState::Running;
        });
        s.lifecycle.stop();

        for (FakeEndpoint *client : messageClients)
            QCOMPARE(client->sent, QByteArrayList{Notice});
        QCOMPARE(rosterClient.sent, QByteArrayList());
        QCOMPARE(s.yield.count, 4);
        QCOMPARE(transcriptAtOwnYield, QStringLiteral("ayşe: selam\r\n"));
        QVERIFY(stillRunning);
        QCOMPARE(s.desk.text(), QStringLiteral("ayşe: selam\r\n") + ServerLines);
        QCOMPARE(s.rosterEntries(), 0);
        QCOMPARE(s.core.rosterUpkeep().lookupText(), QStringLiteral("BURAK"));
        QVERIFY(s.core.rosterUpkeep().Timer2().isActive());
        QCOMPARE(s.core.state(), ServerState::Stopped);
    }

    void failingNoticeStillStops()
    {
        Server s;
        FakeEndpoint *clients[3];
        s.lifecycle.start();
        for (FakeEndpoint *&client : clients)
            client = &connectTo(s.core.channels().Winsock());
        clients[1]->sendFailure = Failure{FailureNumber::ConnectionReset, QStringLiteral("koptu")};
        s.lifecycle.stop();

        QCOMPARE(clients[0]->sent, QByteArrayList{Notice});
        QCOMPARE(clients[2]->sent, QByteArrayList());
        QCOMPARE(s.desk.failures, QStringList());
        QVERIFY(s.desk.text().endsWith(ServerLines));
        QCOMPARE(s.closeOrder().size(), 4 + 1 + 1 + 1);
        QCOMPARE(s.listening(), QString());
        QCOMPARE(s.rosterEntries(), 0);
        QCOMPARE(s.core.state(), ServerState::Stopped);
    }

    void secondStopWhileStoppingDoesNothing()
    {
        Server s;
        s.lifecycle.start();
        FakeEndpoint &first = connectTo(s.core.channels().Winsock());
        FakeEndpoint &second = connectTo(s.core.channels().Winsock());
        s.yield.at(1, [&] { s.lifecycle.stop(); });
        s.yield.at(3, [&] { s.lifecycle.stop(); });
        s.lifecycle.stop();

        QCOMPARE(s.desk.questions.size(), 1);
        QCOMPARE(first.sent, QByteArrayList{Notice});
        QCOMPARE(second.sent, QByteArrayList{Notice});
        QCOMPARE(s.yield.count, 3);
        QCOMPARE(s.desk.text(), ServerLines);
        QCOMPARE(s.closeOrder().size(), 3 + 1 + 1 + 1);
    }

    // What each state holds; the commands each takes are the core's own test.
    void stateTable_data()
    {
        QTest::addColumn<int>("steps"); // 0 load, 1 start, 2 stop
        QTest::addColumn<QString>("listening");
        QTest::addColumn<int>("rosterEntries");
        QTest::newRow("Not started") << 0 << QString() << 0;
        QTest::newRow("Running") << 1 << AllListening << 1;
        QTest::newRow("Stopped") << 2 << QString() << 0;
    }
    void stateTable()
    {
        QFETCH(int, steps);
        QFETCH(QString, listening);
        QFETCH(int, rosterEntries);
        Server s;
        if (steps >= 1)
            s.lifecycle.start();
        if (steps >= 2)
            s.lifecycle.stop();
        QCOMPARE(s.listening(), listening);
        QCOMPARE(s.rosterEntries(), rosterEntries);
    }
};

QTEST_MAIN(TestServerLifecycle)
#include "tst_serverlifecycle.moc"
