#pragma once

#include <QString>
#include <QStringList>

// The join channel carries "name sohbete katıldı." for every arrival, back to
// back and cut anywhere by the reads. The server's own words end each one, so
// the names can be taken out whole; a part that has not ended yet waits for
// the next read.
class JoinAnnouncements
{
public:
    // The announcement's end, as the server writes it.
    static const QString Suffix;
    // Past this much text without an end, what waits is taken as a name, so
    // that text that never ends cannot pile up.
    static constexpr qsizetype MaxWaiting = 64 * 1024;

    QStringList feed(const QString &text);
    void clear() { m_waiting.clear(); }

private:
    QString m_waiting;
};
