#include "openfiles.h"

#include <QDir>
#include <QFile>

OpenFiles openFilesOf(qint64 pid, const QString &procRoot)
{
    OpenFiles files;
    const QString dir = procRoot + u'/' + QString::number(pid);
    QFile limits(dir + QStringLiteral("/limits"));
    // Files in /proc report a size of 0, so they are read whole, not
    // line by line up to an end that seems to come at once.
    if (limits.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = limits.readAll().split('\n');
        for (const QByteArray &line : lines) {
            // "Max open files            1024                 524288               files"
            if (!line.startsWith("Max open files"))
                continue;
            const QList<QByteArray> fields = line.mid(14).simplified().split(' ');
            bool ok = false;
            files.softLimit = fields.value(0).toLongLong(&ok);
            if (!ok) // "unlimited"
                files.softLimit = fields.value(0) == "unlimited" ? qint64(1) << 30 : -1;
        }
    }
    QDir fds(dir + QStringLiteral("/fd"));
    if (fds.isReadable())
        files.open = fds.entryList(QDir::System | QDir::NoDotAndDotDot).size();
    return files;
}
