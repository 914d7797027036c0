// Clients that abuse the roster, against the operator window on the fixed
// ports: a nickname sent one byte at a time (every read becomes an entry, and
// every entry is sent to every roster client again) keeps the window
// answering and costs no more memory than its entries; a "nickname" of a
// mebibyte adds a bounded roster entry and announcement per read, while the
// chat channel still relays every byte.
#include "net/tcpendpoint.h"
#include "relay/nicknamebound.h"
#include "reliability/harness.h"
#include "roster/rostermodel.h"

#include <QElapsedTimer>
#include <QListView>
#include <QTest>
#include <QTimer>

#include <netinet/tcp.h>
#include <poll.h>

#include <atomic>
#include <thread>
#include <tuple>

using namespace Reliability;

namespace {

constexpr int NicknameBytes = 10'000;
constexpr int RosterListeners = 5;
// How long the abuser waits for the server's answer before its next byte: a
// client that reads what it is sent, and a bound on the whole run.
constexpr int AnswerWaitMs = 1;
// What a frozen window would show: no tick of a 10 ms timer for this long
// (the machine is shared; a window that froze showed seconds).
constexpr int TickMs = 10;
constexpr qint64 MomentMs = Sanitized ? 1500 : 500;
constexpr int DoneTimeoutMs = 120 * 1000;
constexpr qint64 BigBytes = 1024 * 1024;
const QByteArray JoinedSuffix = QStringLiteral(" sohbete katıldı.").toUtf8();

// A plain blocking connection to a fixed port, sending each byte as a
// segment of its own.
int connectTo(Channel channel)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(ChannelPort::All[size_t(channel)]);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void drain(int fd)
{
    char buffer[64 * 1024];
    while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

// A client on the roster and join channels that sends its nickname one byte
// at a time, each as a segment of its own, waiting briefly for the server's
// answer in between, as a client that reads what it is sent. On its own
// thread, so the server's event loop runs meanwhile; what comes back on the
// join channel tells which reads the server made of the bytes.
class ByteByByte
{
public:
    ByteByByte() : m_roster(connectTo(Roster)), m_join(connectTo(Join)) {}
    ~ByteByByte()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_roster);
        ::close(m_join);
    }
    ByteByByte(const ByteByByte &) = delete;
    ByteByByte &operator=(const ByteByByte &) = delete;

    bool connected() const { return m_roster >= 0 && m_join >= 0; }
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    bool done() const { return m_done; }
    // After done(): the announcements carried every byte once, in order.
    bool allAnnounced() const { return m_announced == sent(); }
    int reads() const { return m_reads; }

private:
    static char byteAt(int i) { return char('a' + i % 26); }
    static std::string sent()
    {
        std::string bytes;
        for (int i = 0; i < NicknameBytes; ++i)
            bytes += byteAt(i);
        return bytes;
    }

    void run()
    {
        for (int i = 0; i < NicknameBytes && !m_stop; ++i) {
            const char byte = byteAt(i);
            std::ignore = ::send(m_roster, &byte, 1, MSG_NOSIGNAL);
            std::ignore = ::send(m_join, &byte, 1, MSG_NOSIGNAL);
            pollfd answer{m_roster, POLLIN, 0};
            ::poll(&answer, 1, AnswerWaitMs);
            drain(m_roster);
            collect();
        }
        QElapsedTimer waiting;
        waiting.start();
        while (!m_stop && m_announced.size() < size_t(NicknameBytes)
               && waiting.elapsed() < DoneTimeoutMs) {
            pollfd more[2] = {{m_roster, POLLIN, 0}, {m_join, POLLIN, 0}};
            ::poll(more, 2, 50);
            drain(m_roster);
            collect();
        }
        m_done = true;
    }

    // Takes the announcements apart: each is one read followed by the suffix.
    void collect()
    {
        char buffer[64 * 1024];
        ssize_t got;
        while ((got = ::recv(m_join, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            m_joinBytes.append(buffer, size_t(got));
        const std::string suffix = JoinedSuffix.toStdString();
        size_t at;
        while ((at = m_joinBytes.find(suffix)) != std::string::npos) {
            m_announced += m_joinBytes.substr(0, at);
            m_joinBytes.erase(0, at + suffix.size());
            ++m_reads;
        }
    }

    int m_roster;
    int m_join;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::atomic<int> m_reads{0};
    std::string m_joinBytes;
    std::string m_announced;
};

// The longest time between two ticks of a short timer: how long the window
// could not answer anything.
class FreezeMeter
{
public:
    FreezeMeter()
    {
        m_timer.setInterval(TickMs);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            m_worst = std::max(m_worst, m_since.restart());
        });
        m_since.start();
        m_timer.start();
    }
    qint64 worstGapMs() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_worst = 0;
};

} // namespace

class TestRosterAbuseE2e : public QObject
{
    Q_OBJECT

private slots:
    void nicknameByteByByte()
    {
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        std::vector<std::unique_ptr<ChannelClient>> listeners;
        for (int i = 0; i < RosterListeners; ++i) {
            listeners.push_back(std::make_unique<ChannelClient>(Roster));
            listeners.back()->onBytes = [](const QByteArray &) {};
            listeners.back()->open();
        }
        ByteByByte abuser;
        QVERIFY(abuser.connected());
        QTRY_COMPARE(server.window.Winusers().connectedCount(), RosterListeners + 1);
        QTRY_COMPARE(server.window.Winjoin().connectedCount(), 1);
        const qint64 heldBefore = heldKiB();

        FreezeMeter freeze;
        abuser.start();
        // Every byte is announced on the join channel, each read on its own.
        QTRY_VERIFY_WITH_TIMEOUT(abuser.done(), DoneTimeoutMs);
        const qint64 worstGap = freeze.worstGapMs();
        const qint64 grownKiB = heldKiB() - heldBefore;
        QVERIFY2(abuser.allAnnounced(), "the join announcements lost or doubled a byte");
        const int reads = abuser.reads();
        qInfo("%d bytes came as %d reads, each a roster entry (%d left after duplicates went); "
              "the window's longest pause %lld ms; memory grew by %lld KiB (%.0f bytes per read)",
              NicknameBytes, reads, server.window.List1()->model()->rowCount() - 1, qlonglong(worstGap),
              qlonglong(grownKiB), reads > 0 ? double(grownKiB) * 1024 / reads : 0.0);
        QVERIFY2(worstGap < MomentMs, qPrintable(QStringLiteral("paused %1 ms").arg(worstGap)));
        // A read costs its roster entry and its join line in the transcript;
        // output piling up for the roster clients would cost far more.
        if (!Sanitized)
            QVERIFY2(grownKiB < 256 + reads * 2, qPrintable(QStringLiteral("%1 KiB").arg(grownKiB)));
    }

    void nicknameFarBeyondAnyReal()
    {
        RunningServer server;
        QVERIFY2(server.running(), qPrintable(server.dialogs.failures.join(u'\n')));
        // Listeners on the roster, join and message channels, then the
        // abuser on the same three.
        std::vector<std::unique_ptr<ChannelClient>> clients;
        for (const Channel channel : {Roster, Join, Message, Roster, Join, Message}) {
            clients.push_back(std::make_unique<ChannelClient>(channel));
            clients.back()->onBytes = [](const QByteArray &) {};
            clients.back()->open();
        }
        ChannelClient &rosterListener = *clients[0];
        ChannelClient &joinListener = *clients[1];
        joinListener.onBytes = nullptr; // kept in got, to be taken apart
        ChannelClient &chatListener = *clients[2];
        QTRY_COMPARE(server.window.Winusers().connectedCount(), 2);
        QTRY_COMPARE(server.window.Winjoin().connectedCount(), 2);
        QTRY_COMPARE(server.window.Winsock().connectedCount(), 2);

        const QByteArray big(BigBytes, 'n');
        for (int i = 3; i < 6; ++i)
            clients[size_t(i)]->send(big);
        // The chat channel relays every byte.
        QTRY_COMPARE_WITH_TIMEOUT(chatListener.received, BigBytes, DoneTimeoutMs);
        // The abuser ends its roster connection once all is sent (a half
        // close: a full one with the roster unread would reset it, and the
        // server's kernel would drop what it had not read yet). Once the
        // server has read that end, a last nickname follows every entry the
        // abuser's reads made.
        ChannelClient &rosterAbuser = *clients[3];
        QTRY_COMPARE_WITH_TIMEOUT(rosterAbuser.socket.bytesToWrite(), 0, DoneTimeoutMs);
        ::shutdown(int(rosterAbuser.socket.socketDescriptor()), SHUT_WR);
        QTRY_COMPARE_WITH_TIMEOUT(server.window.Winusers().connectedCount(), 1, DoneTimeoutMs);
        ChannelClient last(Roster);
        last.onBytes = [](const QByteArray &) {};
        last.open();
        QTRY_VERIFY(last.connected());
        last.send("SON");
        const auto &roster = *qobject_cast<RosterModel *>(server.window.List1()->model());
        QTRY_COMPARE_WITH_TIMEOUT(roster.entry(roster.count() - 1), QByteArray("SON"),
                                  DoneTimeoutMs);

        const int reads = roster.count() - 2;
        qint64 rosterBytes = 0;
        for (int row = 1; row <= reads; ++row) {
            const qsizetype size = roster.entry(row).size();
            QVERIFY2(size <= NicknameBound::MaxBytes, qPrintable(QString::number(size)));
            rosterBytes += size;
        }
        QVERIFY(reads >= BigBytes / EndpointLimits::MaxReadBuffer);
        qInfo("1 MiB nickname: %d reads, roster %lld bytes; a roster client received %lld bytes, "
              "a join client %lld",
              reads, qlonglong(rosterBytes), qlonglong(rosterListener.received),
              qlonglong(joinListener.received));
        // Each roster sent is at most the whole bounded roster, and each
        // announcement a bounded nickname.
        QVERIFY(rosterListener.received <= qint64(reads + 1) * (rosterBytes + 16));
        // Every announcement is one bounded read and the suffix.
        const QByteArrayList announced = joinListener.got.split('.');
        QVERIFY(announced.size() > BigBytes / EndpointLimits::MaxReadBuffer);
        for (const QByteArray &one : announced.first(announced.size() - 1)) {
            QVERIFY(one.endsWith(JoinedSuffix.chopped(1)));
            QVERIFY2(one.size() - (JoinedSuffix.size() - 1) <= NicknameBound::MaxBytes,
                     qPrintable(QString::number(one.size())));
        }
    }
};

QTEST_MAIN(TestRosterAbuseE2e)
#include "tst_rosterabuse_e2e.moc"
