#pragma once

#include <QString>

// The server's room for clients under its open-file limit: every client
// holds four connections, each an open file.
struct OpenFiles
{
    qint64 softLimit = -1; // -1: not read; the limits file is readable by everyone
    qint64 open = -1;      // -1: the descriptors are another user's
    qint64 moreClients() const { return open < 0 || softLimit < 0 ? -1 : (softLimit - open) / 4; }
};

OpenFiles openFilesOf(qint64 pid, const QString &procRoot = QStringLiteral("/proc"));
