#include "chatwindow.h"
#include "desktop/appicon.h"
#include "desktop/translations.h"

#include <QApplication>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY")
        && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
        std::fputs("sohbet: ekran bulunamadı (DISPLAY yok); pencere açılamıyor.\n", stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sohbet"));
    QApplication::setOrganizationName(QStringLiteral("sohbet"));
    // Ties the window to its launcher entry (icon, name) on Wayland desktops.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.sohbet.istemci"));
    UiTranslations::install();

    QApplication::setWindowIcon(AppIcon::icon(QStringLiteral(":/client")));

    // ~/.config/sohbet/sohbet.conf: the last nickname and address.
    QSettings settings;
    ChatWindow window(settings);
    window.show();
    return app.exec();
}
