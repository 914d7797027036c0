// Fan-out through the web gateway beside plain TCP, in the same run: N
// browser users (QWebSocket pages that join through sohbet-web) and N direct
// clients on the message channel are all connected to one server at once;
// a further direct client sends ROUNDS lines, one at a time, and each line's
// time to reach every page and every direct client is taken. Prints p50 and
// p99 of both groups, and the gateway's resident memory per browser user
// (VmRSS of --gateway-pid before the pages join and after). Loopback only;
// bounded in time. Run by bench/web.sh.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr quint16 MessagePort = 10420;
constexpr int JoinDeadlineMs = 120 * 1000;
constexpr int RoundDeadlineMs = 10 * 1000;
constexpr qint64 QuietMs = 2000;

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&](const QString &name, int fallback) {
        const qsizetype at = args.indexOf(name);
        return at >= 0 ? args.value(at + 1).toInt() : fallback;
    };
    const int users = option(QStringLiteral("--users"), 500);
    const int rounds = option(QStringLiteral("--rounds"), 50);
    const int gatewayPort = option(QStringLiteral("--gateway-port"), 8080);
    const int gatewayPid = option(QStringLiteral("--gateway-pid"), 0);

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> sentAt(size_t(rounds), -1);
    std::vector<double> viaGateway, direct;
    int arrivals = 0;
    const auto arrived = [&](int round, std::vector<double> &into) {
        if (round < 0 || round >= rounds || sentAt[size_t(round)] < 0)
            return;
        into.push_back(double(clock.nsecsElapsed() - sentAt[size_t(round)]) / 1e6);
        ++arrivals;
    };
    // Lines look like "<olcer> 17|": the round's number ends at the bar.
    const auto roundsIn = [](const QString &text) {
        QList<int> found;
        for (qsizetype at = 0; (at = text.indexOf(QLatin1String("<olcer> "), at)) >= 0;) {
            at += 8;
            const qsizetype bar = text.indexOf(u'|', at);
            if (bar < 0)
                break;
            found.append(QStringView(text).mid(at, bar - at).toInt());
        }
        return found;
    };

    const qint64 before = gatewayPid > 0 ? residentKiB(gatewayPid) : -1;
    std::vector<std::unique_ptr<QWebSocket>> pages;
    int joined = 0;
    qint64 lastPageMessage = 0;
    for (int i = 0; i < users; ++i) {
        auto page = std::make_unique<QWebSocket>();
        QWebSocket *socket = page.get();
        QObject::connect(socket, &QWebSocket::connected, socket, [socket, i] {
            socket->sendTextMessage(QStringLiteral(R"({"t":"join","nick":"t%1","id":"olcum-%1"})").arg(i));
        });
        QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [&](const QString &text) {
            lastPageMessage = clock.elapsed();
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            const QString kind = message.value(QLatin1String("t")).toString();
            const QString state = message.value(QLatin1String("state")).toString();
            if (kind == QLatin1String("state") && state == QLatin1String("joined"))
                ++joined;
            else if (kind == QLatin1String("state") && state == QLatin1String("ended"))
                std::fprintf(stderr, "a page's session ended: %s\n", qPrintable(message.value(QLatin1String("reason")).toString()));
            else if (kind == QLatin1String("chat"))
                for (int round : roundsIn(message.value(QLatin1String("text")).toString()))
                    arrived(round, viaGateway);
        });
        QObject::connect(socket, &QWebSocket::disconnected, socket, [socket] {
            std::fprintf(stderr, "a page was closed: %d\n", int(socket->closeCode()));
        });
        socket->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(gatewayPort)));
        pages.push_back(std::move(page));
        // A few joins in flight at a time, as a class arrives.
        if (i % 20 == 19 && !QTest::qWaitFor([&] { return joined >= i + 1; }, JoinDeadlineMs)) {
            std::fprintf(stderr, "only %d of %d pages joined\n", joined, i + 1);
            return 1;
        }
    }
    if (!QTest::qWaitFor([&] { return joined >= users; }, JoinDeadlineMs)) {
        std::fprintf(stderr, "only %d of %d pages joined\n", joined, users);
        return 1;
    }
    // Roster and people lists settle before anything is measured: the pages
    // have heard nothing for a while.
    std::ignore = QTest::qWaitFor([&] { return clock.elapsed() - lastPageMessage > QuietMs; }, JoinDeadlineMs);
    const qint64 after = gatewayPid > 0 ? residentKiB(gatewayPid) : -1;

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<QString> pending;
    pending.resize(size_t(users));
    for (int i = 0; i <= users; ++i) {
        auto client = std::make_unique<QTcpSocket>();
        QTcpSocket *socket = client.get();
        if (i < users) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket, i] {
                QString &text = pending[size_t(i)];
                text += QString::fromUtf8(socket->readAll());
                for (int round : roundsIn(text))
                    arrived(round, direct);
                text = text.right(16);
            });
        } else {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        }
        socket->connectToHost(QHostAddress::LocalHost, MessagePort);
        clients.push_back(std::move(client));
    }
    if (!QTest::qWaitFor([&] {
            return std::all_of(clients.begin(), clients.end(),
                               [](const auto &c) { return c->state() == QAbstractSocket::ConnectedState; });
        }, JoinDeadlineMs)) {
        std::fprintf(stderr, "direct clients did not all connect\n");
        return 1;
    }
    QTest::qWait(500);

    QTcpSocket &sender = *clients.back();
    for (int round = 0; round < rounds; ++round) {
        const int expected = arrivals + 2 * users;
        sentAt[size_t(round)] = clock.nsecsElapsed();
        sender.write(QStringLiteral("<olcer> %1|").arg(round).toUtf8());
        if (!QTest::qWaitFor([&] { return arrivals >= expected; }, RoundDeadlineMs)) {
            std::fprintf(stderr, "round %d: %d of %d arrived (%zu through the gateway so far, %zu direct)\n",
                         round, arrivals - expected + 2 * users, 2 * users, viaGateway.size(), direct.size());
            return 1;
        }
    }

    std::printf("users %d, rounds %d\n", users, rounds);
    std::printf("through the gateway: p50 %.2f ms, p99 %.2f ms\n", percentile(viaGateway, 0.5),
                percentile(viaGateway, 0.99));
    std::printf("direct TCP:          p50 %.2f ms, p99 %.2f ms\n", percentile(direct, 0.5),
                percentile(direct, 0.99));
    std::printf("p99 ratio gateway / direct: %.2f\n",
                percentile(viaGateway, 0.99) / std::max(0.001, percentile(direct, 0.99)));
    // After a quiet while, as the pages' lists settled.
    std::ignore = QTest::qWaitFor([&] { return clock.elapsed() - lastPageMessage > QuietMs; }, JoinDeadlineMs);
    const qint64 chatted = gatewayPid > 0 ? residentKiB(gatewayPid) : -1;
    if (before > 0 && after > 0)
        std::printf("gateway RSS: %lld KiB before the pages, %lld KiB once they joined (%.1f KiB per browser "
                    "user), %lld KiB after the lines (%.1f KiB per browser user)\n",
                    before, after, double(after - before) / users, chatted, double(chatted - before) / users);
    return 0;
}
