#include "chatwindow.h"
#include "ui/translations.h"

#include <QApplication>
#include <QIcon>
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

    QIcon icon(QStringLiteral(":/client/icons/sohbet.svg"));
    for (const int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/client/icons/sohbet-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    // ~/.config/sohbet/sohbet.conf: the last nickname and address.
    QSettings settings;
    ChatWindow window(settings);
    window.show();
    return app.exec();
}
