// A client floods the chat while two readers take it at a few MB/s, far
// slower than the flood, against the whole operator window on the fixed
// ports: the readers fall megabytes behind, yet nobody is dropped; the
// flooder waits for them, and every reader gets the whole flood in order.
#include "net/flowcontrol.h"
#include "rawsocket.h"
#include "reliability/harness.h"

#include <QTest>
#include <QTimer>

using namespace Reliability;

namespace {

// Far more than the kernel buffers on the way and what the server queues for
// a reader, so readers that could not keep up would have been let go.
constexpr qint64 FloodBytes = 12 * 1024 * 1024;
constexpr qint64 FloodChunk = 64 * 1024;
// Each reader takes this much per tick: some 8 MB/s at most.
constexpr qint64 BiteBytes = 16 * 1024;
constexpr int BiteEveryMs = 2;
constexpr int ClearEveryMs = 1000;
constexpr int DeadlineMs = 60 * 1000;

} // namespace

class TestSlowReadersE2e : public QObject
{
    Q_OBJECT

private slots:
    void flooderWaitsForReadersSlowerThanIt()
    {
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        SocketPool &pool = server.window.Winsock();

        ChannelClient flooder(Message);
        StreamCheck echo;
        flooder.onBytes = [&echo](const QByteArray &bytes) { echo.feed(bytes); };
        flooder.open();
        QTRY_VERIFY(flooder.connected());
        const auto reader = [] {
            return RawSocket::connectTo(ChannelPort::All[Message], RawSocket::SmallReceiveBuffer);
        };
        std::array<RawFd, 2> readers{reader(), reader()};
        QTRY_COMPARE(pool.connectedCount(), 3);

        std::array<StreamCheck, 2> checks;
        QTimer bites;
        connect(&bites, &QTimer::timeout, &bites, [&] {
            for (size_t r = 0; r < readers.size(); ++r) {
                QByteArray bite;
                RawSocket::readAvailable(readers[r].get(), bite, BiteBytes);
                checks[r].feed(bite);
            }
        });
        qint64 flooded = 0;
        qint64 mostAhead = 0;
        const auto topUp = [&] {
            while (flooded < FloodBytes && flooder.socket.bytesToWrite() < FloodChunk) {
                flooder.send(streamBytes(0, flooded, FloodChunk));
                flooded += FloodChunk;
            }
            const qint64 slowest = std::min(checks[0].from(0), checks[1].from(0));
            mostAhead = std::max(mostAhead, flooded - flooder.socket.bytesToWrite() - slowest);
        };
        connect(&flooder.socket, &QIODevice::bytesWritten, &flooder.socket, topUp);
        QTimer clear;
        connect(&clear, &QTimer::timeout, &clear, [&] { server.window.mnuclear()->trigger(); });

        bites.start(BiteEveryMs);
        clear.start(ClearEveryMs);
        topUp();
        // A reader let go never gets the rest: the wait ends there too.
        const bool done = QTest::qWaitFor(
            [&] {
                return (checks[0].from(0) == FloodBytes && checks[1].from(0) == FloodBytes)
                       || pool.connectedCount() < 3;
            },
            DeadlineMs);
        qInfo("slow readers: %lld MiB, the flooder at most %lld KiB ahead of the slowest",
              FloodBytes >> 20, mostAhead >> 10);
        for (size_t r = 0; r < checks.size(); ++r) {
            QVERIFY2(checks[r].intact(), qPrintable(QStringLiteral("reader %1: wrong byte at %2")
                                                        .arg(r).arg(checks[r].firstWrongAt)));
        }
        QCOMPARE(pool.connectedCount(), 3);
        QVERIFY(done);
        QTRY_COMPARE(echo.from(0), FloodBytes);
        QVERIFY(echo.intact());
        // The readers were really behind the flood, further than the server
        // lets a reader's queue grow before its senders wait.
        QVERIFY(mostAhead > FlowLimits::BehindBytes);
        QVERIFY(server.dialogs.failures.isEmpty());
        server.stop();
    }
};

QTEST_MAIN(TestSlowReadersE2e)
#include "tst_slowreaders_e2e.moc"
