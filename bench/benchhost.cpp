// The real server, headless, for bench/run.sh: the operator window with its
// default services (only the message boxes go to stderr), started the way the
// operator starts it, by pressing Start. Run it with QT_QPA_PLATFORM=offscreen.
// It ends by itself after the given number of seconds (default 1800), so a
// benchmark that dies never leaves it listening on the chat ports. With
// --no-ring it writes with one system call per send, as where the kernel
// offers no io_uring, to measure what the ring saves. Like the IRC servers'
// configurations, it lifts the per-address connection limits: the load
// tool's thousand clients all come from 127.0.0.1.
#include "net/descriptorlimit.h"
#include "net/eventdispatcher.h"
#include "net/sendring.h"
#include "net/tcpendpoint.h"
#include "stderrdialogs.h"
#include "ui/form1.h"

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
    if (!args.isEmpty()) {
        bool ok = false;
        lifetime = args.first().toInt(&ok);
        if (!ok || lifetime <= 0 || lifetime > MaxLifetimeSeconds || args.size() > 1) {
            std::fprintf(stderr, "usage: benchhost [lifetime-seconds] [--no-ring]\n");
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
    return app.exec();
}
