#pragma once

#include <QString>

// What the server itself writes on the message channel, in the form of a chat
// line; clients recognise it by these texts.
namespace ServerNotice {

// The name in front of the server's own lines; it names nobody in the chat.
inline const QString Sender = QStringLiteral("SUNUCU MESAJI");
// Sent to every client just before the server closes all connections.
inline const QString Stopping = QStringLiteral("<SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.");

// Whether the chat a client read held the stop notice, even cut across two
// reads: a client whose connections then end says the server stopped.
class StopWatch
{
public:
    void read(const QString &text)
    {
        // Kept short: only enough to find the notice across a split read.
        m_tail = QString(m_tail + text).right(2 * Stopping.size());
        m_seen = m_seen || m_tail.contains(Stopping);
    }
    bool seen() const { return m_seen; }
    void reset() { *this = {}; }

private:
    QString m_tail;
    bool m_seen = false;
};

} // namespace ServerNotice
