// A message client that connects and never reads, while others chat in big
// lines, against the whole operator window on the fixed ports: once its
// unsent output is past the mark the chatters wait for it, and when it has
// taken nothing for the stall time its element is closed as a dead peer; the
// clients after it in the pool still get everything.
#include "net/tcpendpoint.h"
#include "ui/transcriptview.h"
#include "reliability/harness.h"

#include <QTest>
#include <QTimer>

using namespace Reliability;

namespace {

constexpr qint64 LineBytes = 256 * 1024;
constexpr int LinesEach = 16;
constexpr int SampleEveryMs = 50;
constexpr int DeadlineMs = 60 * 1000;

} // namespace

class TestSlowReaderE2e : public QObject
{
    Q_OBJECT

private slots:
    void silentClientIsDroppedAndOthersGetEverything()
    {
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        SocketPool &pool = server.window.Winsock();

        // Elements: 1 chatter A (sender 0), 2 the silent one, 3 chatter B
        // (sender 1), 4 a listener. B and the listener come after the silent
        // element in every broadcast.
        ChannelClient a(Message), b(Message), listener(Message);
        a.open();
        QTRY_COMPARE(int(pool.highestIndex()), 1);
        SilentClient silent(Message);
        QVERIFY(silent.connected());
        QTRY_COMPARE(int(pool.highestIndex()), 2);
        b.open();
        QTRY_COMPARE(int(pool.highestIndex()), 3);
        listener.open();
        QTRY_COMPARE(int(pool.highestIndex()), 4);
        QTRY_VERIFY(a.connected() && b.connected() && listener.connected());

        std::array<ChannelClient *, 3> readers{&a, &b, &listener};
        std::array<StreamCheck, 3> checks;
        for (size_t i = 0; i < readers.size(); ++i)
            readers[i]->onBytes = [&checks, i](const QByteArray &bytes) { checks[i].feed(bytes); };

        const qint64 before = heldKiB();
        qint64 peak = before;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, &sampler, [&] { peak = std::max(peak, residentKiB()); });
        sampler.start(SampleEveryMs);

        // Each chatter sends its next line once the last one has left it.
        std::array<int, 2> sentLines{};
        const auto chatter = [&](ChannelClient &client, int sender) {
            const auto next = [&client, &sentLines, sender] {
                int &lines = sentLines[size_t(sender)];
                if (lines < LinesEach && client.socket.bytesToWrite() == 0) {
                    client.send(streamBytes(sender, lines * LineBytes, LineBytes));
                    ++lines;
                }
            };
            connect(&client.socket, &QIODevice::bytesWritten, &client.socket, next);
            next();
        };
        chatter(a, 0);
        chatter(b, 1);

        constexpr qint64 EachSends = LinesEach * LineBytes;
        const bool done = QTest::qWaitFor(
            [&] {
                for (const StreamCheck &check : checks) {
                    if (check.from(0) != EachSends || check.from(1) != EachSends || !check.intact())
                        return false;
                }
                return true;
            },
            DeadlineMs);
        sampler.stop();
        const qint64 transcriptChars = server.window.Text1()->textLength();
        qInfo("slow reader: peak %lld KiB over %lld KiB; transcript %lld chars", peak - before,
              before, transcriptChars);

        for (size_t i = 0; i < checks.size(); ++i) {
            QVERIFY2(checks[i].intact(), qPrintable(QStringLiteral("reader %1: wrong byte at %2")
                                                        .arg(i).arg(checks[i].firstWrongAt)));
            QCOMPARE(checks[i].from(0), EachSends);
            QCOMPARE(checks[i].from(1), EachSends);
        }
        QVERIFY(done);
        // The silent one was let go; everyone else is still served.
        QCOMPARE(pool.state(2), EndpointState::Closed);
        QCOMPARE(pool.state(1), EndpointState::Connected);
        QCOMPARE(pool.state(3), EndpointState::Connected);
        QCOMPARE(pool.state(4), EndpointState::Connected);
        QCOMPARE(pool.count(), 5);
        QVERIFY(server.dialogs.failures.isEmpty());

        if (!Sanitized) {
            // The transcript holds every relayed byte (about four bytes a
            // character); beside it the silent peer cost at most the cap
            // and one text, and the others little.
            const qint64 transcriptKiB = 4 * transcriptChars / 1024;
            const qint64 silentKiB = (EndpointLimits::MaxUnsentBytes + LineBytes) / 1024;
            const qint64 allowanceKiB = 48 * 1024;
            QVERIFY2(peak - before < transcriptKiB + silentKiB + allowanceKiB,
                     qPrintable(QStringLiteral("grew %1 KiB").arg(peak - before)));
        }
        server.stop();
    }
};

QTEST_MAIN(TestSlowReaderE2e)
#include "tst_slowreader_e2e.moc"
