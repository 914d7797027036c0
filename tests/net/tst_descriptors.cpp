// Running out of descriptors: the listener neither spins nor stops for good,
// and the open-file limit is raised at start.
#include "net/descriptorlimit.h"
#include "net/socketpool.h"
#include "net/tcpendpoint.h"
#include "rawsocket.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <memory>
#include <vector>

namespace {
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

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

        // One client is accepted first, so the listener has seen its queue run
        // empty before it runs out of descriptors: a listener that took the
        // exhaustion for that same passing condition would spin. The others
        // complete their handshake in the kernel's backlog while the limit
        // leaves room for two accepts; their sockets exist before it is set.
        constexpr int Clients = 6;
        const quint16 port = pool.endpoint(0)->localPort();
        QTcpSocket first;
        first.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(int(pool.highestIndex()), 1);
        std::vector<RawFd> later;
        for (int i = 1; i < Clients; ++i)
            later.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = rlim_t(openDescriptors() + 2);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (const RawFd &client : later)
            QCOMPARE(::connect(client.get(), reinterpret_cast<const sockaddr *>(&to), sizeof to), 0);

        QVERIFY(acceptErrors.wait(5000));
        const int acceptedWhileStarved = pool.highestIndex();
        QVERIFY(acceptedWhileStarved < Clients);

        // Starved, it tries again on a timer rather than in a busy loop: a
        // few attempts a second, and the process all but idle meanwhile.
        QElapsedTimer sinceFirst;
        sinceFirst.start();
        const double cpuBefore = cpuSeconds();
        constexpr int Retries = 3;
        for (int i = 0; i < Retries; ++i)
            QVERIFY(acceptErrors.wait(5000));
        QVERIFY(sinceFirst.elapsed() >= Retries * EndpointLimits::AcceptRetryMs * 8 / 10);
        const double busy = (cpuSeconds() - cpuBefore) / (double(sinceFirst.elapsed()) / 1000);
        QVERIFY2(busy < 0.25, qPrintable(QStringLiteral("CPU %1 % while starved").arg(busy * 100)));
        QCOMPARE(pool.highestIndex(), acceptedWhileStarved);

        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        QTRY_COMPARE_WITH_TIMEOUT(int(pool.highestIndex()), Clients, 5000);
    }
};

QTEST_GUILESS_MAIN(TestDescriptors)
#include "tst_descriptors.moc"
