// What one connection costs a Qt program, as the web gateway would hold it:
// the resident memory per connection of
//   - a QWebSocket that QWebSocketServer accepted, after one message each way;
//   - a QTcpSocket to a server, after it wrote a nickname and read a line.
// The far ends run in a child process (this program again, --role clients),
// so only the near ends are counted. Loopback only; ends by itself.
//
//   bench_socketcost [--connections N]       (default 500)
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>

namespace {

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Runs events until done() or a minute has passed.
template<typename Done>
bool runUntil(Done done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 60 * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// The far ends: n WebSocket clients of wsPort, each sending one message,
// and n TCP servers' worth of answers on tcpPort.
int clients(int n, quint16 wsPort, quint16 tcpPort)
{
    int open = 0;
    for (int i = 0; i < n; ++i) {
        auto *socket = new QWebSocket;
        QObject::connect(socket, &QWebSocket::connected, socket, [socket, &open] {
            ++open;
            socket->sendTextMessage(QStringLiteral(R"({"t":"ping"})"));
        });
        socket->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(wsPort)));
        // A few in flight, so the listen backlog never overflows.
        runUntil([&] { return open > i - 20; });
    }
    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket *socket = server.nextPendingConnection())
            socket->write("SERVERAyşe sohbete katıldı.");
    });
    server.listen(QHostAddress::LocalHost, tcpPort);
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption count(QStringLiteral("connections"), QStringLiteral("N"), QStringLiteral("N"),
                                   QStringLiteral("500"));
    const QCommandLineOption role(QStringLiteral("role"), QStringLiteral("clients"), QStringLiteral("ROLE"));
    const QCommandLineOption ports(QStringLiteral("ports"), QStringLiteral("WS,TCP"), QStringLiteral("PORTS"));
    parser.addOptions({count, role, ports});
    parser.process(app);
    const int n = parser.value(count).toInt();
    if (parser.value(role) == QLatin1String("clients")) {
        const QStringList both = parser.value(ports).split(u',');
        return clients(n, quint16(both.value(0).toUInt()), quint16(both.value(1).toUInt()));
    }

    QWebSocketServer webSockets(QStringLiteral("bench"), QWebSocketServer::NonSecureMode);
    webSockets.listen(QHostAddress::LocalHost, 0);
    QTcpServer reserved;
    reserved.listen(QHostAddress::LocalHost, 0);
    const quint16 tcpPort = reserved.serverPort();
    reserved.close();

    QList<QWebSocket *> accepted;
    int heard = 0;
    QObject::connect(&webSockets, &QWebSocketServer::newConnection, &webSockets, [&] {
        while (QWebSocket *socket = webSockets.nextPendingConnection()) {
            accepted.append(socket);
            QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [socket, &heard] {
                ++heard;
                socket->sendTextMessage(QStringLiteral(R"({"t":"pong"})"));
            });
        }
    });
    const long before = residentKiB();
    QProcess far;
    far.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    far.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--role"), QStringLiteral("clients"), QStringLiteral("--connections"),
               QString::number(n), QStringLiteral("--ports"),
               QStringLiteral("%1,%2").arg(webSockets.serverPort()).arg(tcpPort)});
    if (!runUntil([&] { return heard == n && far.canReadLine(); })) {
        std::fprintf(stderr, "the far end did not come up\n");
        return 1;
    }
    const long withWebSockets = residentKiB();

    QList<QTcpSocket *> sockets;
    int read = 0;
    for (int i = 0; i < n; ++i) {
        auto *socket = new QTcpSocket;
        sockets.append(socket);
        QObject::connect(socket, &QTcpSocket::connected, socket, [socket] { socket->write("Ayşe"); });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &read] {
            socket->readAll();
            ++read;
        });
        socket->connectToHost(QHostAddress::LocalHost, tcpPort);
        runUntil([&] { return read > i - 20; });
    }
    runUntil([&] { return read == n; });
    const long withTcp = residentKiB();
    std::printf("%d connections: QWebSocket %.1f KiB each, QTcpSocket %.1f KiB each\n", n,
                double(withWebSockets - before) / n, double(withTcp - withWebSockets) / n);
    far.kill();
    far.waitForFinished();
    qDeleteAll(sockets);
    return 0;
}
