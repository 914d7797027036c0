// A whole lab connecting at once, against the operator window on the fixed
// ports: every connection of a burst is accepted at once (none waits for a
// SYN retry, none is left in a full queue), every nickname reaches the roster
// and the count label, and a chat line fanned out meanwhile reaches everyone
// who was in. The clients run on a thread of their own, as another machine's
// would, so the server's event loop is busy while they connect.
#include "net/descriptorlimit.h"
#include "reliability/harness.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace Reliability;

namespace {

constexpr int ChatLines = 3;
// What a client waits for after its connects; generous for a sanitizer build.
constexpr int ArrivalTimeoutMs = 60 * 1000;
// A connect whose SYN the kernel dropped completes after its first retry, a
// second later; one answered at once takes microseconds.
constexpr double SynRetrySeconds = 0.9;

// Connections the kernel turned away or answered without queueing them for
// accept, counted since the network namespace began (ListenOverflows and
// ListenDrops in /proc/net/netstat).
qint64 listenQueueLosses()
{
    QFile file(QStringLiteral("/proc/net/netstat"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith("TcpExt:") || !lines[i + 1].startsWith("TcpExt:"))
            continue;
        const QList<QByteArray> names = lines[i].simplified().split(' ');
        const QList<QByteArray> values = lines[i + 1].simplified().split(' ');
        qint64 sum = 0;
        for (qsizetype k = 0; k < names.size() && k < values.size(); ++k) {
            if (names[k] == "ListenOverflows" || names[k] == "ListenDrops")
                sum += values[k].toLongLong();
        }
        return sum;
    }
    return -1;
}

double secondsNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Finds a text in a stream as it comes, keeping only what could start it.
class StreamFind
{
public:
    explicit StreamFind(std::string pattern = {}) : m_pattern(std::move(pattern)) {}
    // True the first time the pattern is complete.
    bool feed(const std::string &bytes)
    {
        if (m_found || m_pattern.empty())
            return false;
        m_tail += bytes;
        if (m_tail.find(m_pattern) != std::string::npos) {
            m_found = true;
            m_tail.clear();
            return true;
        }
        if (m_tail.size() >= m_pattern.size())
            m_tail.erase(0, m_tail.size() - m_pattern.size() + 1);
        return false;
    }
    // A finder with nothing to look for counts as having found it.
    bool found() const { return m_found || m_pattern.empty(); }

private:
    std::string m_pattern;
    std::string m_tail;
    bool m_found = false;
};

std::string chatLine(int line)
{
    return "[burst line " + std::to_string(line) + "]";
}

// The lab: clients on all four channels, driven by one thread with raw
// non-blocking sockets. A burst starts every connect of its clients at once;
// each roster and join connection sends the nickname the moment it is up.
class Lab
{
public:
    struct Link
    {
        int fd = -1;
        int client = 0;
        Channel channel = Message;
        bool connecting = true;
        double startedAt = 0;
        StreamFind own; // roster: the nickname; join: its announcement
        std::vector<StreamFind> lines;
    };

    explicit Lab(int clients) : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_batchOf(size_t(clients), -1)
    {
        m_links.reserve(size_t(clients) * 4);
    }
    ~Lab()
    {
        stop();
        for (const Link &link : m_links)
            ::close(link.fd);
        ::close(m_epoll);
    }
    Lab(const Lab &) = delete;
    Lab &operator=(const Lab &) = delete;

    static std::string nickname(int client)
    {
        char nick[8];
        std::snprintf(nick, sizeof nick, "L%04d", client);
        return nick;
    }

    // Runs on the lab's thread: before each batch after the first, client 0
    // sends a chat line, and the batch connects while it is fanned out.
    void start(QList<int> batchSizes)
    {
        m_thread = std::thread([this, batchSizes] {
            int first = 0;
            for (qsizetype batch = 0; batch < batchSizes.size() && !m_stop; ++batch) {
                if (batch > 0) {
                    const int line = int(batch);
                    if (!waitFor([&] { return arrivedCount() >= first; }))
                        return;
                    m_lineSentTo += first;
                    const std::string text = chatLine(line);
                    std::ignore = ::send(m_links[0].fd, text.data(), text.size(), MSG_NOSIGNAL);
                }
                burst(first, batchSizes[batch], int(batch));
                first += batchSizes[batch];
            }
            waitFor([] { return false; });
        });
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    int arrivedCount() const { return std::min(m_rosterSeen.load(), m_joinSeen.load()); }
    int connected() const { return m_connected; }
    int connectFailures() const { return m_connectFailures; }
    double slowestConnect() const { return m_slowestConnect; }
    // Deliveries of chat lines to clients in before the line was sent, and
    // how many there should be.
    int linesSeen() const { return m_linesSeen; }
    int linesOwed() const { return m_lineSentTo; }

private:
    void burst(int first, int count, int batch)
    {
        for (int c = first; c < first + count; ++c) {
            m_batchOf[size_t(c)] = batch;
            for (int channel = Message; channel <= Leave; ++channel)
                open(c, Channel(channel));
        }
    }

    void open(int client, Channel channel)
    {
        Link link;
        link.client = client;
        link.channel = channel;
        link.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const std::string nick = nickname(client);
        if (channel == Roster)
            link.own = StreamFind(nick);
        else if (channel == Join)
            link.own = StreamFind(nick + " sohbete katıldı.");
        else if (channel == Message)
            for (int line = 1; line <= ChatLines; ++line)
                link.lines.emplace_back(chatLine(line));
        // Each client from an address of its own, as each machine of a lab
        // has: one address may not hold a thousand connections on a port.
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl((127u << 24) | (1u << 16) | (uint32_t(client / 250) << 8)
                                     | uint32_t(client % 250 + 1));
        if (::bind(link.fd, reinterpret_cast<const sockaddr *>(&from), sizeof from) != 0)
            ++m_connectFailures;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(ChannelPort::All[size_t(channel)]);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        link.startedAt = secondsNow();
        const int rc = ::connect(link.fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        if (rc != 0 && errno != EINPROGRESS)
            ++m_connectFailures;
        const int index = int(m_links.size());
        m_links.push_back(std::move(link));
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT;
        event.data.u32 = uint32_t(index);
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_links.back().fd, &event);
        // Over loopback a queued connect is complete by now; its time is
        // taken here, not after the rest of the burst has been started.
        pollfd done{m_links.back().fd, POLLOUT, 0};
        if (::poll(&done, 1, 0) == 1)
            serve(m_links.back(), EPOLLOUT | ((done.revents & (POLLERR | POLLHUP)) ? EPOLLERR : 0u));
    }

    // Serves every connection until done() or the bound; false if it ran out.
    template<typename Done>
    bool waitFor(Done done)
    {
        const double until = secondsNow() + ArrivalTimeoutMs / 1000.0;
        epoll_event events[256];
        while (!m_stop && secondsNow() < until) {
            if (done())
                return true;
            const int n = ::epoll_wait(m_epoll, events, 256, 10);
            for (int i = 0; i < n; ++i)
                serve(m_links[events[i].data.u32], events[i].events);
        }
        return false;
    }

    void serve(Link &link, uint32_t events)
    {
        if (link.connecting && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
            link.connecting = false;
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(link.fd, SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0) {
                ++m_connectFailures;
                ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, link.fd, nullptr);
                return;
            }
            const double took = secondsNow() - link.startedAt;
            if (took > m_slowestConnect)
                m_slowestConnect = took;
            ++m_connected;
            if (link.channel == Roster || link.channel == Join) {
                const std::string nick = nickname(link.client);
                std::ignore = ::send(link.fd, nick.data(), nick.size(), MSG_NOSIGNAL);
            }
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u32 = uint32_t(&link - m_links.data());
            ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, link.fd, &event);
        }
        if (!(events & EPOLLIN))
            return;
        char buffer[64 * 1024];
        const ssize_t got = ::recv(link.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got <= 0) {
            if (got == 0)
                ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, link.fd, nullptr);
            return;
        }
        // Once a link has seen all it looks for, what comes is only drained.
        if (link.own.found() && std::all_of(link.lines.begin(), link.lines.end(),
                                            [](const StreamFind &line) { return line.found(); }))
            return;
        const std::string bytes(buffer, size_t(got));
        if (link.own.feed(bytes))
            ++(link.channel == Roster ? m_rosterSeen : m_joinSeen);
        for (size_t line = 0; line < link.lines.size(); ++line) {
            // Line n is owed to the clients of the batches before batch n.
            if (link.lines[line].feed(bytes) && m_batchOf[size_t(link.client)] <= int(line))
                ++m_linesSeen;
        }
    }

    int m_epoll;
    std::vector<int> m_batchOf;
    std::vector<Link> m_links;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connected{0};
    std::atomic<int> m_connectFailures{0};
    std::atomic<int> m_rosterSeen{0};
    std::atomic<int> m_joinSeen{0};
    std::atomic<int> m_linesSeen{0};
    std::atomic<int> m_lineSentTo{0};
    std::atomic<double> m_slowestConnect{0};
};

int acceptedOnAllChannels(Form1 &window)
{
    return std::min({int(window.Winsock().highestIndex()), int(window.Winusers().highestIndex()),
                     int(window.Winjoin().highestIndex()), int(window.Winleft().highestIndex())});
}

} // namespace

class TestBurstE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The lab's sockets and the server's are both in this process.
        constexpr long Needed = 2 * 4 * 1000 + 256;
        if (raiseOpenFileLimit() < Needed)
            QSKIP("the open-file hard limit is below the 8 256 descriptors this test needs");
    }

    void wholeLabAtOnce_data()
    {
        QTest::addColumn<QList<int>>("batches");
        QTest::newRow("1000 in one burst") << QList<int>{1000};
        QTest::newRow("4 x 250 while a line fans out") << QList<int>{250, 250, 250, 250};
    }

    void wholeLabAtOnce()
    {
        QFETCH(QList<int>, batches);
        int clients = 0;
        for (int size : batches)
            clients += size;

        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        const qint64 lossesBefore = listenQueueLosses();
        Lab lab(clients);
        lab.start(batches);

        // Accepting keeps up with the burst. A sanitizer build runs several
        // times slower, and is given that much longer.
        QTRY_VERIFY_WITH_TIMEOUT(acceptedOnAllChannels(server.window) >= batches.front(),
                                 Sanitized ? 6000 : 2000);
        QTRY_COMPARE_WITH_TIMEOUT(lab.arrivedCount(), clients, ArrivalTimeoutMs);
        QCOMPARE(acceptedOnAllChannels(server.window), clients);
        QCOMPARE(lab.connected(), 4 * clients);
        QCOMPARE(lab.connectFailures(), 0);
        QVERIFY2(lab.slowestConnect() < SynRetrySeconds,
                 qPrintable(QStringLiteral("slowest connect %1 s").arg(lab.slowestConnect())));
        if (lossesBefore >= 0)
            QCOMPARE(listenQueueLosses(), lossesBefore);

        // The operator's nickname and every client's, shown in the count.
        QCOMPARE(server.window.List1()->model()->rowCount(), clients + 1);
        QTRY_COMPARE_WITH_TIMEOUT(server.window.Label4()->text(),
                                  QStringLiteral("%1 Kullanıcı bağlı").arg(clients + 1), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(lab.linesSeen(), lab.linesOwed(), ArrivalTimeoutMs);
        lab.stop();
        qInfo("slowest connect %.1f ms, %d chat deliveries owed and made", lab.slowestConnect() * 1000,
              lab.linesOwed());
    }
};

QTEST_MAIN(TestBurstE2e)
#include "tst_burst_e2e.moc"
