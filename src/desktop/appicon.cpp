#include "appicon.h"

namespace AppIcon {

QIcon icon(const QString &folder)
{
    QIcon icon;
    // The scalable image only loads where Qt's SVG plug-in is installed; the
    // three bitmaps cover the sizes a window manager asks for.
    icon.addFile(folder + QStringLiteral("/sohbet.svg"));
    for (int size : {16, 32, 48})
        icon.addFile(folder + QStringLiteral("/sohbet-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace AppIcon
