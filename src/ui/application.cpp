#include "application.h"

#include "ui/fonts.h"
#include "ui/form1.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

namespace {
bool displayAvailable()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}
} // namespace

int runOperatorWindow(int argc, char *argv[])
{
    if (!displayAvailable()) {
        std::fputs("sohbet-sunucu: ekran bulunamadı (DISPLAY yok); pencere açılamıyor.\n", stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sohbet-sunucu"));
    // No application display name: on X11 and Wayland Qt appends it to every
    // window title ("Yazışma - Ana Modül — Yazışma", "Hata — Yazışma"), and
    // the titles must read exactly as designed.
    // Ties the window to its launcher entry (icon, name) on Wayland desktops.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.sohbet.sunucu"));

    UiFonts::load();

    Form1 window;
    QApplication::setWindowIcon(window.windowIcon());
    window.show();
    if (QScreen *screen = window.screen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
    return app.exec();
}
