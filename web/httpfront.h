#pragma once

#include "addresslimit.h"
#include "pagefiles.h"

#include <QTcpServer>

class QTcpSocket;

// The gateway's own small HTTP front on its port. It reads one request head
// per connection (GET only, at most MaxHeadBytes, within HeadTimeoutMs),
// answers it from the page's files and closes; a GET of /ws asking for a
// WebSocket is answered with the upgrade if its Origin is this gateway's own
// page or absent, and refused with 403 before the upgrade otherwise, so a
// page from elsewhere that someone opens cannot talk to the chat. Qt's HTTP
// server module is a preview in Qt 6.4 with no hook before the upgrade; this
// much HTTP is small enough to own.
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

    HttpFront(PageFiles files, AdmissionLimits limits, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    // A WebSocket's connection has ended: its address's place is free.
    void release(const QHostAddress &peer) { m_limit.release(peer); }

signals:
    // A WebSocket, upgraded: fd is the caller's to read, write and close, and
    // its place counts against peer's limit until release(peer).
    void upgraded(int fd, const QHostAddress &peer);

private:
    void accept();
    void headArrived(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &contentType,
                 const QByteArray &body);

    void upgrade(QTcpSocket *socket, const QByteArray &key);

    PageFiles m_files;
    // Before the server: its connections release their places as they go.
    AddressLimit m_limit;
    QTcpServer m_server;
};
