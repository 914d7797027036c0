// Ten thousand connections come and go across the four fixed ports, against
// the whole operator window: closed in order, reset, or closed before the
// server accepted them. No crash, no descriptor left open, and the memory back
// near where it started: each leaves a closed element behind, by design,
// which must cost little. Each round comes from an address of its own, as
// many clients would.
#include "reliability/harness.h"

#include <QElapsedTimer>
#include <QTest>

#include <vector>

using namespace Reliability;

namespace {

constexpr int Connections = 10000;
// Per round, spread over the four ports: well inside the listen backlog, so
// every connect completes in the kernel before the server accepts it.
constexpr int PerRound = 100;
// Three ways to go: 0 closed before the accept runs, 1 closed in order after
// it, 2 reset after it.
constexpr int Ways = 3;
constexpr int RoundDeadlineMs = 10 * 1000;
// 127.0.1.1 and on, all of them this machine.
constexpr quint32 RoundSource = (127u << 24) | (1u << 8) | 1u;

int elements(Form1 &window)
{
    return window.Winsock().count() + window.Winusers().count() + window.Winjoin().count()
           + window.Winleft().count();
}

int connectedElements(Form1 &window)
{
    int connected = 0;
    for (SocketPool *pool : {&window.Winsock(), &window.Winusers(), &window.Winjoin(), &window.Winleft()}) {
        for (int i = 1; i <= pool->highestIndex(); ++i)
            connected += pool->state(i) == EndpointState::Connected;
    }
    return connected;
}

} // namespace

class TestChurnE2e : public QObject
{
    Q_OBJECT

private slots:
    void tenThousandConnectionsComeAndGo()
    {
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        Form1 &window = server.window;

        const int descriptorsBefore = openDescriptors();
        const qint64 heldBefore = heldKiB();
        const int elementsBefore = elements(window);
        QElapsedTimer took;
        took.start();

        for (int round = 0; round < Connections / PerRound; ++round) {
            const int expected = elements(window) + PerRound;
            std::vector<std::unique_ptr<SilentClient>> clients;
            for (int i = 0; i < PerRound; ++i) {
                clients.push_back(
                    std::make_unique<SilentClient>(Channel(i % 4), RoundSource + quint32(round)));
                QVERIFY(clients.back()->connected());
                if ((round * PerRound + i) % Ways == 0)
                    clients.back()->close();
            }
            QVERIFY2(QTest::qWaitFor([&] { return elements(window) == expected; }, RoundDeadlineMs),
                     qPrintable(QStringLiteral("round %1: %2 of %3 accepted")
                                    .arg(round).arg(elements(window)).arg(expected)));
            for (int i = 0; i < PerRound; ++i)
                clients[size_t(i)]->close((round * PerRound + i) % Ways == 2);
            QVERIFY(QTest::qWaitFor([&] { return connectedElements(window) == 0; }, RoundDeadlineMs));
        }
        const qint64 elapsed = took.elapsed();

        QCOMPARE(elements(window) - elementsBefore, Connections);
        // Released sockets go on the next pass of the event loop.
        QTRY_COMPARE(openDescriptors(), descriptorsBefore);
        const qint64 heldAfter = heldKiB();
        qInfo("churn: %d connections in %lld ms; held %lld KiB before, %lld KiB after"
              " (%lld bytes per closed element)",
              Connections, elapsed, heldBefore, heldAfter,
              (heldAfter - heldBefore) * 1024 / Connections);
        if (!Sanitized)
            QVERIFY2(heldAfter - heldBefore < 4 * 1024,
                     qPrintable(QStringLiteral("%1 KiB more").arg(heldAfter - heldBefore)));

        // And the server still serves: a message goes round.
        Client client(Message);
        client.open();
        QTRY_VERIFY(client.connected());
        QTRY_COMPARE(window.Winsock().state(window.Winsock().highestIndex()), EndpointState::Connected);
        client.send(QByteArrayLiteral("hâlâ burada"));
        QTRY_COMPARE(client.got, QByteArrayLiteral("hâlâ burada"));
        QVERIFY(server.dialogs.failures.isEmpty());
        server.stop();
    }
};

QTEST_MAIN(TestChurnE2e)
#include "tst_churn_e2e.moc"
