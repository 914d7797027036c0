#include "listeners.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <arpa/inet.h>
#include <unistd.h>

#include <array>

#include <cstring>

namespace {

constexpr int ListenState = 0x0A;

// The kernel prints each 32-bit word of the address as a host-order number.
QHostAddress kernelAddress(QByteArrayView hex)
{
    bool ok = false;
    if (hex.size() == 8) {
        const quint32 word = hex.toUInt(&ok, 16);
        return ok ? QHostAddress(ntohl(word)) : QHostAddress();
    }
    if (hex.size() != 32)
        return {};
    Q_IPV6ADDR bytes{};
    for (int i = 0; i < 4; ++i) {
        const quint32 word = hex.sliced(i * 8, 8).toUInt(&ok, 16);
        if (!ok)
            return {};
        std::memcpy(bytes.c + i * 4, &word, 4);
    }
    return QHostAddress(bytes);
}

// A socket descriptor's link reads "socket:[inode]"; 0 for anything else.
quint64 socketInode(const QByteArray &link)
{
    std::array<char, 64> target{};
    const ssize_t size = ::readlink(link.constData(), target.data(), target.size() - 1);
    const QByteArrayView text(target.data(), size > 0 ? size : 0);
    if (!text.startsWith("socket:[") || !text.endsWith("]"))
        return 0;
    return text.sliced(8, text.size() - 9).toULongLong();
}

void readTable(const QString &path, QList<Listener> &out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Read whole: files in /proc report a size of 0.
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines.mid(1)) { // after the heading
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10 || fields[3].toInt(nullptr, 16) != ListenState)
            continue;
        const QList<QByteArray> local = fields[1].split(':');
        if (local.size() != 2)
            continue;
        Listener listener;
        listener.address = kernelAddress(local[0]);
        listener.port = quint16(local[1].toUInt(nullptr, 16));
        listener.inode = fields[9].toULongLong();
        out.append(listener);
    }
}

} // namespace

ListenerScan scanListeners(const QString &procRoot)
{
    ListenerScan scan;
    readTable(procRoot + QStringLiteral("/net/tcp"), scan.listeners);
    readTable(procRoot + QStringLiteral("/net/tcp6"), scan.listeners);

    QHash<quint64, Listener *> byInode;
    for (Listener &listener : scan.listeners)
        byInode.insert(listener.inode, &listener);
    if (byInode.isEmpty())
        return scan;

    const QStringList pids = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pidText : pids) {
        bool isPid = false;
        const qint64 pid = pidText.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QString fdDir = procRoot + u'/' + pidText + QStringLiteral("/fd");
        QDir fds(fdDir);
        if (!fds.isReadable()) {
            if (QFile::exists(fdDir))
                scan.someHidden = true;
            continue;
        }
        const QStringList entries = fds.entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : entries) {
            const quint64 inode = socketInode(QFile::encodeName(fdDir + u'/' + fd));
            if (inode == 0)
                continue;
            Listener *listener = byInode.value(inode);
            if (!listener || listener->pid >= 0)
                continue;
            QFile comm(procRoot + u'/' + pidText + QStringLiteral("/comm"));
            listener->pid = pid;
            if (comm.open(QIODevice::ReadOnly))
                listener->process = QString::fromUtf8(comm.readAll().trimmed());
        }
    }
    return scan;
}
