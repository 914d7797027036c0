// Pools and broadcasts over the fake endpoint: indices, the accept rule, the
// fixed bound, state tests, yields and failures.
#include "fakeendpoint.h"
#include "net/channels.h"

#include <QTest>

class TestBroadcast : public QObject
{
    Q_OBJECT

    FakeEndpointFactory factory;
    ControlledYield yield;

private slots:
    void init() { yield.reset(); }

    void onlyListeningElementSendsNothingAndDoesNotYield()
    {
        Channels channels(factory, yield);
        QCOMPARE(channels.Winsock().count(), 1);
        QVERIFY(!channels.SendOnArray("hello"));
        QVERIFY(channels.Winsock().listen() == Outcome{});
        QVERIFY(!channels.SendOnArray("hello"));
        QCOMPARE(yield.count, 0);
        QVERIFY(fake(channels.Winsock(), 0).sent.isEmpty());
    }

    void portsAreFixedPerChannel()
    {
        Channels channels(factory, yield);
        QCOMPARE(channels.Winsock().port(), 10420);
        QCOMPARE(channels.Winusers().port(), 4201);
        QCOMPARE(channels.Winjoin().port(), 10082);
        QCOMPARE(channels.Winleft().port(), 10081);
        QVERIFY(!channels.Winjoin().listen());
        QCOMPARE(fake(channels.Winjoin(), 0).listenedOn, 10082);
    }

    void acceptAddsAtTopAndNeverReuses()
    {
        Channels channels(factory, yield);
        SocketPool &pool = channels.Winusers();
        FakeEndpoint &first = connectClient(pool);
        connectClient(pool);
        QCOMPARE(pool.highestIndex(), 2);
        first.drop();
        connectClient(pool);
        QCOMPARE(pool.highestIndex(), 3);
        QCOMPARE(pool.state(1), EndpointState::Closed);

        QVERIFY(!channels.SendOnArray2("x"));
        QVERIFY(fake(pool, 1).sent.isEmpty());
        QCOMPARE(fake(pool, 2).sent, QByteArrayList{"x"});
        QCOMPARE(fake(pool, 3).sent, QByteArrayList{"x"});
        QCOMPARE(yield.count, 2);
    }

    void requestIndexPlaysNoPart()
    {
        Channels channels(factory, yield);
        SocketPool &pool = channels.Winjoin();
        for (int i = 0; i < 5; ++i)
            connectClient(pool);
        QCOMPARE(pool.highestIndex(), 5);
        // A request raised with another element's index still lands at the top.
        fake(pool, 3).request(77);
        QCOMPARE(pool.highestIndex(), 6);
        QCOMPARE(fake(pool, 6).acceptedRequest, 77);
        QCOMPARE(pool.state(6), EndpointState::Connected);
    }

    void clientAcceptedDuringYieldWaitsForNextBroadcast()
    {
        Channels channels(factory, yield);
        SocketPool &pool = channels.Winsock();
        connectClient(pool);
        connectClient(pool);
        yield.at(1, [&] { connectClient(pool); });
        QVERIFY(!channels.SendOnArray("first"));
        QCOMPARE(pool.highestIndex(), 3);
        QVERIFY(fake(pool, 3).sent.isEmpty());
        QVERIFY(!channels.SendOnArray5("second"));
        QCOMPARE(fake(pool, 3).sent, QByteArrayList{"second"});
        QCOMPARE(fake(pool, 1).sent, (QByteArrayList{"first", "second"}));
    }

    void failureEndsBroadcastAndReachesCaller()
    {
        Channels channels(factory, yield);
        SocketPool &pool = channels.Winsock();
        for (int i = 0; i < 4; ++i)
            connectClient(pool);
        const Failure broken{10054, QStringLiteral("koptu")};
        fake(pool, 2).sendFailure = broken;
        const Outcome outcome = channels.SendOnArray("t");
        QVERIFY(outcome);
        QCOMPARE(*outcome, broken);
        QCOMPARE(fake(pool, 1).sent, QByteArrayList{"t"});
        QVERIFY(fake(pool, 3).sent.isEmpty());
        QVERIFY(fake(pool, 4).sent.isEmpty());
        QCOMPARE(yield.count, 1);
    }

    void textIsSentUnchangedAndNestingKeepsOwnCopy()
    {
        Channels channels(factory, yield);
        SocketPool &pool = channels.Winleft();
        connectClient(pool);
        connectClient(pool);
        const QByteArray raw("\x00\xfd\r\nİ", 7);
        yield.at(1, [&] { QVERIFY(!channels.SendOnArray3("inner")); });
        QVERIFY(!channels.SendOnArray3(raw));
        QCOMPARE(fake(pool, 1).sent, (QByteArrayList{raw, "inner"}));
        QCOMPARE(fake(pool, 2).sent, (QByteArrayList{"inner", raw}));
        // An empty text is "sent" (no bytes) and still yields per client.
        yield.reset();
        QVERIFY(!channels.SendOnArray4(QByteArray()));
        QCOMPARE(yield.count, 0); // Winjoin has no clients
        QVERIFY(!channels.SendOnArray3(QByteArray()));
        QCOMPARE(yield.count, 2);
        QCOMPARE(fake(pool, 1).received(), raw + "inner");
    }

    void unclaimedAndRefusedRequestsAreDiscarded()
    {
        FakeEndpointFactory local;
        SocketPool pool(QStringLiteral("p"), 1, local);
        // Nobody handles the request: its descriptor must not leak.
        fake(pool, 0).request(42);
        QCOMPARE(local.discarded, std::set<qintptr>{42});
        QCOMPARE(pool.count(), 1);

        // Fill the pool to capacity; the next request is refused cleanly.
        while (pool.count() < SocketPool::Capacity)
            QVERIFY(!pool.createElement());
        QCOMPARE(pool.highestIndex(), 32766);
        const Outcome refused = pool.acceptRequest(43);
        QVERIFY(refused);
        QVERIFY(local.discarded.count(43));
        QCOMPARE(pool.count(), SocketPool::Capacity);
    }

    void failedAcceptLeavesClosedElement()
    {
        Channels channels(factory, yield);
        SocketPool &pool = channels.Winusers();
        // The element is created before its accept runs, so arm the failure
        // through the factory's next endpoint by failing the accept afterwards.
        connectClient(pool);
        QVERIFY(!pool.createElement());
        fake(pool, 2).acceptFailure = Failure{10053, QStringLiteral("geri çekildi")};
        QVERIFY(pool.endpoint(2)->accept(5));
        QCOMPARE(pool.state(2), EndpointState::Closed);
        QCOMPARE(pool.count(), 3);
        connectClient(pool);
        QCOMPARE(pool.highestIndex(), 3);
    }

    void connectedCountFollowsEveryStateChange()
    {
        Channels channels(factory, yield);
        SocketPool &pool = channels.Winsock();
        QVERIFY(!pool.listen());
        QCOMPARE(pool.connectedCount(), 0); // listening is not connected
        FakeEndpoint &a = connectClient(pool);
        connectClient(pool);
        FakeEndpoint &c = connectClient(pool);
        QCOMPARE(pool.connectedCount(), 3);
        a.drop();
        pool.close(3);
        pool.close(3);
        QCOMPARE(pool.connectedCount(), 1);
        QCOMPARE(c.closes, 2);
        // An empty text yields once for the one connected element left.
        QVERIFY(!channels.SendOnArray(QByteArray()));
        QCOMPARE(yield.count, 1);
    }

    void outOfRangeIsFailureNotCrash()
    {
        Channels channels(factory, yield);
        QByteArray out = "stale";
        QVERIFY(channels.Winsock().getData(5, out));
        QVERIFY(out.isEmpty());
        QVERIFY(channels.Winsock().sendData(-1, "x"));
        QCOMPARE(channels.Winsock().state(9), EndpointState::Closed);
        channels.Winsock().close(9);
    }
};

QTEST_GUILESS_MAIN(TestBroadcast)
#include "tst_broadcast.moc"
