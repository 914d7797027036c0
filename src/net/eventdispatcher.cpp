#include "eventdispatcher.h"

#include <QByteArray>
#include <QtGlobal>

void preferUnixEventDispatcher()
{
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", QByteArrayLiteral("1"));
}
