#include "appicon.h"

namespace AppIcon {

QIcon icon()
{
    QIcon icon;
    // The scalable image only loads where Qt's SVG plug-in is installed; the
    // three bitmaps cover the sizes a window manager asks for.
    icon.addFile(QStringLiteral(":/icons/sohbet.svg"));
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/sohbet-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace AppIcon
