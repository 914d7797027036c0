// Peers that misbehave while the server sends to them, over loopback on a
// free port: one that resets in the middle of a broadcast, one that stops
// reading, and a healthy one that is sent one very long text.
#include "loopbackpool.h"
#include "net/broadcast.h"
#include "net/socketpool.h"
#include "net/tcpendpoint.h"
#include "net/yield.h"
#include "reliability/harness.h"

#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// Nothing runs between the sends: whatever the peers did meanwhile, the
// server has not seen it yet when it writes to them.
class NoYield final : public Yield
{
public:
    void operator()() override {}
};

// Every send is followed by a pass of the event loop: the readers in this
// process read as a client in a process of its own would, alongside.
class PassYield final : public Yield
{
public:
    void operator()() override { QCoreApplication::processEvents(); }
};

struct Server : LoopbackPool
{
    // n clients, each accepted on its own element (1 to n), in order.
    std::vector<std::unique_ptr<ChannelClient>> connect(int n)
    {
        std::vector<std::unique_ptr<ChannelClient>> clients;
        for (int i = 0; i < n; ++i) {
            clients.push_back(std::make_unique<ChannelClient>(Message));
            clients.back()->socket.connectToHost(QHostAddress::LocalHost,
                                                 pool.endpoint(0)->localPort());
            if (!QTest::qWaitFor([&] { return pool.highestIndex() == i + 1; }))
                return {};
        }
        return clients;
    }
};

} // namespace

class TestEndpointFaults : public QObject
{
    Q_OBJECT

private slots:
    // The reset reaches the kernel before the send; the send finds the peer
    // gone while writing, and the socket aborts inside the send.
    void peerResetDuringBroadcastDisturbsNoOne()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        auto clients = server.connect(3);
        QCOMPARE(int(clients.size()), 3);

        clients[1]->reset();
        NoYield yield;
        const QByteArray text(256 * 1024, 'r');
        QCOMPARE(broadcast(server.pool, text, yield), Outcome{});
        // A second broadcast sees the element closed and passes it over.
        QCOMPARE(broadcast(server.pool, QByteArrayLiteral("!"), yield), Outcome{});

        QCOMPARE(server.pool.state(2), EndpointState::Closed);
        QTRY_COMPARE(clients[0]->got, text + '!');
        QTRY_COMPARE(clients[2]->got, text + '!');
        QCOMPARE(server.pool.count(), 4);
    }

    // Far more than the unsent-output cap, sent at once, to a peer that reads
    // as fast as it can: judged by the backlog it leaves, it would be dropped.
    void oneLongTextReachesAHealthyPeerWhole()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        auto clients = server.connect(2);
        QCOMPARE(int(clients.size()), 2);

        const QByteArray page = Reliability::streamBytes(1, 0, 8 * EndpointLimits::MaxUnsentBytes);
        NoYield yield;
        QCOMPARE(broadcast(server.pool, page, yield), Outcome{});
        QCOMPARE(server.pool.state(1), EndpointState::Connected);
        QCOMPARE(server.pool.state(2), EndpointState::Connected);
        QTRY_COMPARE(clients[0]->received, page.size());
        QTRY_COMPARE(clients[1]->received, page.size());
        QVERIFY(clients[0]->got == page);
        QVERIFY(clients[1]->got == page);
    }

    // A peer that takes nothing, between two that read: it is closed once its
    // backlog passes the cap, and the two others get every text, in order.
    void silentPeerIsDroppedPastTheCapWhileOthersGetAll()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        auto clients = server.connect(3);
        QCOMPARE(int(clients.size()), 3);
        // Takes one byte and then nothing more: the kernel buffers fill.
        clients[1]->socket.setReadBufferSize(1);
        clients[1]->onBytes = [](const QByteArray &) {};
        disconnect(&clients[1]->socket, &QIODevice::readyRead, nullptr, nullptr);

        PassYield yield;
        constexpr qint64 Chunk = 64 * 1024;
        qint64 sent = 0;
        // Bounded: kernel buffers and the cap are far below 256 MiB.
        while (server.pool.state(2) == EndpointState::Connected && sent < 256 * 1024 * 1024) {
            QCOMPARE(broadcast(server.pool, Reliability::streamBytes(0, sent, Chunk), yield),
                     Outcome{});
            sent += Chunk;
        }
        QCOMPARE(server.pool.state(2), EndpointState::Closed);
        QVERIFY(sent > EndpointLimits::MaxUnsentBytes);
        QTRY_COMPARE(clients[0]->received, sent);
        QTRY_COMPARE(clients[2]->received, sent);
        QVERIFY(clients[0]->got == Reliability::streamBytes(0, 0, sent));
        QVERIFY(clients[2]->got == clients[0]->got);
    }
};

QTEST_GUILESS_MAIN(TestEndpointFaults)
#include "tst_endpointfaults.moc"
