// A client whose process is stopped (a laptop whose lid closed) beside one
// that sends 1 MB/s, against the whole operator window on the fixed ports:
// the stopped one is dropped soon, and people chatting meanwhile get their
// lines back within seconds all the while, the sender and they staying
// connected.
#include "forkedclient.h"
#include "reliability/harness.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace Reliability;

namespace {

constexpr qint64 FloodChunk = 64 * 1024;
constexpr int FloodEveryMs = 64; // 1 MB/s
constexpr int Chatters = 3;
constexpr int ChatPauseMs = 200;
// Round trips each chatter makes after the stopped client is gone.
constexpr int TripsAfter = 5;
constexpr int LongestTripMs = 3000;
constexpr int DeadlineMs = 30 * 1000;

// A chatter sends a short line, waits for it to come back through the
// flood, pauses, and sends the next; it keeps its longest round trip.
struct Chatter
{
    explicit Chatter(int number) : id(number)
    {
        client.onBytes = [this](const QByteArray &bytes) {
            if (line.isEmpty())
                return; // not chatting yet
            seen += bytes;
            if (seen.contains(line)) {
                longest = std::max(longest, sentAt.elapsed());
                ++trips;
                seen.clear();
                QTimer::singleShot(ChatPauseMs, &client.socket, [this] { sendNext(); });
            } else {
                seen = seen.right(line.size()); // a line cut in two by the network
            }
        };
    }
    void sendNext()
    {
        line = QByteArray("<sohbet ") + QByteArray::number(id) + ':' + QByteArray::number(trips) + '>';
        sentAt.start();
        client.send(line);
    }

    int id;
    Client client{Message};
    QByteArray line;
    QByteArray seen;
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

        ForkedClient frozen(std::vector<ForkedClient::Connection>{{Ports[Message], {}}});
        QVERIFY(frozen.started());
        QTRY_COMPARE(pool.connectedCount(), 1);
        frozen.freeze();

        Client sender(Message);
        sender.onBytes = [](const QByteArray &) {}; // takes its echo, keeps nothing
        sender.open();
        std::vector<std::unique_ptr<Chatter>> chatters;
        for (int i = 0; i < Chatters; ++i) {
            chatters.push_back(std::make_unique<Chatter>(i));
            chatters.back()->client.open();
        }
        QTRY_COMPARE(pool.connectedCount(), 2 + Chatters);

        const QByteArray chunk(FloodChunk, 'x');
        QTimer flood;
        connect(&flood, &QTimer::timeout, &flood, [&] { sender.send(chunk); });
        flood.start(FloodEveryMs);
        for (auto &chatter : chatters)
            chatter->sendNext();

        // The stopped client is element 1.
        QTRY_COMPARE_WITH_TIMEOUT(pool.state(1), EndpointState::Closed, DeadlineMs);
        std::vector<int> tripsThen;
        for (auto &chatter : chatters)
            tripsThen.push_back(chatter->trips);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(chatters.begin(), chatters.end(),
                        [&](const auto &c) { return c->trips >= tripsThen[size_t(c->id)] + TripsAfter; }),
            DeadlineMs);
        flood.stop();

        for (auto &chatter : chatters)
            qInfo("chatter %d: longest round trip %lld ms", chatter->id, chatter->longest);
        for (auto &chatter : chatters)
            QVERIFY2(chatter->longest < LongestTripMs,
                     qPrintable(QStringLiteral("chatter %1 waited %2 ms").arg(chatter->id).arg(chatter->longest)));
        QCOMPARE(pool.connectedCount(), 1 + Chatters);
        QVERIFY(sender.connected());
        server.stop();
    }
};

QTEST_MAIN(TestFrozenReaderE2e)
#include "tst_frozenreader_e2e.moc"
