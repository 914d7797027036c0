// A burst of sends handed to the kernel in one submission, and the ordinary
// sends where the kernel offers no ring: the peers see the same either way.
#include "loopbackpool.h"
#include "net/outputbatch.h"
#include "net/sendring.h"
#include "rawsocket.h"

#include <QTest>

#include <array>
#include <tuple>
#include <vector>

namespace {

using namespace RawSocket;

// Small texts, as a chat line or a roster entry is; a burst of them stays
// below the batch's bound, so it is written by the batch.
constexpr qsizetype TextBytes = 1 * KiB;
constexpr int TextsPerBurst = 60;
static_assert(TextBytes * TextsPerBurst < OutputBatch::WriteAtBytes);

// Chooses, before a pool is made, whether its batch may have a ring.
class RingChoice
{
public:
    explicit RingChoice(bool ring) { SendRing::refuseForTesting(!ring); }
    ~RingChoice() { SendRing::refuseForTesting(false); }
    RingChoice(const RingChoice &) = delete;
    RingChoice &operator=(const RingChoice &) = delete;
};

// Every pass of the event loop starts with the batch writing what is staged.
void runBatch()
{
    QCoreApplication::processEvents();
}

QByteArray textOf(int burst, int i)
{
    return pattern(TextBytes, burst * TextsPerBurst + i);
}

// Sends one burst's texts to each of the elements, in the order a broadcast
// does: text by text, element by element.
QByteArray sendBurst(SocketPool &pool, int burst, const std::vector<int> &elements)
{
    QByteArray all;
    for (int i = 0; i < TextsPerBurst; ++i) {
        for (int element : elements) {
            if (pool.state(element) == EndpointState::Connected)
                (void)pool.sendData(element, textOf(burst, i));
        }
        all += textOf(burst, i);
    }
    return all;
}

// Reads until want bytes are in or the peer ended, within a bound.
bool readAll(int fd, QByteArray &got, qsizetype want)
{
    std::ignore = QTest::qWaitFor([&] { return readAvailable(fd, got) || got.size() >= want; }, 10000);
    return got.size() == want;
}

void addRingRows()
{
    QTest::addColumn<bool>("ring");
    QTest::newRow("one submission") << true;
    QTest::newRow("ordinary sends") << false;
}

} // namespace

class TestSendRing : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SendRing::refuseForTesting(false); }

    // One submission reports each send as a non-blocking send would.
    void eachSendIsReportedOnItsOwn()
    {
        const std::unique_ptr<SendRing> ring = SendRing::open();
        if (!ring)
            QSKIP("the kernel offers no io_uring here");
        auto open = tcpPair();
        auto full = tcpPair(SmallReceiveBuffer);
        auto reset = tcpPair();
        setSendBuffer(full.first.get(), SmallSendBuffer);
        resetOnClose(reset.second.get());
        reset.second.reset();

        const QByteArray text = pattern(4 * KiB);
        const QByteArray flood = pattern(MiB, 3);
        std::array<SendRing::Send, 3> sends{{
            {open.first.get(), text.constData(), text.size(), {}},
            {reset.first.get(), text.constData(), text.size(), {}},
            {full.first.get(), flood.constData(), flood.size(), {}},
        }};
        ring->sendAll(sends);
        QVERIFY(!ring->broken());
        QCOMPARE(sends[0].result.written, text.size());
        QVERIFY(!sends[0].result.peerGone);
        QVERIFY(sends[1].result.peerGone);
        QVERIFY(sends[2].result.written > 0);
        QVERIFY(sends[2].result.written < flood.size());
        QVERIFY(!sends[2].result.peerGone);

        QByteArray got;
        QVERIFY(readAll(open.second.get(), got, text.size()));
        QCOMPARE(got, text);
        got.clear();
        QVERIFY(readAll(full.second.get(), got, sends[2].result.written));
        QVERIFY(got == flood.left(got.size()));
    }

    // A peer whose receive buffer is full keeps the rest of a burst queued,
    // and what follows in later bursts goes behind it; a peer that reads
    // gets the same bursts whole at once.
    void slowPeerGetsTheRestOfABurstInOrder_data() { addRingRows(); }
    void slowPeerGetsTheRestOfABurstInOrder()
    {
        QFETCH(bool, ring);
        const RingChoice choice(ring);
        LoopbackPool server{RawSocket::SmallSendBuffer};
        if (ring && !server.factory.output().submitsTogether())
            QSKIP("the kernel offers no io_uring here");
        QCOMPARE(server.factory.output().submitsTogether(), ring);
        QVERIFY(!server.pool.listen());
        RawFd slow = connectTo(server.port(), SmallReceiveBuffer);
        RawFd reader = connectTo(server.port());
        QTRY_COMPARE(server.pool.connectedCount(), 2);

        QByteArray expected = sendBurst(server.pool, 0, {1, 2});
        runBatch();
        QByteArray early;
        readAvailable(slow.get(), early);
        QVERIFY2(early.size() < expected.size(), "the burst should not fit the slow peer's buffers");
        expected += sendBurst(server.pool, 1, {1, 2});
        runBatch();

        QByteArray fast;
        QVERIFY(readAll(reader.get(), fast, expected.size()));
        QVERIFY(fast == expected);
        QByteArray got = early;
        QVERIFY(readAll(slow.get(), got, expected.size()));
        QVERIFY(got == expected);
        QCOMPARE(server.pool.connectedCount(), 2);
    }

    // A peer that reset before its part of a burst was written ends alone:
    // the peers before and after it get the burst, and the next one.
    void peerThatResetsInTheBurstEndsAlone_data() { addRingRows(); }
    void peerThatResetsInTheBurstEndsAlone()
    {
        QFETCH(bool, ring);
        const RingChoice choice(ring);
        LoopbackPool server;
        if (ring && !server.factory.output().submitsTogether())
            QSKIP("the kernel offers no io_uring here");
        QVERIFY(!server.pool.listen());
        std::array<RawFd, 3> clients;
        for (RawFd &client : clients)
            client = connectTo(server.port());
        QTRY_COMPARE(server.pool.connectedCount(), 3);
        resetOnClose(clients[1].get());
        clients[1].reset();

        QByteArray expected = sendBurst(server.pool, 0, {1, 2, 3});
        runBatch();
        QCOMPARE(server.pool.state(2), EndpointState::Closed);
        expected += sendBurst(server.pool, 1, {1, 2, 3});
        runBatch();
        for (int i : {0, 2}) {
            QByteArray got;
            QVERIFY(readAll(clients[size_t(i)].get(), got, expected.size()));
            QVERIFY(got == expected);
        }
        QCOMPARE(server.pool.connectedCount(), 2);
        QCOMPARE(server.factory.reactor().watchedCount(), 2);
    }

    // A peer that takes nothing is dropped once it holds more than the cap;
    // a peer in the same bursts that reads is not disturbed.
    void peerThatStopsReadingIsDroppedAtTheCap_data() { addRingRows(); }
    void peerThatStopsReadingIsDroppedAtTheCap()
    {
        QFETCH(bool, ring);
        const RingChoice choice(ring);
        LoopbackPool server{RawSocket::SmallSendBuffer};
        if (ring && !server.factory.output().submitsTogether())
            QSKIP("the kernel offers no io_uring here");
        QVERIFY(!server.pool.listen());
        RawFd sleeper = connectTo(server.port(), SmallReceiveBuffer);
        RawFd reader = connectTo(server.port());
        QTRY_COMPARE(server.pool.connectedCount(), 2);

        QByteArray expected;
        QByteArray got;
        int bursts = 0;
        // Bounded: the cap is reached after some 17 bursts of 60 KiB.
        while (server.pool.state(1) == EndpointState::Connected && bursts < 100) {
            expected += sendBurst(server.pool, bursts++, {1, 2});
            runBatch();
            readAvailable(reader.get(), got);
        }
        QCOMPARE(server.pool.state(1), EndpointState::Closed);
        QVERIFY(qint64(bursts) * TextsPerBurst * TextBytes > EndpointLimits::MaxUnsentBytes);
        QVERIFY(readAll(reader.get(), got, expected.size()));
        QVERIFY(got == expected);
        QCOMPARE(server.pool.state(2), EndpointState::Connected);
    }
};

QTEST_GUILESS_MAIN(TestSendRing)
#include "tst_sendring.moc"
