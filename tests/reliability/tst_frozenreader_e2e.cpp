// A client whose process is stopped (a laptop whose lid closed) beside one
// that sends 1 MB/s, against the whole operator window on the fixed ports:
// it is dropped, and the lines of people chatting meanwhile come back within
// seconds all the while.
#include "forkedclient.h"
#include "reliability/harness.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace Reliability;

namespace {
constexpr int FloodEveryMs = 64; // 64 KiB each time: 1 MB/s
constexpr int Chatters = 3;
constexpr int TripsAfterTheDrop = 5;
constexpr int LongestTripMs = 3000;
constexpr int DeadlineMs = 30 * 1000;

// Sends a short line, waits until it comes back through the flood, sends
// the next; keeps its longest round trip.
struct Chatter
{
    explicit Chatter(int number) : id(number)
    {
        client.onBytes = [this](const QByteArray &bytes) {
            seen = seen.right(line.size()) + bytes; // a line may come in two reads
            if (line.isEmpty() || !seen.contains(line))
                return;
            longest = std::max(longest, sentAt.elapsed());
            ++trips;
            seen.clear();
            sendNext();
        };
        client.open();
    }
    void sendNext()
    {
        line = "<" + QByteArray::number(id) + ':' + QByteArray::number(trips) + '>';
        sentAt.start();
        client.send(line);
    }

    int id;
    ChannelClient client{Message};
    QByteArray line, seen;
    QElapsedTimer sentAt;
    qint64 longest = 0;
    int trips = 0;
};
} // namespace

class TestFrozenReaderE2e : public QObject
{
    Q_OBJECT

private slots:
    void aStoppedReaderIsDroppedWhileTheChatGoesOn()
    {
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        SocketPool &pool = server.window.Winsock();
        ForkedClient frozen(ForkedClient::Connections{{ChannelPort::All[Message], {}}});
        QTRY_COMPARE(pool.connectedCount(), 1); // element 1
        frozen.freeze();

        ChannelClient sender(Message);
        sender.onBytes = [](const QByteArray &) {};
        sender.open();
        std::array<std::unique_ptr<Chatter>, Chatters> chatters;
        for (int i = 0; i < Chatters; ++i)
            chatters[size_t(i)] = std::make_unique<Chatter>(i);
        QTRY_COMPARE(pool.connectedCount(), 2 + Chatters);
        QTimer flood;
        connect(&flood, &QTimer::timeout, &flood, [&] { sender.send(QByteArray(64 * 1024, 'x')); });
        flood.start(FloodEveryMs);
        for (auto &chatter : chatters)
            chatter->sendNext();

        QTRY_COMPARE_WITH_TIMEOUT(pool.state(1), EndpointState::Closed, DeadlineMs);
        const int tripsThen = chatters[0]->trips;
        QTRY_VERIFY_WITH_TIMEOUT(chatters[0]->trips >= tripsThen + TripsAfterTheDrop, DeadlineMs);
        for (auto &chatter : chatters) {
            // A line still on its way counts as far as it has come.
            const qint64 longest = std::max(chatter->longest, chatter->sentAt.elapsed());
            qInfo("chatter %d: longest round trip %lld ms", chatter->id, longest);
            QVERIFY(longest < LongestTripMs);
        }
        QCOMPARE(pool.connectedCount(), 1 + Chatters);
        server.stop();
    }
};

QTEST_MAIN(TestFrozenReaderE2e)
#include "tst_frozenreader_e2e.moc"
