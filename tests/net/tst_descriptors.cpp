// Running out of descriptors: the listener neither spins nor stops for good,
// and the open-file limit is raised at start.
#include "net/descriptorlimit.h"
#include "net/socketpool.h"
#include "net/tcpendpoint.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/resource.h>

#include <memory>
#include <vector>

namespace {
int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}
} // namespace

class TestDescriptors : public QObject
{
    Q_OBJECT

private slots:
    void softLimitIsRaisedToHardLimit()
    {
        rlimit before{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &before), 0);
        const long now = raiseOpenFileLimit();
        rlimit after{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &after), 0);
        QCOMPARE(after.rlim_cur, before.rlim_max);
        QVERIFY(now >= long(before.rlim_cur));
    }

    void acceptResumesOnceDescriptorsAreFree()
    {
        QObject owner;
        TcpEndpointFactory factory(&owner);
        SocketPool pool(QStringLiteral("p"), 0, factory);
        connect(&pool, &SocketPool::connectionRequest, &pool,
                [&pool](qint16, qintptr id) { (void)pool.acceptRequest(id); });
        QVERIFY(!pool.listen());
        auto *listener = owner.findChild<QTcpServer *>();
        QVERIFY(listener);
        QSignalSpy acceptErrors(listener, &QTcpServer::acceptError);

        // Clients complete their handshake in the kernel's backlog before the
        // server accepts anything; then the limit leaves room for two accepts.
        constexpr int Clients = 6;
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        const quint16 port = pool.endpoint(0)->localPort();
        for (int i = 0; i < Clients; ++i) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(clients.back()->waitForConnected(5000));
        }
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = rlim_t(openDescriptors() + 2);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);

        QVERIFY(acceptErrors.wait(5000));
        const int acceptedWhileStarved = pool.highestIndex();
        QVERIFY(acceptedWhileStarved < Clients);

        // Starved, it tries again on a timer rather than in a busy loop.
        QElapsedTimer sinceFirst;
        sinceFirst.start();
        QVERIFY(acceptErrors.wait(5000));
        QVERIFY(sinceFirst.elapsed() >= EndpointLimits::AcceptRetryMs * 8 / 10);
        QCOMPARE(pool.highestIndex(), acceptedWhileStarved);

        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        QTRY_COMPARE_WITH_TIMEOUT(int(pool.highestIndex()), Clients, 5000);
    }
};

QTEST_GUILESS_MAIN(TestDescriptors)
#include "tst_descriptors.moc"
