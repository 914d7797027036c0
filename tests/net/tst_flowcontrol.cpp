// Who is held back for whom, and when a reader counts as stopped, on peers
// that only record what flow control asks of them, with a clock the test sets;
// then a flood and readers slower than it on real loopback sockets.
#include "loopbackpool.h"
#include "net/broadcast.h"
#include "net/flowcontrol.h"
#include "net/yield.h"
#include "rawsocket.h"

#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <tuple>

namespace {

struct Peer final : FlowPeer
{
    bool held = false;
    int holds = 0; // times it was told to stop reading
    bool gone = false;
    FlowControl *flow = nullptr;

    void setHeld(bool h) override
    {
        held = h;
        holds += h ? 1 : 0;
    }
    void stalled() override
    {
        gone = true;
        flow->forget(*this); // what a connection does as it ends
    }
};

constexpr qint64 Behind = FlowLimits::BehindBytes + 1;
constexpr qint64 CaughtUp = FlowLimits::CaughtUpBytes;
constexpr qint64 Read = EndpointLimits::MaxReadBuffer;
constexpr qint64 Line = 100;
const int Channel = 0;
const int OtherChannel = 1;

struct NoYield final : Yield
{
    void operator()() override {}
};

using namespace RawSocket;

} // namespace

class TestFlowControl : public QObject
{
    Q_OBJECT

    qint64 m_now = 0;

    std::unique_ptr<FlowControl> makeFlow(std::initializer_list<Peer *> peers)
    {
        auto flow = std::make_unique<FlowControl>(nullptr, [this] { return m_now; });
        for (Peer *peer : peers)
            peer->flow = flow.get();
        return flow;
    }

private slots:
    void init() { m_now = 0; }

    void onlyThePeersWhoseTextFillsTheQueueAreHeldUntilTheReaderCatchesUp()
    {
        Peer flooder, reader, chatter;
        auto flow = makeFlow({&flooder, &reader, &chatter});

        flow->taken(&Channel, &flooder);
        flow->queued(&Channel, reader, Read, FlowLimits::BehindBytes); // at the mark: not yet
        QVERIFY(!flooder.held);
        flow->queued(&Channel, reader, Read, Behind);
        QVERIFY(flooder.held);
        qint64 queued = Behind + Read;
        flow->queued(&Channel, reader, Read, queued); // the same sender counts once
        QCOMPARE(flooder.holds, 1);

        // Chat lines go on into the queue; their sender goes on too, until
        // what it added there comes to a flood's read.
        flow->taken(&Channel, &chatter);
        for (qint64 added = Line; added < FlowLimits::FillingBytes; added += Line)
            flow->queued(&Channel, reader, Line, queued += Line);
        QVERIFY(!chatter.held);
        flow->queued(&Channel, reader, Line, queued += Line);
        QVERIFY(chatter.held);

        flow->progressed(reader, CaughtUp + 1); // taking, not yet caught up
        QVERIFY(flooder.held && chatter.held);
        flow->progressed(reader, CaughtUp);
        QVERIFY(!flooder.held && !chatter.held);
        QVERIFY(!flow->isBehind(reader));

        // Behind again: the count starts afresh.
        flow->queued(&Channel, reader, Line, Behind);
        QVERIFY(!chatter.held);
    }

    void aSenderHeldByTwoReadersWaitsForBoth()
    {
        Peer flooder, slow, slower;
        auto flow = makeFlow({&flooder, &slow, &slower});
        flow->taken(&Channel, &flooder);
        flow->queued(&Channel, slow, Read, Behind);
        flow->queued(&Channel, slower, Read, Behind);
        flow->progressed(slow, 0);
        QVERIFY(flooder.held);
        flow->progressed(slower, 0);
        QVERIFY(!flooder.held);
    }

    void textThatIsNobodysHoldsNobody_data()
    {
        QTest::addColumn<bool>("emptyRead");
        QTest::addColumn<bool>("otherChannel");
        // The read before the send took nothing: the text is the server's own.
        QTest::newRow("after an empty read") << true << false;
        // What was read on another channel is relayed there, not here.
        QTest::newRow("read on another channel") << false << true;
    }

    void textThatIsNobodysHoldsNobody()
    {
        QFETCH(bool, emptyRead);
        QFETCH(bool, otherChannel);
        Peer sender, reader;
        auto flow = makeFlow({&sender, &reader});
        flow->taken(otherChannel ? &OtherChannel : &Channel, &sender);
        if (emptyRead)
            flow->taken(&Channel, nullptr);
        flow->queued(&Channel, reader, Read, Behind);
        QVERIFY(!sender.held);
        QVERIFY(flow->isBehind(reader)); // still watched for a stall
    }

    void onlyAReaderThatTakesNothingForTheStallTimeIsDropped()
    {
        Peer flooder, taking, stopped;
        auto flow = makeFlow({&flooder, &taking, &stopped});
        flow->taken(&Channel, &flooder);
        flow->queued(&Channel, taking, Read, Behind);
        flow->queued(&Channel, stopped, Read, Behind);

        // One reader takes a little now and then, the other nothing at all.
        for (int step = 1; step <= 4; ++step) {
            m_now = step * FlowLimits::StallMs / 4;
            flow->progressed(taking, Behind);
            flow->checkStalls();
        }
        QVERIFY(stopped.gone);
        QVERIFY(!taking.gone);
        QVERIFY(flooder.held); // the one taking still holds it

        m_now += FlowLimits::StallMs - 1;
        flow->checkStalls();
        QVERIFY(!taking.gone);
        m_now += 1;
        flow->checkStalls();
        QVERIFY(taking.gone);
        QVERIFY(!flooder.held);
    }

    void aSenderThatGoesAwayIsNotReleasedLater()
    {
        auto flooder = std::make_unique<Peer>();
        Peer reader;
        auto flow = makeFlow({flooder.get(), &reader});
        flow->taken(&Channel, flooder.get());
        flow->queued(&Channel, reader, Read, Behind);
        // Its connection ends while it is held, and the element goes (the
        // sanitizer build catches a late release of it).
        flow->forget(*flooder);
        flooder.reset();
        flow->queued(&Channel, reader, Read, Behind); // its text is nobody's now
        flow->progressed(reader, 0);
        QVERIFY(!flow->isBehind(reader));
    }

    void aFloodWaitsForReadersSlowerThanIt()
    {
        // Small kernel buffers everywhere, so that what is in flight is
        // mostly what the server holds.
        LoopbackPool server;
        QObject::disconnect(&server.pool, &SocketPool::connectionRequest, nullptr, nullptr);
        connect(&server.pool, &SocketPool::connectionRequest, &server.pool, [&](qint16, qintptr id) {
            setSendBuffer(int(id), SmallSendBuffer);
            setReceiveBuffer(int(id), SmallReceiveBuffer);
            std::ignore = server.pool.acceptRequest(id);
        });
        // What the message handler does: read every element, relay each read.
        NoYield yield;
        connect(&server.pool, &SocketPool::dataArrival, &server.pool, [&] {
            for (int i = 1; i <= server.pool.highestIndex(); ++i) {
                QByteArray text;
                std::ignore = server.pool.getData(i, text);
                std::ignore = broadcast(server.pool, text, yield);
            }
        });
        QVERIFY(!server.pool.listen());

        RawFd flooder = connectTo(server.port());
        setSendBuffer(flooder.get(), SmallSendBuffer);
        std::array<RawFd, 2> readers{connectTo(server.port(), SmallReceiveBuffer),
                                     connectTo(server.port(), SmallReceiveBuffer)};
        QTRY_COMPARE(server.pool.connectedCount(), 3);

        // Readers take a bite every few milliseconds: a few MB/s at most,
        // far below what the flooder could send.
        const QByteArray flood = pattern(8 * MiB);
        std::array<QByteArray, 2> got;
        qsizetype written = 0;
        qsizetype mostInFlight = 0;
        QTimer bites;
        connect(&bites, &QTimer::timeout, &bites, [&] {
            for (size_t r = 0; r < readers.size(); ++r)
                readAvailable(readers[r].get(), got[r], 8 * KiB);
        });
        bites.start(2);
        QSocketNotifier writable(flooder.get(), QSocketNotifier::Write);
        connect(&writable, &QSocketNotifier::activated, &writable, [&] {
            written = writeAvailable(flooder.get(), flood, written);
            writable.setEnabled(written < flood.size());
            const qsizetype slowest = std::min(got[0].size(), got[1].size());
            mostInFlight = std::max(mostInFlight, written - slowest);
        });
        // The flooder takes its own echo as fast as it comes.
        QSocketNotifier readable(flooder.get(), QSocketNotifier::Read);
        connect(&readable, &QSocketNotifier::activated, &readable, [&] {
            QByteArray echo;
            readAvailable(flooder.get(), echo);
        });

        QTRY_VERIFY_WITH_TIMEOUT(got[0].size() == flood.size() && got[1].size() == flood.size(), 60000);
        QVERIFY(got[0] == flood);
        QVERIFY(got[1] == flood);
        QCOMPARE(server.pool.connectedCount(), 3); // nobody dropped
        // The flood went no further ahead of the slowest reader than the
        // buffers on the way, the queue of a reader that is behind and one
        // read: it was held back, not queued without bound.
        const qsizetype bound = 2 * (FlowLimits::BehindBytes + EndpointLimits::MaxReadBuffer) + 512 * KiB;
        QVERIFY2(mostInFlight < bound, qPrintable(QString::number(mostInFlight)));
    }
};

QTEST_MAIN(TestFlowControl)
#include "tst_flowcontrol.moc"
