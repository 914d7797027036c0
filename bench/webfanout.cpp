// Fan-out through the web gateway beside plain TCP, in the same run. One
// program in three roles, each its own process so that neither group's
// measuring waits behind the other's:
//   --role web   N browser users (QWebSocket pages that join through
//                sohbet-web); also reads the gateway's resident memory
//                (--gateway-pid) before they join and after the lines.
//   --role tcp   N direct clients on the message channel.
//   --role send  one direct client that sends a first line, then ROUNDS
//                lines, one a second, each carrying its send time on the
//                system's monotonic clock.
// A receiving role prints "ready" once all its clients are in and the lists
// have settled, and at the end its p50 and p99 of the time from send to
// arrival. Loopback only; every wait is bounded. Run by bench/web.sh.
#include "wire/channelports.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int JoinDeadlineMs = 300 * 1000;
constexpr qint64 QuietMs = 2000;
constexpr int LineEveryMs = 1000;
constexpr int WarmUpMs = 5000;
constexpr int PingEveryMs = 20 * 1000;
constexpr int LastLineDeadlineMs = 30 * 1000;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 residentKiB(int pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// Lines look like "<olcer> 123456789|": the send time ends at the bar. Each
// one found adds its latency in milliseconds.
void latenciesIn(const QString &text, std::vector<double> &into)
{
    const qint64 now = nowNs();
    for (qsizetype at = 0; (at = text.indexOf(QLatin1String("<olcer> "), at)) >= 0;) {
        at += 8;
        const qsizetype bar = text.indexOf(u'|', at);
        if (bar < 0)
            break;
        bool timed = false;
        const qint64 sentAt = QStringView(text).mid(at, bar - at).toLongLong(&timed);
        if (timed)
            into.push_back(double(now - sentAt) / 1e6);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&](const QString &name, const QString &fallback) {
        const qsizetype at = args.indexOf(name);
        return at >= 0 ? args.value(at + 1) : fallback;
    };
    const QString role = option(QStringLiteral("--role"), QString());
    const int users = option(QStringLiteral("--users"), QStringLiteral("500")).toInt();
    const int rounds = option(QStringLiteral("--rounds"), QStringLiteral("50")).toInt();
    const int gatewayPort = option(QStringLiteral("--gateway-port"), QStringLiteral("8080")).toInt();
    const int gatewayPid = option(QStringLiteral("--gateway-pid"), QStringLiteral("0")).toInt();

    QElapsedTimer clock;
    clock.start();
    if (role == QLatin1String("send")) {
        QTcpSocket sender;
        QObject::connect(&sender, &QTcpSocket::readyRead, &sender, [&sender] { sender.readAll(); });
        sender.connectToHost(QHostAddress::LocalHost, ChannelPort::Message);
        if (!sender.waitForConnected(5000))
            return 1;
        // The first line from a new name changes the people list, which goes
        // to every browser beside it: that happens once per speaker, and is
        // left out of the rounds by a first line of its own.
        sender.write("<olcer> -|");
        QTest::qWait(WarmUpMs);
        for (int round = 0; round < rounds; ++round) {
            sender.write(QStringLiteral("<olcer> %1|").arg(nowNs()).toUtf8());
            QTest::qWait(LineEveryMs);
        }
        return 0;
    }

    std::vector<double> latencies;
    qint64 lastHeard = 0;
    int ready = 0;
    std::vector<std::unique_ptr<QObject>> clients;
    const qint64 before = gatewayPid > 0 ? residentKiB(gatewayPid) : -1;
    if (role == QLatin1String("web")) {
        for (int i = 0; i < users; ++i) {
            auto *socket = new QWebSocket;
            clients.emplace_back(socket);
            QObject::connect(socket, &QWebSocket::connected, socket, [socket, i] {
                socket->sendTextMessage(QStringLiteral(R"({"t":"join","nick":"t%1","id":"olcum-%1"})").arg(i));
            });
            QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [&](const QString &text) {
                lastHeard = clock.elapsed();
                const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
                const QString kind = message.value(QLatin1String("t")).toString();
                if (kind == QLatin1String("chat"))
                    latenciesIn(message.value(QLatin1String("text")).toString(), latencies);
                else if (kind == QLatin1String("state")
                         && message.value(QLatin1String("state")).toString() == QLatin1String("joined"))
                    ++ready;
            });
            socket->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(gatewayPort)));
            // A few joins in flight at a time, as a class arrives.
            if (i % 20 == 19 && !QTest::qWaitFor([&] { return ready > i; }, JoinDeadlineMs))
                break;
        }
    } else if (role == QLatin1String("tcp")) {
        for (int i = 0; i < users; ++i) {
            auto *socket = new QTcpSocket;
            clients.emplace_back(socket);
            auto *tail = new QString;
            QObject::connect(socket, &QObject::destroyed, [tail] { delete tail; });
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket, tail] {
                *tail += QString::fromUtf8(socket->readAll());
                latenciesIn(*tail, latencies);
                const qsizetype bar = tail->lastIndexOf(u'|');
                tail->remove(0, bar + 1);
            });
            QObject::connect(socket, &QTcpSocket::connected, socket, [&] { ++ready; });
            socket->connectToHost(QHostAddress::LocalHost, ChannelPort::Message);
        }
    } else {
        std::fprintf(stderr, "usage: bench_webfanout --role web|tcp|send [--users N] [--rounds N] "
                             "[--gateway-port P] [--gateway-pid PID]\n");
        return 2;
    }
    // Pages ping as the real page does, or the gateway takes them for gone.
    QTimer ping;
    if (role == QLatin1String("web")) {
        QObject::connect(&ping, &QTimer::timeout, &ping, [&] {
            for (const auto &client : clients)
                static_cast<QWebSocket *>(client.get())->sendTextMessage(QStringLiteral(R"({"t":"ping"})"));
        });
        ping.start(PingEveryMs);
    }
    if (!QTest::qWaitFor([&] { return ready >= users; }, JoinDeadlineMs)) {
        std::fprintf(stderr, "%s: only %d of %d in\n", qPrintable(role), ready, users);
        return 1;
    }
    // The roster and the people lists settle: nothing heard for a while.
    std::ignore = QTest::qWaitFor([&] { return clock.elapsed() - lastHeard > QuietMs; }, JoinDeadlineMs);
    const qint64 joined = gatewayPid > 0 ? residentKiB(gatewayPid) : -1;
    std::printf("ready\n");
    std::fflush(stdout);

    const size_t expected = size_t(users) * size_t(rounds);
    const bool all = QTest::qWaitFor([&] { return latencies.size() >= expected; },
                                     rounds * LineEveryMs + LastLineDeadlineMs + 60 * 1000);
    std::printf("%s: %d clients, %zu of %zu arrivals: p50 %.2f ms, p99 %.2f ms\n", qPrintable(role), users,
                latencies.size(), expected, percentile(latencies, 0.5), percentile(latencies, 0.99));
    if (before > 0) {
        const qint64 after = residentKiB(gatewayPid);
        std::printf("gateway RSS: %lld KiB before, %lld KiB with the pages in (%.1f KiB a user), "
                    "%lld KiB after the lines (%.1f KiB a user)\n",
                    before, joined, double(joined - before) / users, after, double(after - before) / users);
    }
    return all ? 0 : 1;
}
