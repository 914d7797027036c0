#include "application.h"

#include "ui/displayprobe.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "desktop/translations.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <memory>

int runOperatorWindow(int argc, char *argv[])
{
    auto probe = std::make_unique<DisplayProbe>();
    if (const QString problem = probe->problem(); !problem.isEmpty()) {
        std::fprintf(stderr, "sohbet-sunucu: %s\n", problem.toUtf8().constData());
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    probe.reset(); // see DisplayProbe
    QApplication::setApplicationName(QStringLiteral("sohbet-sunucu"));
    // No application display name: on X11 and Wayland Qt appends it to every
    // window title ("Yazışma - Ana Modül — Yazışma", "Hata — Yazışma"), and
    // the titles must read exactly as designed.
    // Ties the window to its launcher entry (icon, name) on Wayland desktops.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.sohbet.sunucu"));

    UiTranslations::install();
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
