// The real server, headless, for bench/run.sh: the operator window with its
// default services (only the message boxes go to stderr), started the way the
// operator starts it, by pressing Start. Run it with QT_QPA_PLATFORM=offscreen.
// It ends by itself after the given number of seconds (default 1800), so a
// benchmark that dies never leaves it listening on the chat ports. With
// --no-ring it writes with one system call per send, as where the kernel
// offers no io_uring, to measure what the ring saves. Like the IRC servers'
// configurations, it lifts the per-address connection limits: the load
// tool's thousand clients all come from 127.0.0.1. With --read-transcript S
// it reads the transcript's whole text every S seconds as a screen reader
// gets it (Qt's accessible text interface, which the AT-SPI bridge serves
// requests from) and prints how long that took; --transcript-mib N bounds the
// transcript at N MiB instead of its own bound, to compare.
#include "net/descriptorlimit.h"
#include "net/eventdispatcher.h"
#include "net/sendring.h"
#include "net/tcpendpoint.h"
#include "stderrdialogs.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace {
constexpr int DefaultLifetimeSeconds = 1800;
constexpr int MaxLifetimeSeconds = 24 * 3600;
} // namespace

int main(int argc, char *argv[])
{
    // The same start as the program's own main().
    raiseOpenFileLimit();
    preferUnixEventDispatcher();
    QApplication app(argc, argv);
    int lifetime = DefaultLifetimeSeconds;
    QStringList args = app.arguments().mid(1);
    if (args.removeAll(QStringLiteral("--no-ring")) > 0)
        SendRing::refuseForTesting(true);
    // The value after an option, taken out of the arguments with it; 0 when
    // the option is absent, -1 when its value is not a positive number.
    const auto takeNumber = [&args](const QString &option) -> qint64 {
        const qsizetype at = args.indexOf(option);
        if (at < 0)
            return 0;
        bool ok = false;
        const qint64 value = args.value(at + 1).toLongLong(&ok);
        args.remove(at, std::min<qsizetype>(2, args.size() - at));
        return ok && value > 0 ? value : -1;
    };
    const qint64 readEverySeconds = takeNumber(QStringLiteral("--read-transcript"));
    const qint64 transcriptMiB = takeNumber(QStringLiteral("--transcript-mib"));
    if (readEverySeconds < 0 || transcriptMiB < 0) {
        std::fprintf(stderr, "--read-transcript and --transcript-mib take a positive number\n");
        return 2;
    }
    if (!args.isEmpty()) {
        bool ok = false;
        lifetime = args.first().toInt(&ok);
        if (!ok || lifetime <= 0 || lifetime > MaxLifetimeSeconds || args.size() > 1) {
            std::fprintf(stderr, "usage: benchhost [lifetime-seconds] [--no-ring]"
                                 " [--read-transcript S] [--transcript-mib N]\n");
            return 2;
        }
    }

    StderrDialogs dialogs;
    QObject endpointOwner;
    TcpEndpointFactory endpoints(&endpointOwner, AdmissionLimits{1 << 20, 1 << 20, 1 << 20});
    Form1Services services;
    services.dialogs = &dialogs;
    services.endpoints = &endpoints;
    Form1 window(services);
    if (transcriptMiB > 0)
        window.Text1()->setMaxHeldBytes(transcriptMiB << 20);
    window.show();
    QTimer::singleShot(0, &window, [&window] { window.Cmdconnct()->click(); });
    QTimer::singleShot(std::chrono::seconds(lifetime), &app, &QCoreApplication::quit);

    // How late the tidy tick comes, the operator's measure of a responsive
    // window under load: printed at every new worst, and on SIGTERM's quit.
    QElapsedTimer sinceTick;
    qint64 worstLateMs = 0;
    QObject::connect(window.Timer1(), &QTimer::timeout, &window, [&] {
        if (sinceTick.isValid()) {
            const qint64 late = sinceTick.elapsed() - window.Timer1()->interval();
            if (late > worstLateMs) {
                worstLateMs = late;
                std::fprintf(stderr, "tidy tick: worst lateness %lld ms\n", qlonglong(late));
            }
        }
        sinceTick.restart();
    });

    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, &window, [&window] {
        QElapsedTimer took;
        took.start();
        QAccessibleTextInterface *text =
                QAccessible::queryAccessibleInterface(window.Text1())->textInterface();
        const qsizetype chars = text->text(0, text->characterCount()).size();
        std::fprintf(stderr, "transcript read: %lld chars in %lld ms\n", qlonglong(chars),
                     qlonglong(took.elapsed()));
    });
    if (readEverySeconds > 0)
        reader.start(std::chrono::seconds(readEverySeconds));
    return app.exec();
}
