#pragma once

#include "wire/admission.h"
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
    void release(Admission::Ticket place) { m_admission.leave(place); }

signals:
    // A WebSocket, upgraded: fd is the caller's to read, write and close, and
    // its address's place is held until release(place).
    void upgraded(int fd, Admission::Ticket place);

private:
    void accept();
    void headArrived(QTcpSocket *socket, Admission::Ticket place);
    void respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &contentType,
                 const QByteArray &body);

    // The place goes with the connection, to be released by whoever holds it.
    void upgrade(QTcpSocket *socket, const QByteArray &key, Admission::Ticket place);

    PageFiles m_files;
    // The server's own rule, per address on this port. Before the listener:
    // its connections release their places as they go.
    Admission m_admission;
    QTcpServer m_server;
};
