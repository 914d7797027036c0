#include "programs.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <array>

namespace {

// "net:[4026531840]"; empty where the link cannot be read. Read raw: the
// target is no path, and made into one it would carry the link's folder.
QByteArray namespaceOf(const QString &processDir)
{
    std::array<char, 64> target{};
    const ssize_t size = ::readlink(QFile::encodeName(processDir + QStringLiteral("/ns/net")).constData(),
                                    target.data(), target.size() - 1);
    return QByteArray(target.data(), size > 0 ? size : 0);
}

} // namespace

QList<RunningProgram> runningPrograms(const QString &name, const QString &procRoot)
{
    QList<RunningProgram> found;
    const QByteArray own = namespaceOf(procRoot + QStringLiteral("/self"));
    const QStringList pids = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pidText : pids) {
        bool isPid = false;
        const qint64 pid = pidText.toLongLong(&isPid);
        const QString dir = procRoot + u'/' + pidText;
        QFile comm(dir + QStringLiteral("/comm"));
        if (!isPid || !comm.open(QIODevice::ReadOnly) || QString::fromUtf8(comm.readAll().trimmed()) != name)
            continue;
        RunningProgram program;
        program.pid = pid;
        QFile cmdline(dir + QStringLiteral("/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly)) {
            QByteArray all = cmdline.readAll();
            all.chop(1); // every argument ends in a NUL, the last one too
            for (const QByteArray &argument : all.split('\0'))
                program.arguments.append(QString::fromLocal8Bit(argument));
        }
        const QByteArray theirs = namespaceOf(dir);
        if (!own.isEmpty() && !theirs.isEmpty())
            program.network = theirs == own ? RunningProgram::Network::Same : RunningProgram::Network::Other;
        found.append(program);
    }
    return found;
}

quint16 gatewayPort(const QStringList &arguments)
{
    const QString option = QStringLiteral("--port");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString value;
        if (arguments[i] == option)
            value = arguments.value(i + 1);
        else if (arguments[i].startsWith(option + u'='))
            value = arguments[i].mid(option.size() + 1);
        else
            continue;
        bool ok = false;
        const uint port = value.toUInt(&ok);
        // A value that is no port leaves the default as the best guess.
        return ok && port > 0 && port <= 0xffff ? quint16(port) : GatewayDefaultPort;
    }
    return GatewayDefaultPort;
}
