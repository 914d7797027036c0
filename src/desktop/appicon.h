#pragma once

#include <QIcon>
#include <QString>

// A window's picture from the resources of a program: the scalable image and
// its bitmaps, "sohbet.svg" and "sohbet-16/32/48.png" in folder (the server's
// in this library under ":/icons", the client's its own).
namespace AppIcon {

QIcon icon(const QString &folder = QStringLiteral(":/icons"));

} // namespace AppIcon
