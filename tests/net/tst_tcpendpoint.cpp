// The TCP endpoints over real loopback sockets, on a free port.
#include "loopbackpool.h"
#include "net/channels.h"
#include "net/outputbatch.h"
#include "net/tcpendpoint.h"
#include "rawsocket.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QEventLoop>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

namespace {

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

using Server = LoopbackPool;
using namespace RawSocket;

// Holds a flooding client back well before it has written everything,
// without making each step wait for an acknowledgement.
constexpr int ModestSendBuffer = 256 * KiB;
// Beyond the inbox and whatever the kernel buffers on loopback.
const qsizetype Flood = 4 * MiB;
// Sends are cut to this; the server's queue for a reader is kept below the
// cap on unsent bytes by sending no more than this far ahead of it.
constexpr qsizetype SendChunk = 64 * KiB;
constexpr qsizetype SendAhead = 768 * KiB;
static_assert(SendAhead + SendChunk < EndpointLimits::MaxUnsentBytes);

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

// The client writes more on every try until element 1's inbox is full and
// its reading paused. True once it is; what was written is in flood's order.
bool fillInbox(SocketPool &pool, int fd, const QByteArray &flood)
{
    qint64 announced = 0;
    const QMetaObject::Connection watch = QObject::connect(
        &pool, &SocketPool::dataArrival, &pool, [&](qint16, qint64 bytes) { announced = bytes; });
    qsizetype written = 0;
    const bool full = QTest::qWaitFor([&] {
        written = writeAvailable(fd, flood, written);
        return announced == EndpointLimits::MaxReadBuffer;
    });
    QObject::disconnect(watch);
    return full;
}

// A client that reads at most one small bite per pass of the event loop.
class SlowReader
{
public:
    explicit SlowReader(int fd) : m_fd(fd)
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, &m_notifier, [this] { bite(); });
    }

    QByteArray got;
    bool ended = false;
    // After each bite, for a test that sends as the reader catches up.
    std::function<void()> afterBite;

private:
    void bite()
    {
        ended = readAvailable(m_fd, got, SmallReceiveBuffer);
        m_notifier.setEnabled(!ended);
        if (afterBite)
            afterBite();
    }

    int m_fd;
    QSocketNotifier m_notifier{qintptr(m_fd), QSocketNotifier::Read};
};

} // namespace

class TestTcpEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void acceptsReadsAndSendsBytesUnchanged_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("IPv4") << QStringLiteral("127.0.0.1");
        QTest::newRow("IPv6") << QStringLiteral("::1");
    }
    void acceptsReadsAndSendsBytesUnchanged()
    {
        QFETCH(QString, address);
        Server server;
        QVERIFY(!server.pool.listen());
        QCOMPARE(server.pool.state(0), EndpointState::Listening);

        QTcpSocket client;
        client.connectToHost(QHostAddress(address), server.port());
        if (!client.waitForConnected(5000) && address.contains(QLatin1Char(':')))
            QSKIP("no IPv6 loopback on this machine");
        QTRY_COMPARE(server.pool.highestIndex(), 1);
        QCOMPARE(server.pool.state(1), EndpointState::Connected);

        QSignalSpy arrivals(&server.pool, &SocketPool::dataArrival);
        const QByteArray raw("\x00\xfd\xfe\r\xf0\x9f\x98\x80 ı", 12);
        client.write(raw);
        QVERIFY(arrivals.wait());
        QCOMPARE(arrivals.first().at(0).value<qint16>(), 1);
        QByteArray got, all;
        QTRY_COMPARE((server.pool.getData(1, got), all += got).size(), raw.size());
        QCOMPARE(all, raw);
        QVERIFY(!server.pool.getData(1, got));
        QVERIFY(got.isEmpty());

        QVERIFY(!server.pool.sendData(1, raw));
        QVERIFY(!server.pool.sendData(1, QByteArray()));
        QTRY_COMPARE(client.bytesAvailable(), raw.size());
        QCOMPARE(client.readAll(), raw);
    }

    void peerThatLeavesKeepsItsLastBytesAndIndex()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        QTcpSocket a, b;
        a.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 1);
        b.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 2);

        a.write("bye");
        a.disconnectFromHost();
        QTRY_COMPARE(server.pool.state(1), EndpointState::Closed);
        QByteArray got;
        QVERIFY(!server.pool.getData(1, got));
        QCOMPARE(got, QByteArrayLiteral("bye"));
        QVERIFY(server.pool.sendData(1, "x")); // not connected: a failure

        QTcpSocket c;
        c.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 3);
        QCOMPARE(server.pool.state(2), EndpointState::Connected);
    }

    void closeDeliversWhatWasQueuedThenDisconnects()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 1);
        QSignalSpy gone(&client, &QTcpSocket::disconnected);
        QVERIFY(!server.pool.sendData(1, "notice"));
        for (int i = 0; i <= server.pool.highestIndex(); ++i)
            server.pool.close(i);
        server.pool.close(1); // closing twice does nothing
        QCOMPARE(server.pool.state(0), EndpointState::Closed);
        QCOMPARE(server.pool.state(1), EndpointState::Closed);
        QVERIFY(gone.wait());
        QCOMPARE(client.readAll(), QByteArrayLiteral("notice"));
        QCOMPARE(server.pool.count(), 2);
    }

    void takenPortIsReportedAsAddressInUse()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        QObject owner;
        TcpEndpointFactory factory(&owner);
        SocketPool pool(QStringLiteral("taken"), squatter.serverPort(), factory);
        const Outcome failed = pool.listen();
        QVERIFY(failed);
        QCOMPARE(failed->number, FailureNumber::AddressInUse);
        QVERIFY(!failed->description.isEmpty());
        QCOMPARE(pool.state(0), EndpointState::Closed);
    }

    void unclaimedRequestsLeakNoDescriptor()
    {
        QObject owner;
        TcpEndpointFactory factory(&owner);
        SocketPool pool(QStringLiteral("nobody"), 0, factory); // no accept handler
        QVERIFY(!pool.listen());
        const int before = openDescriptors();
        QTcpSocket client;
        QSignalSpy gone(&client, &QTcpSocket::disconnected);
        client.connectToHost(QHostAddress::LocalHost, pool.endpoint(0)->localPort());
        QVERIFY(gone.wait());
        QCOMPARE(pool.count(), 1);
        QTRY_COMPARE(openDescriptors(), before + 0);
    }

    void peerThatStopsReadingIsDroppedWithoutFailingTheSend()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        QTcpSocket sleeper;
        sleeper.setReadBufferSize(1); // reads next to nothing: the kernel buffers fill
        sleeper.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 1);

        const QByteArray chunk(64 * 1024, 'x');
        int sends = 0;
        // Bounded: the kernel buffers plus the cap are far below 256 MiB.
        while (server.pool.state(1) == EndpointState::Connected && sends < 4096) {
            QVERIFY(!server.pool.sendData(1, chunk));
            ++sends;
        }
        QCOMPARE(server.pool.state(1), EndpointState::Closed);
        QVERIFY(qint64(sends) * chunk.size() > EndpointLimits::MaxUnsentBytes);
    }

    // Reading: a flood is held back by flow control, not lost.

    void floodBeyondTheInboxArrivesWholeAndInOrder()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        RawFd client = connectTo(server.port());
        setSendBuffer(client.get(), ModestSendBuffer);
        QTRY_COMPARE(server.pool.state(1), EndpointState::Connected);

        // The client writes whenever its kernel has room.
        const QByteArray flood = pattern(Flood);
        qsizetype written = 0;
        QSocketNotifier writable(client.get(), QSocketNotifier::Write);
        connect(&writable, &QSocketNotifier::activated, this, [&] {
            written = writeAvailable(client.get(), flood, written);
            writable.setEnabled(written < flood.size());
        });
        qint64 largestAnnounced = 0;
        bool taking = false;
        QByteArray all;
        int takes = 0;
        auto take = [&] {
            QByteArray got;
            std::ignore = server.pool.getData(1, got);
            takes += got.isEmpty() ? 0 : 1;
            all += got;
        };
        connect(&server.pool, &SocketPool::dataArrival, this, [&](qint16, qint64 bytes) {
            largestAnnounced = std::max(largestAnnounced, bytes);
            if (taking)
                take();
        });

        // Nobody takes: the inbox fills to its cap and reading pauses.
        QTRY_COMPARE(largestAnnounced, EndpointLimits::MaxReadBuffer);
        QVERIFY(written < flood.size()); // the client is held back, nothing was dropped

        // Taking resumes reading, one inbox at a time.
        taking = true;
        take();
        QTRY_COMPARE_WITH_TIMEOUT(all.size(), flood.size(), 20000);
        QVERIFY(all == flood);
        QVERIFY(qint64(takes) >= flood.size() / EndpointLimits::MaxReadBuffer);
        QCOMPARE(largestAnnounced, EndpointLimits::MaxReadBuffer);
        QCOMPARE(server.pool.state(1), EndpointState::Connected);
    }

    void bytesReadDuringTheirOwnArrivalAreAnnouncedAgain()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        RawFd one = connectTo(server.port());
        QTRY_COMPARE(server.pool.state(1), EndpointState::Connected);
        RawFd two = connectTo(server.port());
        QTRY_COMPARE(server.pool.state(2), EndpointState::Connected);

        int arrivalsOfOne = 0;
        bool otherArrivedInside = false;
        QByteArray taken;
        connect(&server.pool, &SocketPool::dataArrival, this, [&](qint16 index, qint64) {
            if (index != 1)
                return;
            ++arrivalsOfOne;
            QByteArray got;
            std::ignore = server.pool.getData(1, got);
            taken += got;
            if (arrivalsOfOne > 1)
                return;
            // The handler runs the event loop (as a broadcast's yield does)
            // until a later pass has seen the other element's bytes: the
            // same pass found this element's second text ready and read it.
            writeAvailable(one.get(), "second");
            writeAvailable(two.get(), "ping");
            QEventLoop inside;
            connect(&server.pool, &SocketPool::dataArrival, &inside, [&](qint16 other, qint64) {
                if (other == 2) {
                    otherArrivedInside = true;
                    inside.quit();
                }
            });
            QTimer::singleShot(5000, &inside, &QEventLoop::quit); // a bound, not a wait
            inside.exec();
        });
        writeAvailable(one.get(), "first");
        QTRY_COMPARE(arrivalsOfOne, 2);
        QVERIFY(otherArrivedInside);
        QCOMPARE(taken, QByteArrayLiteral("firstsecond"));
    }

    void resetWhileReadingIsPausedEndsTheElementAndKeepsTheInbox()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        RawFd client = connectTo(server.port());
        QTRY_COMPARE(server.pool.state(1), EndpointState::Connected);
        QSignalSpy errors(&server.pool, &SocketPool::socketError);
        const QByteArray flood = pattern(Flood);
        QVERIFY(fillInbox(server.pool, client.get(), flood));
        resetOnClose(client.get());
        client.reset();

        QTRY_COMPARE(server.pool.state(1), EndpointState::Closed);
        QCOMPARE(server.pool.connectedCount(), 0);
        QByteArray got;
        QVERIFY(!server.pool.getData(1, got));
        QCOMPARE(got.size(), EndpointLimits::MaxReadBuffer);
        QVERIFY(got == flood.left(got.size()));
        QCOMPARE(errors.count(), 0); // a departure, not a fault to show
        QCOMPARE(server.factory.reactor().watchedCount(), 0);
    }

    // Writing: what the kernel refuses waits in order for the peer.

    void outputBeyondKernelBuffersReachesASlowReaderInOrder()
    {
        LoopbackPool server{RawSocket::SmallSendBuffer};
        QVERIFY(!server.pool.listen());
        RawFd client = connectTo(server.port(), SmallReceiveBuffer);
        QTRY_COMPARE(server.pool.state(1), EndpointState::Connected);

        const QByteArray text = pattern(Flood);
        qsizetype sent = 0;
        auto sendUpTo = [&](qsizetype limit) {
            while (sent < std::min(limit, text.size())) {
                QVERIFY(!server.pool.sendData(1, text.mid(sent, SendChunk)));
                sent += SendChunk;
            }
        };
        SlowReader reader(client.get());
        reader.afterBite = [&] { sendUpTo(reader.got.size() + SendAhead); };
        sendUpTo(SendAhead);
        QTRY_COMPARE_WITH_TIMEOUT(reader.got.size(), text.size(), 20000);
        QVERIFY(reader.got == text);
        QCOMPARE(server.pool.state(1), EndpointState::Connected);
    }

    // A quiet peer, and one whose own bytes lie unread in the server's
    // kernel buffer when the element closes.
    // A short notice leaves at once and nothing is queued; closing right
    // after must still not reset the connection over the unread bytes.
    void closeDeliversLargeQueuedOutputBeforeTheEnd_data()
    {
        QTest::addColumn<bool>("peerFloods");
        QTest::addColumn<qsizetype>("textBytes");
        QTest::newRow("quiet peer") << false << qsizetype(SendAhead);
        QTest::newRow("peer with unread bytes") << true << qsizetype(SendAhead);
        QTest::newRow("peer with unread bytes, short notice") << true << qsizetype(40);
    }
    void closeDeliversLargeQueuedOutputBeforeTheEnd()
    {
        QFETCH(bool, peerFloods);
        QFETCH(qsizetype, textBytes);
        LoopbackPool server{RawSocket::SmallSendBuffer};
        QVERIFY(!server.pool.listen());
        RawFd client = connectTo(server.port(), SmallReceiveBuffer);
        QTRY_COMPARE(server.pool.state(1), EndpointState::Connected);
        if (peerFloods)
            QVERIFY(fillInbox(server.pool, client.get(), pattern(Flood)));

        const QByteArray text = pattern(textBytes, 7);
        for (qsizetype at = 0; at < text.size(); at += SendChunk)
            QVERIFY(!server.pool.sendData(1, text.mid(at, SendChunk)));
        server.pool.close(1);
        QCOMPARE(server.pool.state(1), EndpointState::Closed);
        QCOMPARE(server.factory.reactor().lingeringCount(), 1);

        SlowReader reader(client.get());
        QTRY_VERIFY_WITH_TIMEOUT(reader.ended, 20000);
        QCOMPARE(reader.got.size(), text.size());
        QVERIFY(reader.got == text);
        // Ended by the server after the last byte; the client ends too.
        client.reset();
        QTRY_COMPARE(server.factory.reactor().lingeringCount(), 0);
    }

    // Elements gone, and descriptors that cannot be a connection.

    void poolGoneBeforeItsOutputBatchRunsLeavesNothingBehind()
    {
        QObject owner;
        TcpEndpointFactory factory(&owner);
        auto pool = std::make_unique<SocketPool>(QStringLiteral("short-lived"), 0, factory);
        connect(pool.get(), &SocketPool::connectionRequest, pool.get(),
                [&pool](qint16, qintptr id) { (void)pool->acceptRequest(id); });
        QVERIFY(!pool->listen());
        RawFd client = connectTo(pool->endpoint(0)->localPort());
        QTRY_COMPARE(pool->state(1), EndpointState::Connected);

        // The first text of the burst leaves at once; the next is staged (and
        // enlisted with the batch), then written at once when the stage
        // reaches the batch's bound: nothing is staged any more.
        const QByteArray big(OutputBatch::WriteAtBytes, 'b');
        QVERIFY(!pool->sendData(1, "a"));
        QVERIFY(!pool->sendData(1, "-"));
        QVERIFY(!pool->sendData(1, big));
        pool.reset();
        // The batch runs on the next pass; it must not reach the gone element.
        QSignalSpy passes(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake);
        QCoreApplication::processEvents();
        QVERIFY(!passes.isEmpty());
        QByteArray got;
        QTRY_VERIFY(readAvailable(client.get(), got));
        QCOMPARE(got, "a-" + big);
    }

    void descriptorThatIsNoStreamSocketIsRefusedAndClosed_data()
    {
        QTest::addColumn<bool>("pipeEnd");
        QTest::newRow("pipe end") << true;
        QTest::newRow("datagram socket") << false;
    }
    void descriptorThatIsNoStreamSocketIsRefusedAndClosed()
    {
        QFETCH(bool, pipeEnd);
        int ends[2] = {-1, -1};
        QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
        RawFd writeEnd(ends[1]);
        RawFd other(ends[0]);
        if (!pipeEnd)
            other.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        QObject owner;
        TcpEndpointFactory factory(&owner);
        SocketPool pool(QStringLiteral("odd"), 0, factory);

        const int fd = other.release();
        const Outcome refused = pool.acceptRequest(fd);
        QVERIFY(refused);
        QVERIFY(!refused->description.isEmpty());
        QVERIFY(!isOpen(fd));
        QCOMPARE(pool.state(1), EndpointState::Closed);
        QCOMPARE(pool.connectedCount(), 0);
        QCOMPARE(factory.reactor().watchedCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTcpEndpoint)
#include "tst_tcpendpoint.moc"
