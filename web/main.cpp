// sohbet-web: serves the chat page and bridges each browser to the server's
// four channels. It runs without a window; it prints the addresses to give
// out and a QR code of the first, and stops on SIGTERM or Ctrl+C after every
// browser user has left.
#include "gateway.h"
#include "net/lanaddresses.h"
#include "qrtext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr quint16 DefaultPort = 8080;

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

QString pageAddress(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address.toString() + u']'
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

void printAddresses(quint16 port, const QString &server)
{
    QString text = QStringLiteral("sohbet-web çalışıyor; sohbet sunucusu: %1\n").arg(server);
    const QList<LanAddress> addresses = lanAddresses();
    QStringList pages;
    for (const LanAddress &lan : addresses) {
        if (!lan.linkLocal)
            pages += pageAddress(lan.address, port);
    }
    if (pages.isEmpty()) {
        pages += pageAddress(QHostAddress::LocalHost, port);
        text += QStringLiteral("Ağ bağlantısı yok: yalnızca bu bilgisayardan açılabilir:\n");
    } else {
        text += QStringLiteral("Tarayıcıda açılacak adres%1:\n").arg(pages.size() > 1 ? QStringLiteral("ler") : QString());
    }
    for (const QString &page : pages)
        text += QStringLiteral("  ") + page + u'\n';
    std::fputs(text.toLocal8Bit().constData(), stdout);
    const QString code = QrText::draw(pages.first().toUtf8());
    if (!code.isEmpty()) {
        std::fputs(QStringLiteral("Telefonla okutmak için (%1):\n").arg(pages.first()).toLocal8Bit().constData(), stdout);
        // Dark on light, whatever the terminal's own colours are.
        const bool terminal = ::isatty(STDOUT_FILENO);
        for (const QString &line : code.split(u'\n', Qt::SkipEmptyParts)) {
            const QByteArray bytes = line.toUtf8();
            std::printf(terminal ? "\x1b[30;107m%s\x1b[0m\n" : "%s\n", bytes.constData());
        }
    }
    std::fflush(stdout);
}

// Every browser user costs five descriptors (its WebSocket and four channels):
// the soft limit of 1024 would stop at about two hundred users.
void raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    raiseOpenFileLimit();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sohbet-web"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tarayıcıların sohbete katılması için sayfa ve köprü."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Dinlenecek bağlantı noktası (öntanımlı %1).").arg(DefaultPort),
                                        QStringLiteral("N"), QString::number(DefaultPort));
    const QCommandLineOption serverOption(QStringLiteral("server"), QStringLiteral("Sohbet sunucusunun adresi (öntanımlı 127.0.0.1)."),
                                          QStringLiteral("HOST"), QStringLiteral("127.0.0.1"));
    parser.addOption(portOption);
    parser.addOption(serverOption);
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port == 0 || port > 65535) {
        std::fprintf(stderr, "Geçersiz bağlantı noktası: %s\n", qPrintable(parser.value(portOption)));
        return 2;
    }
    Gateway::Options options;
    options.server = parser.value(serverOption);
    Gateway gateway(options);
    if (!gateway.listen(QHostAddress::Any, quint16(port))) {
        std::fprintf(stderr, "%u numaralı bağlantı noktası dinlenemedi: %s\n", port,
                     gateway.errorString().toLocal8Bit().constData());
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &gateway, [&] {
        signalNotifier.setEnabled(false);
        gateway.stop();
    });
    QObject::connect(&gateway, &Gateway::stopped, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    printAddresses(quint16(port), options.server);
    return app.exec();
}
