#include "pagefiles.h"

#include <QFile>
#include <QRegularExpression>

PageFiles::File PageFiles::get(const QByteArray &path) const
{
    QByteArray name = path;
    const qsizetype query = name.indexOf('?');
    if (query >= 0)
        name.truncate(query);
    if (name == "/")
        name = "/index.html";
    // A letter or digit first: no "..", no hidden file, no folder.
    static const QRegularExpression plainName(QStringLiteral("^/[A-Za-z0-9][A-Za-z0-9._-]*$"));
    const QString fileName = QString::fromLatin1(name);
    if (!plainName.match(fileName).hasMatch())
        return {};
    QFile file(m_root + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return {true, contentType(fileName), file.readAll()};
}

QByteArray PageFiles::contentType(const QString &fileName)
{
    static const std::pair<const char *, const char *> types[] = {
        {".html", "text/html; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".json", "application/json"},
        {".webmanifest", "application/manifest+json"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
    };
    for (const auto &[suffix, type] : types) {
        if (fileName.endsWith(QLatin1String(suffix)))
            return type;
    }
    return "application/octet-stream";
}
