#pragma once

// A browser's side of the gateway, for the tests: a QWebSocket that keeps
// every message the page would get, and a raw connection that never reads.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QWebSocket>

#include <sys/socket.h>

using namespace Qt::StringLiterals;

struct Page
{
    explicit Page(quint16 port)
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, &socket, [this](const QString &text) {
            got.append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
    }
    bool open() const { return socket.state() == QAbstractSocket::ConnectedState; }
    void send(const QJsonObject &message)
    {
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    }
    void join(const QString &nickname, const QString &id = QStringLiteral("sayfa-1"))
    {
        send({{u"t"_s, u"join"_s}, {u"nick"_s, nickname}, {u"id"_s, id}});
    }
    void say(const QString &text) { send({{u"t"_s, u"say"_s}, {u"text"_s, text}}); }
    // What the messages of one kind said, in order; field "state" or "text".
    QStringList said(const QString &kind, const QString &field = QStringLiteral("text")) const
    {
        QStringList texts;
        for (const QJsonObject &message : got) {
            if (message.value(u"t").toString() == kind)
                texts.append(message.value(field).toString());
        }
        return texts;
    }
    QString lastState() const
    {
        const QStringList states = said(QStringLiteral("state"), QStringLiteral("state"));
        return states.isEmpty() ? QString() : states.last();
    }

    QWebSocket socket;
    QList<QJsonObject> got;
};

// A browser that stops reading after the handshake and its join: a raw
// connection with a small receive buffer, so what the gateway sends it backs
// up soon.
struct DeafPage
{
    explicit DeafPage(quint16 port)
    {
        // Qt stops reading once this much waits unread.
        socket.setReadBufferSize(1024);
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(5000);
        const int small = 4096;
        ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        socket.write("GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    }
    bool upgraded() { return socket.peek(12) == "HTTP/1.1 101"; }
    // One masked text frame, as a browser sends it.
    void send(const QByteArray &text)
    {
        QByteArray frame("\x81", 1);
        frame.append(char(0x80 | text.size()));
        const char mask[4] = {1, 2, 3, 4};
        frame.append(mask, 4);
        for (qsizetype i = 0; i < text.size(); ++i)
            frame.append(char(text[i] ^ mask[i % 4]));
        socket.write(frame);
    }

    QTcpSocket socket;
};
