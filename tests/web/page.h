#pragma once

// A browser's side of the gateway, for the tests: a QWebSocket that keeps
// every message the page would get, and a raw connection that never reads.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QWebSocket>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A browser that stops reading after the handshake and its join: a plain
// descriptor with a small receive buffer, so what the gateway sends it backs
// up soon.
class DeafPage
{
public:
    explicit DeafPage(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0)
            return;
        write("GET /ws HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    }
    ~DeafPage() { ::close(m_fd); }
    DeafPage(const DeafPage &) = delete;
    DeafPage &operator=(const DeafPage &) = delete;

    // Whether the handshake has been answered, without taking the answer.
    bool upgraded()
    {
        char answer[12] = {};
        return ::recv(m_fd, answer, sizeof answer, MSG_PEEK | MSG_DONTWAIT) == 12 && QByteArray(answer, 12) == "HTTP/1.1 101";
    }
    // One masked text frame of fewer than 126 bytes, as a browser sends it.
    void send(const QByteArray &text)
    {
        QByteArray frame("\x81", 1);
        frame.append(char(0x80 | text.size()));
        const char mask[4] = {1, 2, 3, 4};
        frame.append(mask, 4);
        for (qsizetype i = 0; i < text.size(); ++i)
            frame.append(char(text[i] ^ mask[i % 4]));
        write(frame);
    }

private:
    void write(const QByteArray &bytes) { [[maybe_unused]] auto sent = ::send(m_fd, bytes.constData(), bytes.size(), 0); }

    int m_fd = -1;
};
