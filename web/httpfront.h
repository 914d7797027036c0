#pragma once

#include "addresslimit.h"
#include "pagefiles.h"

#include <QTcpServer>

class QTcpSocket;
class QWebSocketServer;

// The gateway's own small HTTP front on its port. It reads one request head
// per connection (GET only, at most MaxHeadBytes, within HeadTimeoutMs),
// answers it from the page's files and closes; a GET of /ws asking for a
// WebSocket is handed, unread, to the WebSocket server if its Origin is this
// gateway's own page or absent, and refused with 403 before the upgrade
// otherwise, so a page from elsewhere that someone opens cannot talk to the
// chat. Qt's HTTP server module is a preview in Qt 6.4 with no hook before
// the upgrade; this much HTTP is small enough to own.
class HttpFront final : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxHeadBytes = 8 * 1024;
    static constexpr int HeadTimeoutMs = 10 * 1000;
    // The kernel's send buffer for a browser. Left to itself it grows to
    // megabytes on a fast link; kept small, what waits for a slow browser
    // waits where the gateway counts it.
    static constexpr int SendBufferBytes = 64 * 1024;

    HttpFront(QWebSocketServer &webSockets, PageFiles files, AdmissionLimits limits, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

private:
    void accept();
    void headArrived(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &contentType,
                 const QByteArray &body);

    QWebSocketServer &m_webSockets;
    PageFiles m_files;
    // Before the server: its connections release their places as they go.
    AddressLimit m_limit;
    QTcpServer m_server;
};
