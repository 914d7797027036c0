#pragma once

#include <QByteArray>
#include <QString>

// The page's files as the front serves them: a flat folder (the program's
// own resources under :/page, or a folder a test gives), "/" meaning
// index.html. Only plain file names are looked up, so no request reaches
// anything outside the folder.
class PageFiles
{
public:
    struct File
    {
        bool found = false;
        QByteArray contentType;
        QByteArray body;
    };

    explicit PageFiles(QString root = QStringLiteral(":/page")) : m_root(std::move(root)) {}

    // path as in the request line, query and fragment included.
    File get(const QByteArray &path) const;

    static QByteArray contentType(const QString &fileName);

private:
    QString m_root;
};
