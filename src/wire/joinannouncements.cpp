#include "joinannouncements.h"

const QString JoinAnnouncements::Suffix = QStringLiteral(" sohbete katıldı.");

QStringList JoinAnnouncements::feed(const QString &text)
{
    m_waiting += text;
    QStringList names;
    qsizetype from = 0;
    for (qsizetype end; (end = m_waiting.indexOf(Suffix, from)) >= 0; from = end + Suffix.size())
        names.append(m_waiting.mid(from, end - from));
    m_waiting.remove(0, from);
    if (m_waiting.size() > MaxWaiting)
        names.append(std::exchange(m_waiting, {}));
    return names;
}
