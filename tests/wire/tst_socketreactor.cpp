// The reactor over plain loopback descriptors: who is woken, and what a
// closing connection still delivers.
#include "wire/socketreactor.h"
#include "rawsocket.h"

#include <QDir>
#include <QSocketNotifier>
#include <QTest>

#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>

namespace {

using Key = SocketReactor::Key;
using namespace RawSocket;

// Far beyond what the small buffers hold, so a lingerer has to wait for room.
const qsizetype MoreThanKernelBuffers = 2 * MiB;
// Long enough never to be the reason a test ends.
constexpr int FarDeadlineMs = 60000;

// A connection whose writing end (first) and reading end both buffer little.
std::pair<RawFd, RawFd> narrowPair()
{
    auto ends = tcpPair(SmallReceiveBuffer);
    setSendBuffer(ends.first.get(), SmallSendBuffer);
    return ends;
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

std::uint32_t slotOf(Key key) { return std::uint32_t(key & 0xffffffffu); }

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

// Whether every descriptor has bytes to read, waiting a bounded time: the
// precondition for events that must land in one batch.
bool allReadable(std::initializer_list<int> fds)
{
    std::vector<pollfd> polled;
    for (const int fd : fds)
        polled.push_back({fd, POLLIN, 0});
    for (int round = 0; round < 50; ++round) {
        if (::poll(polled.data(), nfds_t(polled.size()), 100) < 0)
            return false;
        bool all = true;
        for (const pollfd &p : polled)
            all = all && (p.revents & POLLIN);
        if (all)
            return true;
    }
    return false;
}

// Records what the reactor tells it and reads what arrives, so that
// level-triggered readiness does not repeat forever.
class Probe final : public ReactorClient
{
public:
    explicit Probe(int fd = -1) : m_fd(fd) {}

    void onReady(std::uint32_t events) override
    {
        ++readyCalls;
        seen |= events;
        if ((events & EPOLLIN) && m_fd >= 0)
            readAvailable(m_fd, received);
        if (alsoOnReady)
            alsoOnReady(events);
    }
    void onWake() override
    {
        ++wakes;
        if (alsoOnWake)
            alsoOnWake();
    }

    int readyCalls = 0;
    std::uint32_t seen = 0;
    int wakes = 0;
    QByteArray received;
    std::function<void(std::uint32_t)> alsoOnReady;
    std::function<void()> alsoOnWake;

private:
    int m_fd;
};

} // namespace

class TestSocketReactor : public QObject
{
    Q_OBJECT

private slots:
    void readinessReachesOnlyItsOwnClient()
    {
        auto [a, aPeer] = tcpPair();
        auto [b, bPeer] = tcpPair();
        SocketReactor reactor;
        Probe pa(a.get()), pb(b.get());
        const Key ka = reactor.watch(a.get(), pa);
        const Key kb = reactor.watch(b.get(), pb);
        QVERIFY(ka != SocketReactor::NoKey && kb != SocketReactor::NoKey && ka != kb);
        QCOMPARE(reactor.watchedCount(), 2);

        writeAvailable(bPeer.get(), "for b");
        QTRY_COMPARE(pb.received, QByteArrayLiteral("for b"));
        QCOMPARE(pa.readyCalls, 0);
        writeAvailable(aPeer.get(), "for a");
        QTRY_COMPARE(pa.received, QByteArrayLiteral("for a"));
        QCOMPARE(pb.received, QByteArrayLiteral("for b"));
        QCOMPARE(pa.seen & EPOLLOUT, 0u); // nobody asked for writing

        // Unwatched, a client hears nothing more, although its peer writes.
        reactor.unwatch(ka, a.get());
        reactor.unwatch(ka, a.get()); // a second unwatch of the same key does nothing
        QCOMPARE(reactor.watchedCount(), 1);
        const int callsBefore = pa.readyCalls;
        writeAvailable(aPeer.get(), "late");
        writeAvailable(bPeer.get(), "!");
        QTRY_COMPARE(pb.received, QByteArrayLiteral("for b!"));
        QCOMPARE(pa.readyCalls, callsBefore);
    }

    void refusedDescriptorIsNotWatched_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("closed descriptor") << QStringLiteral("closed");
        QTest::newRow("device without readiness") << QStringLiteral("device");
        QTest::newRow("already watched") << QStringLiteral("twice");
    }
    void refusedDescriptorIsNotWatched()
    {
        QFETCH(QString, kind);
        auto [a, aPeer] = tcpPair();
        SocketReactor reactor;
        Probe first(a.get()), refused, after(a.get());
        Key firstKey = SocketReactor::NoKey;
        RawFd device(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        int fd = -1;
        if (kind == QLatin1String("device")) {
            fd = device.get();
        } else if (kind == QLatin1String("twice")) {
            firstKey = reactor.watch(a.get(), first);
            QVERIFY(firstKey != SocketReactor::NoKey);
            fd = a.get();
        }
        const int watched = reactor.watchedCount();
        QCOMPARE(reactor.watch(fd, refused), SocketReactor::NoKey);
        QCOMPARE(reactor.watchedCount(), watched);

        // The refusal disturbs neither an earlier watch of the descriptor nor
        // the next one.
        if (firstKey == SocketReactor::NoKey)
            QVERIFY(reactor.watch(a.get(), after) != SocketReactor::NoKey);
        writeAvailable(aPeer.get(), "x");
        QTRY_COMPARE(first.received + after.received, QByteArrayLiteral("x"));
        QCOMPARE(refused.readyCalls, 0);
    }

    // The first client of a batch to run stops watching the other, whose
    // event was fetched in the same batch; with "reuse" it also watches a
    // quiet descriptor for a new client, which takes over the freed slot.
    void clientUnwatchedDuringItsBatchIsNotCalled_data()
    {
        QTest::addColumn<bool>("reuse");
        QTest::newRow("slot left free") << false;
        QTest::newRow("slot taken by a new client") << true;
    }
    void clientUnwatchedDuringItsBatchIsNotCalled()
    {
        QFETCH(bool, reuse);
        auto [a, aPeer] = tcpPair();
        auto [b, bPeer] = tcpPair();
        auto [quiet, quietPeer] = tcpPair();
        SocketReactor reactor;
        Probe pa(a.get()), pb(b.get()), newcomer(quiet.get());
        const Key ka = reactor.watch(a.get(), pa);
        const Key kb = reactor.watch(b.get(), pb);
        Key dropped = SocketReactor::NoKey;
        Key newKey = SocketReactor::NoKey;
        auto stopOther = [&](Key otherKey, int otherFd) {
            if (dropped != SocketReactor::NoKey)
                return;
            dropped = otherKey;
            reactor.unwatch(otherKey, otherFd);
            if (reuse)
                newKey = reactor.watch(quiet.get(), newcomer);
        };
        pa.alsoOnReady = [&](std::uint32_t) { stopOther(kb, b.get()); };
        pb.alsoOnReady = [&](std::uint32_t) { stopOther(ka, a.get()); };

        writeAvailable(aPeer.get(), "a");
        writeAvailable(bPeer.get(), "b");
        QVERIFY(allReadable({a.get(), b.get()})); // both in the first batch
        QTRY_VERIFY(dropped != SocketReactor::NoKey);
        QCOMPARE(pa.readyCalls + pb.readyCalls, 1);
        QCOMPARE(newcomer.readyCalls, 0);
        if (reuse) {
            QCOMPARE(slotOf(newKey), slotOf(dropped));
            QVERIFY(newKey != dropped);
        }
        QCOMPARE(reactor.watchedCount(), reuse ? 2 : 1);
    }

    void wakesComeOncePerRequestAndOnlyToTheirKey()
    {
        auto [a, aPeer] = tcpPair();
        auto [b, bPeer] = tcpPair();
        auto [c, cPeer] = tcpPair();
        auto [s, sPeer] = tcpPair();
        SocketReactor reactor;
        Probe pa, pb, reuser, sentinel;
        const Key ka = reactor.watch(a.get(), pa);
        const Key kb = reactor.watch(b.get(), pb);
        const Key ks = reactor.watch(s.get(), sentinel);

        reactor.wakeLater(ka);
        reactor.wakeLater(ka);
        reactor.wakeLater(kb);
        reactor.unwatch(kb, b.get());
        const Key kr = reactor.watch(c.get(), reuser);
        QCOMPARE(slotOf(kr), slotOf(kb)); // the old key's slot, a new generation
        reactor.wakeLater(ks);
        QCOMPARE(pa.wakes, 0); // from the event loop, not from the call
        QTRY_COMPARE(sentinel.wakes, 1);
        QCOMPARE(pa.wakes, 2);
        QCOMPARE(pb.wakes, 0);
        QCOMPARE(reuser.wakes, 0);

        // A wake asked for while wakes run is not lost.
        int again = 1;
        pa.alsoOnWake = [&] {
            if (again-- > 0)
                reactor.wakeLater(ka);
        };
        reactor.wakeLater(ka);
        QTRY_COMPARE(pa.wakes, 4);
        reactor.wakeLater(ks);
        QTRY_COMPARE(sentinel.wakes, 2);
        QCOMPARE(pa.wakes, 4);
        QCOMPARE(pa.readyCalls + reuser.readyCalls, 0);
    }

    void interestDecidesWhatIsReported()
    {
        auto [a, aPeer] = tcpPair();
        auto [s, sPeer] = tcpPair();
        SocketReactor reactor;
        Probe pa(a.get()), sentinel(s.get());
        const Key ka = reactor.watch(a.get(), pa);
        reactor.watch(s.get(), sentinel);

        reactor.setInterest(ka, a.get(), false, true);
        QTRY_VERIFY(pa.seen & EPOLLOUT);

        // With neither, nothing; a sentinel's event shows a pass went by in
        // which a level-triggered EPOLLOUT or EPOLLIN would have come too.
        reactor.setInterest(ka, a.get(), false, false);
        const int calls = pa.readyCalls;
        writeAvailable(aPeer.get(), "held");
        writeAvailable(sPeer.get(), "1");
        QTRY_COMPARE(sentinel.received, QByteArrayLiteral("1"));
        QCOMPARE(pa.readyCalls, calls);
        QVERIFY(pa.received.isEmpty());

        // Reading again, what came meanwhile is reported.
        reactor.setInterest(ka, a.get(), true, false);
        QTRY_COMPARE(pa.received, QByteArrayLiteral("held"));
        pa.seen = 0;
        writeAvailable(sPeer.get(), "2");
        QTRY_COMPARE(sentinel.received, QByteArrayLiteral("12"));
        QCOMPARE(pa.seen & EPOLLOUT, 0u);
    }

    // The peer that keeps writing leaves bytes unread on the lingering
    // socket: closing that at once would reset the connection and lose
    // what the kernel still held for the peer.
    void lingerDeliversEverythingToASlowReaderThenEnds_data()
    {
        QTest::addColumn<bool>("peerWrites");
        QTest::newRow("quiet peer") << false;
        QTest::newRow("peer that keeps writing") << true;
    }
    void lingerDeliversEverythingToASlowReaderThenEnds()
    {
        QFETCH(bool, peerWrites);
        auto [server, peer] = narrowPair();
        const QByteArray chatter = pattern(MoreThanKernelBuffers, 3);
        qsizetype chattered = 0;
        auto chatterMore = [&] {
            if (peerWrites)
                chattered = writeAvailable(peer.get(), chatter, chattered);
        };
        chatterMore();
        SocketReactor reactor;
        const QByteArray rest = pattern(MoreThanKernelBuffers);
        reactor.linger(server.release(), rest, FarDeadlineMs);
        QCOMPARE(reactor.lingeringCount(), 1);

        // Small reads, one per pass of the event loop.
        QByteArray got;
        bool ended = false;
        QSocketNotifier reader(peer.get(), QSocketNotifier::Read);
        connect(&reader, &QSocketNotifier::activated, this, [&] {
            chatterMore();
            ended = readAvailable(peer.get(), got, SmallReceiveBuffer);
            reader.setEnabled(!ended);
        });
        QTRY_VERIFY_WITH_TIMEOUT(ended, 20000);
        QCOMPARE(got.size(), rest.size());
        QVERIFY(got == rest);
        if (peerWrites)
            QVERIFY(chattered > 0);

        // The end came after the last byte; the descriptor closes once the
        // peer has ended its side too.
        QCOMPARE(reactor.lingeringCount(), 1);
        peer.reset();
        QTRY_COMPARE(reactor.lingeringCount(), 0);
        QCOMPARE(reactor.watchedCount(), 0);
    }

    void lingerEndsAtItsDeadlineWhenThePeerNeverReads()
    {
        auto [server, peer] = narrowPair();
        SocketReactor reactor;
        const QByteArray rest = pattern(MoreThanKernelBuffers);
        reactor.linger(server.release(), rest, 50);
        QTRY_COMPARE(reactor.lingeringCount(), 0);
        QCOMPARE(reactor.watchedCount(), 0);

        // Closed: what the kernel had taken arrives, then the end; not all.
        QByteArray got;
        QTRY_VERIFY(readAvailable(peer.get(), got));
        QVERIFY(got.size() < rest.size());
        QVERIFY(got == rest.left(got.size()));
    }

    void lingerEndsAtOnceWhenThePeerResets()
    {
        auto [server, peer] = narrowPair();
        SocketReactor reactor;
        reactor.linger(server.release(), pattern(MoreThanKernelBuffers), FarDeadlineMs);
        QCOMPARE(reactor.lingeringCount(), 1);
        resetOnClose(peer.get());
        peer.reset();
        QTRY_COMPARE(reactor.lingeringCount(), 0);
        QCOMPARE(reactor.watchedCount(), 0);
    }

    void lingerOfADescriptorEpollRefusesClosesIt()
    {
        SocketReactor reactor;
        RawFd device(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        const int fd = device.release();
        reactor.linger(fd, QByteArrayLiteral("rest"), FarDeadlineMs);
        QVERIFY(!isOpen(fd));
        QTRY_COMPARE(reactor.lingeringCount(), 0);
        QCOMPARE(reactor.watchedCount(), 0);
    }

    void destroyedReactorClosesItsLingerers()
    {
        auto [server, peer] = narrowPair();
        const int fd = server.get();
        const int before = openDescriptors();
        auto reactor = std::make_unique<SocketReactor>();
        reactor->linger(server.release(), pattern(MoreThanKernelBuffers), FarDeadlineMs);
        QVERIFY(isOpen(fd));
        reactor.reset();
        QCOMPARE(openDescriptors(), before - 1);
        QByteArray got;
        QTRY_VERIFY(readAvailable(peer.get(), got));
    }
};

QTEST_GUILESS_MAIN(TestSocketReactor)
#include "tst_socketreactor.moc"
