// A client that sends without pause, against the whole operator window on the
// fixed ports: the server's memory stays bounded (reads stop at the read
// buffer and TCP holds the sender back), every client, the flooder included,
// gets every byte relayed, in order per sender, and the transcript keeps to
// its bound.
#include "net/tcpendpoint.h"
#include "ui/transcriptview.h"
#include "reliability/harness.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <tuple>

using namespace Reliability;

namespace {

// The flood ends at whichever comes first; the time bound keeps the test short
// on a slow machine (every relayed byte is also laid out in the transcript).
constexpr qint64 FloodBytes = 200 * 1024 * 1024;
constexpr int FloodForMs = 10 * 1000;
// The flooder keeps this much queued in its own socket, topped up as it goes
// out: always more than the socket buffers on the way can take, so it is TCP
// that holds it back, and its own side stays bounded (it counts in the peak
// below, being in this process).
constexpr qint64 FlooderQueue = 8 * 1024 * 1024;
constexpr qint64 FloodChunk = 64 * 1024;
constexpr int ChatLineBytes = 300;
constexpr int ChatEveryMs = 20;
constexpr int SampleEveryMs = 50;
constexpr int DeadlineMs = 15 * 1000; // after the flood ends
// The operator empties the transcript this often, as the Format menu lets
// them: what is left growing is the server's own.
constexpr int ClearEveryMs = 1000;

} // namespace

class TestFloodE2e : public QObject
{
    Q_OBJECT

private slots:
    void floodIsHeldBackAndEveryoneGetsEverything()
    {
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));

        // Flooder (sender 0), a chatter (sender 1), and a listener that only
        // reads; each checks everything the message channel brings it.
        std::array<ChannelClient, 3> clients{ChannelClient(Message), ChannelClient(Message), ChannelClient(Message)};
        std::array<StreamCheck, 3> checks;
        for (size_t i = 0; i < clients.size(); ++i) {
            clients[i].onBytes = [&checks, i](const QByteArray &bytes) { checks[i].feed(bytes); };
            clients[i].open();
            QTRY_COMPARE(int(server.window.Winsock().highestIndex()), int(i) + 1);
        }
        QTRY_VERIFY(clients[0].connected() && clients[1].connected() && clients[2].connected());

        qint64 flooded = 0;
        // Bytes the flooder has handed to its kernel that the listener has
        // not yet received: what sits in the buffers on the way, the
        // server's included. TCP's flow control keeps it bounded.
        qint64 inFlight = 0;
        const auto sample = [&] {
            inFlight = std::max(inFlight, flooded - clients[0].socket.bytesToWrite() - checks[2].from(0));
        };
        const qint64 before = heldKiB();
        qint64 peak = before;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, &sampler, [&] {
            peak = std::max(peak, residentKiB());
            sample();
        });
        sampler.start(SampleEveryMs);

        bool flooding = true;
        QTcpSocket &flooder = clients[0].socket;
        const auto topUp = [&] {
            while (flooding && flooded < FloodBytes && flooder.bytesToWrite() < FlooderQueue) {
                const qint64 n = std::min(FloodChunk, FloodBytes - flooded);
                flooder.write(streamBytes(0, flooded, n));
                flooded += n;
                sample();
            }
        };
        connect(&flooder, &QIODevice::bytesWritten, &flooder, topUp);

        qint64 chatted = 0;
        QTimer chat;
        connect(&chat, &QTimer::timeout, &chat, [&] {
            clients[1].send(streamBytes(1, chatted, ChatLineBytes));
            chatted += ChatLineBytes;
        });

        qint64 longestTranscript = 0;
        QTimer clear;
        connect(&clear, &QTimer::timeout, &clear, [&] {
            longestTranscript = std::max<qint64>(
                longestTranscript, server.window.Text1()->textLength());
            server.window.mnuclear()->trigger();
        });

        QElapsedTimer took;
        took.start();
        topUp();
        chat.start(ChatEveryMs);
        clear.start(ClearEveryMs);
        std::ignore = QTest::qWaitFor([&] { return flooded >= FloodBytes; }, FloodForMs);
        flooding = false;
        chat.stop();
        const auto allThere = [&] {
            for (const StreamCheck &check : checks) {
                if (check.from(0) != flooded || check.from(1) != chatted || !check.intact())
                    return false;
            }
            return true;
        };
        const bool done = QTest::qWaitFor(allThere, DeadlineMs);
        sampler.stop();
        clear.stop();
        peak = std::max(peak, residentKiB());
        qInfo("flood: %lld MiB relayed to 3 clients in %lld ms; peak %lld KiB over a start of"
              " %lld KiB; transcript up to %lld chars between clears; at most %lld KiB in flight",
              flooded >> 20, took.elapsed(), peak - before, before, longestTranscript, inFlight >> 10);
        for (size_t i = 0; i < checks.size(); ++i) {
            QVERIFY2(checks[i].intact(), qPrintable(QStringLiteral("client %1: wrong byte at %2")
                                                        .arg(i).arg(checks[i].firstWrongAt)));
            QCOMPARE(checks[i].from(0), flooded);
            QCOMPARE(checks[i].from(1), chatted);
        }
        QVERIFY(done);
        // Enough to have filled every buffer on the way many times over
        // (under the sanitizers everything runs several times slower).
        QVERIFY(flooded >= (Sanitized ? 8 : 16) * 1024 * 1024);
        QVERIFY(chatted > 0);
        // Socket buffers on loopback take a few MiB each way; far more in
        // flight would mean the server reads ahead of what it relays.
        QVERIFY2(inFlight < 32 * 1024 * 1024, qPrintable(QString::number(inFlight)));
        // Nobody was dropped as a reader that does not keep up.
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(server.window.Winsock().state(i), EndpointState::Connected);

        if (!Sanitized) {
            // The transcript between two clears (about four bytes a character
            // in the document), the read buffers and unsent output of three
            // clients, and room for the allocator and Qt's caches. The
            // kernel's socket buffers are not in the process at all.
            const qint64 transcriptKiB = 4 * longestTranscript / 1024;
            const qint64 perClientKiB =
                (EndpointLimits::MaxReadBuffer + EndpointLimits::MaxUnsentBytes + FloodChunk) / 1024;
            const qint64 flooderKiB = (FlooderQueue + FloodChunk) / 1024;
            const qint64 allowanceKiB = 48 * 1024;
            QVERIFY2(peak - before < transcriptKiB + 3 * perClientKiB + flooderKiB + allowanceKiB,
                     qPrintable(QStringLiteral("grew %1 KiB").arg(peak - before)));
        }
        server.stop();
    }

    // Left alone under a flood, the transcript keeps to its bound (a small
    // one here, passed within seconds): the oldest lines make way for the
    // notice, and the window goes on following the end, where a bystander's
    // line after the flood shows.
    void transcriptKeepsToItsBound()
    {
        constexpr qsizetype Bound = 4 << 20;
        constexpr int TrimWithinMs = 60 * 1000;
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        TranscriptView &transcript = *server.window.Text1();
        transcript.setMaxHeldBytes(Bound);
        std::array<ChannelClient, 2> clients{ChannelClient(Message), ChannelClient(Message)};
        for (ChannelClient &client : clients) {
            client.onBytes = [](const QByteArray &) {}; // counted, not kept
            client.open();
        }
        QTRY_VERIFY(clients[0].connected() && clients[1].connected());

        qint64 flooded = 0;
        const QString noticeStart =
                TranscriptView::TrimmedNotice.left(TranscriptView::TrimmedNotice.indexOf(u"%1"));
        const auto trimmed = [&] { return transcript.content().line(0).startsWith(noticeStart); };
        const auto topUp = [&] {
            while (!trimmed() && clients[0].socket.bytesToWrite() < FlooderQueue) {
                clients[0].send(streamBytes(0, flooded, FloodChunk));
                flooded += FloodChunk;
            }
        };
        connect(&clients[0].socket, &QIODevice::bytesWritten, &clients[0].socket, topUp);
        topUp();
        QTRY_VERIFY_WITH_TIMEOUT(trimmed(), TrimWithinMs);
        QTRY_VERIFY_WITH_TIMEOUT(clients[1].received == flooded, DeadlineMs);

        clients[1].send(QByteArrayLiteral("sel\xc3\xa2m, bitti mi?"));
        QTRY_COMPARE(transcript.content().line(transcript.lineCount() - 2),
                     QStringLiteral("selâm, bitti mi?"));
        QVERIFY2(transcript.content().bytesUsed() <= Bound,
                 QByteArray::number(transcript.content().bytesUsed()));
        QCOMPARE(transcript.caretPosition(), transcript.textLength());
        server.stop();
    }
};

QTEST_MAIN(TestFloodE2e)
#include "tst_flood_e2e.moc"
