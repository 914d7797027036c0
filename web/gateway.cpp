#include "gateway.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebSocket>

namespace {
// Stopping waits this long at most for the leaves to go out.
constexpr int StopDeadlineMs = 3000;
}

Gateway::Gateway(Options options, QObject *parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_webSockets(QStringLiteral("sohbet-web"), QWebSocketServer::NonSecureMode),
      m_front(m_webSockets, m_options.files, m_options.limits)
{
    connect(&m_webSockets, &QWebSocketServer::newConnection, this, &Gateway::accept);
}

// The bridges go first, while what they report to is still whole.
Gateway::~Gateway()
{
    const QList<Bridge *> bridges = findChildren<Bridge *>(Qt::FindDirectChildrenOnly);
    for (Bridge *bridge : bridges) {
        disconnect(bridge, nullptr, this, nullptr);
        delete bridge;
    }
}

void Gateway::accept()
{
    while (QWebSocket *socket = m_webSockets.nextPendingConnection()) {
        socket->setParent(this);
        socket->setMaxAllowedIncomingMessageSize(MaxMessageBytes);
        socket->setMaxAllowedIncomingFrameSize(MaxMessageBytes);
        if (m_stopping) {
            socket->close(QWebSocketProtocol::CloseCodeGoingAway);
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString &message) { firstMessage(socket, message); });
        connect(socket, &QWebSocket::binaryMessageReceived, socket,
                [socket] { socket->close(QWebSocketProtocol::CloseCodePolicyViolated); });
        connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
        // One that never says who it is is let go like a silent one.
        QTimer::singleShot(m_options.bridge.silenceMs, socket, [this, socket] {
            if (socket->parent() == this)
                socket->abort();
        });
    }
}

void Gateway::firstMessage(QWebSocket *socket, const QString &message)
{
    disconnect(socket, nullptr, this, nullptr);
    disconnect(socket, &QWebSocket::binaryMessageReceived, socket, nullptr);
    disconnect(socket, &QWebSocket::disconnected, socket, nullptr);
    const QJsonObject join = QJsonDocument::fromJson(message.toUtf8()).object();
    const QString nickname = join.value(QLatin1String("nick")).toString();
    const QString id = join.value(QLatin1String("id")).toString();
    if (join.value(QLatin1String("t")).toString() != QLatin1String("join") || !Bridge::acceptableNickname(nickname)
        || id.isEmpty() || id.size() > MaxIdChars) {
        connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
        socket->close(QWebSocketProtocol::CloseCodePolicyViolated);
        return;
    }
    Bridge *bridge = m_bridges.value(id);
    if (bridge && bridge->open()) {
        bridge->takeOver(socket);
        return;
    }
    bridge = new Bridge(m_options.server, m_options.bridge, this);
    m_bridges.insert(id, bridge);
    connect(bridge, &Bridge::finished, this, [this, bridge] { bridgeFinished(bridge); });
    bridge->join(socket, nickname.trimmed());
}

void Gateway::bridgeFinished(Bridge *bridge)
{
    // A newer session may hold the id by now.
    for (auto it = m_bridges.begin(); it != m_bridges.end(); ++it) {
        if (it.value() == bridge) {
            m_bridges.erase(it);
            break;
        }
    }
    bridge->deleteLater();
    if (m_stopping && m_bridges.isEmpty())
        emit stopped();
}

void Gateway::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    if (m_bridges.isEmpty()) {
        QTimer::singleShot(0, this, &Gateway::stopped);
        return;
    }
    for (Bridge *bridge : m_bridges.values())
        bridge->end(QWebSocketProtocol::CloseCodeGoingAway);
    QTimer::singleShot(StopDeadlineMs, this, [this] {
        if (!m_bridges.isEmpty())
            emit stopped();
    });
}
