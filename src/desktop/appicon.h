#pragma once

#include <QIcon>

// The picture of both windows, the server's and the client's, from the
// resources of this library.
namespace AppIcon {

QIcon icon();

} // namespace AppIcon
