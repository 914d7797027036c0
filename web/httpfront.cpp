#include "httpfront.h"

#include "websocketframes.h"

#include "wire/sendsome.h"

#include <QTcpSocket>
#include <QTimer>

#include <unistd.h>

namespace {

// Everything the page needs comes from the gateway itself.
constexpr char Security[] = "Content-Security-Policy: default-src 'self'; connect-src 'self' ws: wss:; "
                            "base-uri 'none'; form-action 'none'; frame-ancestors 'none'\r\n"
                            "X-Content-Type-Options: nosniff\r\n"
                            "Referrer-Policy: no-referrer\r\n";

struct Request
{
    QByteArray method;
    QByteArray path;
    QByteArray host;
    QByteArray origin;
    QByteArray key;
    QByteArray version;
    bool hasOrigin = false;
    bool upgrade = false;
};

Request parse(const QByteArray &head)
{
    Request request;
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.path = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "host") {
            request.host = value;
        } else if (name == "origin") {
            request.origin = value;
            request.hasOrigin = true;
        } else if (name == "upgrade") {
            request.upgrade = value.toLower() == "websocket";
        } else if (name == "sec-websocket-key") {
            request.key = value;
        } else if (name == "sec-websocket-version") {
            request.version = value;
        }
    }
    return request;
}

} // namespace

HttpFront::HttpFront(PageFiles files, AdmissionLimits limits, QObject *parent)
    : QObject(parent), m_files(std::move(files)), m_admission(limits)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpFront::accept);
}

bool HttpFront::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

void HttpFront::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const int fd = int(socket->socketDescriptor());
        if (!m_admission.admit(fd, m_server.serverPort())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SendBufferBytes);
        // Released however the connection ends, here or as a WebSocket.
        const Admission::Ticket place = m_admission.claim(fd);
        connect(socket, &QObject::destroyed, this, [this, place] { m_admission.leave(place); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, place] { headArrived(socket, place); });
        auto *timeout = new QTimer(socket);
        timeout->setObjectName(QStringLiteral("headTimeout"));
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, &QTcpSocket::abort);
        timeout->start(HeadTimeoutMs);
    }
}

void HttpFront::headArrived(QTcpSocket *socket, Admission::Ticket place)
{
    const QByteArray seen = socket->peek(MaxHeadBytes + 1);
    const qsizetype end = seen.indexOf("\r\n\r\n");
    if (end < 0) {
        if (seen.size() > MaxHeadBytes) {
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            respond(socket, "431 Request Header Fields Too Large", "text/plain; charset=utf-8",
                    QStringLiteral("İstek çok uzun.\n").toUtf8());
        }
        return;
    }
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    const Request request = parse(seen.left(end));
    if (request.method != "GET") {
        respond(socket, "405 Method Not Allowed", "text/plain; charset=utf-8",
                QStringLiteral("Yalnızca sayfa istenebilir.\n").toUtf8());
        return;
    }
    if (request.path == "/ws" && request.upgrade) {
        // The page's own origin exactly: scheme, host and port, no prefix.
        // Browsers write the origin's host in lower case, whatever was typed.
        if (request.hasOrigin && request.origin.toLower() != "http://" + request.host.toLower()) {
            respond(socket, "403 Forbidden", "text/plain; charset=utf-8",
                    QStringLiteral("Sohbete yalnızca bu sunucunun kendi sayfasından bağlanılabilir.\n").toUtf8());
            return;
        }
        if (request.version != "13" || request.key.isEmpty()) {
            respond(socket, "426 Upgrade Required\r\nSec-WebSocket-Version: 13", "text/plain; charset=utf-8",
                    QStringLiteral("Bu sunucu WebSocket sürüm 13 ile konuşur.\n").toUtf8());
            return;
        }
        upgrade(socket, request.key, place);
        return;
    }
    const PageFiles::File file = m_files.get(request.path);
    if (!file.found) {
        respond(socket, "404 Not Found", "text/plain; charset=utf-8",
                QStringLiteral("Böyle bir sayfa yok.\n").toUtf8());
        return;
    }
    respond(socket, "200 OK", file.contentType, file.body);
}

void HttpFront::respond(QTcpSocket *socket, const QByteArray &status, const QByteArray &contentType,
                        const QByteArray &body)
{
    // One request a connection: no pipelining to get wrong.
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + contentType
                  + "\r\nContent-Length: " + QByteArray::number(body.size())
                  + "\r\nCache-Control: no-cache\r\nConnection: close\r\n" + Security + "\r\n" + body);
    socket->disconnectFromHost();
}

void HttpFront::upgrade(QTcpSocket *socket, const QByteArray &key, Admission::Ticket place)
{
    // The connection leaves Qt's socket for the gateway's reactor: a copy of
    // the descriptor is kept, and the socket, closing its own, goes. Nothing
    // of the WebSocket can have arrived yet, since a browser waits for the
    // answer below before it sends a frame.
    const int fd = ::dup(int(socket->socketDescriptor()));
    disconnect(socket, &QObject::destroyed, this, nullptr);
    socket->abort();
    socket->deleteLater();
    const QByteArray answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                              "Sec-WebSocket-Accept: "
        + WebSocketFrames::acceptKey(key) + "\r\n\r\n";
    // A fresh connection's kernel buffer takes these few bytes whole.
    if (fd < 0 || sendSome(fd, answer.constData(), answer.size()).written != answer.size()) {
        if (fd >= 0)
            ::close(fd);
        m_admission.leave(place);
        return;
    }
    emit upgraded(fd, place);
}
