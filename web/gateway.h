#pragma once

#include "bridge.h"
#include "httpfront.h"
#include "presence.h"

#include "wire/socketreactor.h"

#include <QElapsedTimer>
#include <QHash>

// The whole gateway: the HTTP front on its port, the WebSockets it upgrades,
// one Bridge per browser user, found again by the id its page keeps so that a
// page that reconnects takes its session over, and one reading of who is
// present for them all. Every connection, the browsers' and the sessions'
// with the server, is watched by one reactor.
class Gateway final : public QObject
{
    Q_OBJECT

public:
    // What one browser may send in one message.
    static constexpr qint64 MaxMessageBytes = 8 * 1024;
    // The page's id for its session, at most.
    static constexpr qsizetype MaxIdChars = 128;

    struct Options
    {
        QString server = QStringLiteral("127.0.0.1");
        PageFiles files;
        AdmissionLimits limits;
        Bridge::Limits bridge;
    };

    explicit Gateway(Options options, QObject *parent = nullptr);
    ~Gateway() override;

    bool listen(const QHostAddress &address, quint16 port) { return m_front.listen(address, port); }
    quint16 port() const { return m_front.port(); }
    QString errorString() const { return m_front.errorString(); }
    int sessions() const { return int(m_bridges.size()); }

    // Every user leaves and every browser is told the gateway stops;
    // stopped() follows once the leaves are written, or after a short while.
    void stop();

signals:
    void stopped();

private:
    void accept(int fd, Admission::Ticket place);
    void firstMessage(BrowserLink *link, const QString &message);
    void bridgeFinished(Bridge *bridge);

    Options m_options;
    SocketReactor m_reactor;
    Presence m_presence;
    HttpFront m_front;
    QHash<QString, Bridge *> m_bridges;
    bool m_stopping = false;
    QElapsedTimer m_stopWait;
};
