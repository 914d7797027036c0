#include "gateway.h"

#include "websocketframes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

namespace {
// Stopping waits this long at most for the leaves to go out.
constexpr int StopDeadlineMs = 3000;
constexpr int StopCheckMs = 20;
}

Gateway::Gateway(Options options, QObject *parent)
    : QObject(parent), m_options(std::move(options)), m_front(m_options.files, m_options.limits)
{
    connect(&m_front, &HttpFront::upgraded, this, &Gateway::accept);
    connect(&m_presence, &Presence::peopleChanged, this, [this] {
        for (Bridge *bridge : std::as_const(m_bridges))
            bridge->sendPeople();
    });
    const auto toAll = [this](const QByteArray &frame) {
        for (Bridge *bridge : std::as_const(m_bridges))
            bridge->sendShared(frame);
    };
    connect(&m_presence, &Presence::arrived, this, toAll);
    connect(&m_presence, &Presence::departed, this, toAll);
}

// The bridges go first, while what they report to is still whole.
Gateway::~Gateway()
{
    const QList<Bridge *> bridges = findChildren<Bridge *>(Qt::FindDirectChildrenOnly);
    for (Bridge *bridge : bridges) {
        disconnect(bridge, nullptr, this, nullptr);
        delete bridge;
    }
    qDeleteAll(findChildren<BrowserLink *>(Qt::FindDirectChildrenOnly));
}

void Gateway::accept(int fd, Admission::Ticket place)
{
    auto *link = new BrowserLink(m_reactor, fd, MaxMessageBytes, this);
    // Its address's place is free once the connection is gone, whoever holds it then.
    connect(link, &QObject::destroyed, this, [this, place] { m_front.release(place); });
    connect(link, &BrowserLink::gone, link, &QObject::deleteLater);
    if (m_stopping) {
        link->close(WebSocketFrames::GoingAway);
        return;
    }
    connect(link, &BrowserLink::textReceived, this,
            [this, link](const QString &message) { firstMessage(link, message); });
    // One that never says who it is is let go like a silent one.
    QTimer::singleShot(m_options.bridge.silenceMs, link, [this, link] {
        if (link->parent() == this)
            link->abort();
    });
}

void Gateway::firstMessage(BrowserLink *link, const QString &message)
{
    disconnect(link, &BrowserLink::textReceived, this, nullptr);
    disconnect(link, &BrowserLink::gone, link, nullptr);
    const QJsonObject join = QJsonDocument::fromJson(message.toUtf8()).object();
    const QString nickname = join.value(QLatin1String("nick")).toString();
    const QString id = join.value(QLatin1String("id")).toString();
    if (join.value(QLatin1String("t")).toString() != QLatin1String("join") || !Bridge::acceptableNickname(nickname)
        || id.isEmpty() || id.size() > MaxIdChars) {
        connect(link, &BrowserLink::gone, link, &QObject::deleteLater);
        link->close(WebSocketFrames::PolicyViolated);
        return;
    }
    Bridge *bridge = m_bridges.value(id);
    // The id is a tab's; a new nickname there is another person.
    if (bridge && bridge->open() && bridge->nickname() == nickname.trimmed()) {
        bridge->takeOver(link);
        return;
    }
    bridge = new Bridge(m_options.server, m_options.bridge, m_reactor, m_presence, this);
    m_bridges.insert(id, bridge);
    connect(bridge, &Bridge::finished, this, [this, bridge] { bridgeFinished(bridge); });
    bridge->join(link, nickname.trimmed());
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
}

void Gateway::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    for (Bridge *bridge : m_bridges.values())
        bridge->end(WebSocketFrames::GoingAway);
    // Done once every session is over and what the reactor still writes for
    // them (the leaves, the browsers' closes) is out, or at the deadline.
    m_stopWait.start();
    auto *check = new QTimer(this);
    connect(check, &QTimer::timeout, this, [this, check] {
        if ((m_bridges.isEmpty() && m_reactor.lingeringCount() == 0) || m_stopWait.hasExpired(StopDeadlineMs)) {
            check->deleteLater();
            emit stopped();
        }
    });
    check->start(StopCheckMs);
}
