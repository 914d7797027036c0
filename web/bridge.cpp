// Between the page and the gateway.
//
// HTTP (the gateway's own small GET-only front):
// - GET / gives the page web/page/index.html; GET /<file> any other file of
//   web/page/ (css, js, svg, png), all built into the program as resources
//   under :/page/, with the right Content-Type, "Cache-Control: no-cache", and
//   a Content-Security-Policy that allows only the gateway itself. Anything
//   else: 404 with a short Turkish text.
// - GET /ws with "Upgrade: websocket" gives the WebSocket, if the Origin is
//   the gateway's own page (http://<the Host header>: exact scheme, host and
//   port, no prefix match) or absent; otherwise 403 before the upgrade.
//
// WebSocket text messages, one JSON object each, UTF-8. Field "t" is the kind.
// Page to gateway:
// - {"t":"join","nick":"Ayşe","id":"<random id the page keeps in sessionStorage>"}
//   First message. Starts a four-channel session for that nickname. If the
//   gateway still holds a session with the same id whose WebSocket dropped
//   (within the 60 s silence bound), the new WebSocket takes that session
//   over instead: no new join, no leave, so the person is not duplicated; the
//   gateway then sends the current "state" and "people". After an "ended"
//   with retry, a join on the same WebSocket starts the session again.
// - {"t":"say","text":"merhaba"}: the gateway sends "<nickname> merhaba" on
//   the chat channel.
// - {"t":"leave"}: the session leaves (nickname on the leave channel, then
//   closes); the gateway then closes the WebSocket with code 1000.
// - {"t":"ping"}: answered with {"t":"pong"} at once (the page's own check
//   that a socket that looks open is alive, after sleep, online,
//   visibilitychange).
// Gateway to page:
// - {"t":"state","state":"connecting"|"joined"|"ended","reason":"<Turkish, with ended>","retry":true|false}
//   "ended" with retry true when the server could not be reached or its
//   connections ended (the page offers "Yeniden dene" and retries by itself
//   after a short, growing delay); retry false after the user's own leave.
// - {"t":"chat","text":"…"}: one decoded read of the chat channel: complete,
//   valid UTF-8 (a split letter put together, Windows-1254 where not UTF-8),
//   control and bidi characters made visible symbols, a long read cut as the
//   desktop client cuts it. It may hold several lines' worth of text.
// - {"t":"joined","text":"Ayşe sohbete katıldı."}: an arrival, made visible.
// - {"t":"left","names":["Ayşe"]}: names that left, made visible.
// - {"t":"people","names":["SERVER","Ayşe"],"sure":true}: the people list;
//   with "sure":false the names are the likely list (or the roster text as
//   received), and the page says the list is not certain.
// Closing codes: 1009 (too big) for a message over 8 KiB; 1008 (policy) for a
// join with an empty or over-long nickname or a message before join; 1001
// when the gateway stops; 1003 for binary data, 1007 for text that is not
// UTF-8, 1002 for frames the WebSocket protocol does not allow.
#include "bridge.h"

#include "presence.h"
#include "websocketframes.h"

#include "wire/shownread.h"

#include <QJsonDocument>

namespace {

const QString LeftNotice = QStringLiteral("Sohbetten ayrıldınız.");
const QString GatewayStopping = QStringLiteral("sohbet-web durduruldu; yeniden bağlanılacak.");

QByteArray frameOf(const QJsonObject &message)
{
    return WebSocketFrames::text(QJsonDocument(message).toJson(QJsonDocument::Compact));
}

} // namespace

bool Bridge::acceptableNickname(const QString &nickname)
{
    return !nickname.trimmed().isEmpty() && nickname.size() <= MaxNicknameChars;
}

Bridge::Bridge(const QString &server, Limits limits, SocketReactor &reactor, Presence &presence, QObject *parent)
    : QObject(parent), m_server(server), m_limits(limits), m_presence(presence), m_session(reactor, presence, this)
{
    m_silence.setSingleShot(true);
    m_silence.setInterval(m_limits.silenceMs);
    connect(&m_silence, &QTimer::timeout, this, &Bridge::silent);
    m_stuck.setSingleShot(true);
    m_stuck.setInterval(m_limits.stuckMs);
    connect(&m_stuck, &QTimer::timeout, this, [this] { end(WebSocketFrames::Abnormal); });

    connect(&m_session, &UserSession::stateChanged, this, &Bridge::stateChanged);
    connect(&m_session, &UserSession::lost, this, &Bridge::lost);
    connect(&m_session, &UserSession::chatText, this, &Bridge::chatArrived);
    // A browser whose words cannot go on to the server is not read meanwhile.
    connect(&m_session, &UserSession::backlogChanged, this, [this](bool full) {
        if (m_browser)
            m_browser->setReading(!full);
    });
}

// The browser's link, a child, would report its end to a bridge half gone.
Bridge::~Bridge()
{
    if (m_browser)
        disconnect(m_browser, nullptr, this, nullptr);
}

void Bridge::join(BrowserLink *link, const QString &nickname)
{
    attach(link);
    m_endReason.clear();
    m_session.connectTo(nickname, m_server);
}

void Bridge::takeOver(BrowserLink *link)
{
    attach(link);
    sendState();
    sendPeople();
}

void Bridge::attach(BrowserLink *link)
{
    if (m_browser && m_browser != link) {
        // A page that reconnected while its old WebSocket still looked open.
        disconnect(m_browser, nullptr, this, nullptr);
        connect(m_browser, &BrowserLink::gone, m_browser, &QObject::deleteLater);
        m_browser->close(WebSocketFrames::PolicyViolated,
                        QStringLiteral("Oturumu başka bir bağlantı sürdürüyor."));
    }
    m_browser = link;
    link->setParent(this);
    disconnect(link, nullptr, this, nullptr);
    connect(link, &BrowserLink::textReceived, this, &Bridge::received);
    connect(link, &BrowserLink::gone, this, &Bridge::socketGone);
    connect(link, &BrowserLink::written, this, &Bridge::writtenSome);
    m_silence.start();
    checkBehind();
}

void Bridge::received(const QString &message)
{
    m_silence.start();
    const QJsonObject object = QJsonDocument::fromJson(message.toUtf8()).object();
    const QString kind = object.value(QLatin1String("t")).toString();
    if (kind == QLatin1String("ping")) {
        send({{QStringLiteral("t"), QStringLiteral("pong")}});
    } else if (kind == QLatin1String("say")) {
        m_session.say(object.value(QLatin1String("text")).toString());
    } else if (kind == QLatin1String("leave")) {
        end(WebSocketFrames::Normal);
    } else if (kind == QLatin1String("join") && m_session.state() == UserSession::State::Disconnected
               && !m_leaving) {
        const QString nickname = object.value(QLatin1String("nick")).toString();
        if (!acceptableNickname(nickname)) {
            end(WebSocketFrames::PolicyViolated);
            return;
        }
        join(m_browser, nickname.trimmed());
    }
}

void Bridge::end(int code)
{
    m_leaving = true;
    m_endCode = code;
    // Nobody reads a close there any more.
    if (code == WebSocketFrames::Abnormal && m_browser)
        m_browser->abort();
    if (m_session.state() != UserSession::State::Disconnected) {
        // Ends the session: stateChanged tells the page and closes.
        m_session.leave();
        return;
    }
    m_endReason = endNotice();
    sendState();
    closeBrowser(quint16(code));
    finishIfDone();
}

QString Bridge::endNotice() const
{
    return m_endCode == WebSocketFrames::GoingAway ? GatewayStopping : LeftNotice;
}

void Bridge::closeBrowser(quint16 code)
{
    if (m_browser && m_browser->isOpen())
        m_browser->close(quint16(code));
}

void Bridge::socketGone()
{
    if (m_browser)
        m_browser->deleteLater();
    m_browser = nullptr;
    m_stuck.stop();
    m_behind = false;
    m_session.holdChat(false);
    finishIfDone();
}

void Bridge::silent()
{
    end(WebSocketFrames::Abnormal);
}

void Bridge::finishIfDone()
{
    const bool sessionOver = m_session.state() == UserSession::State::Disconnected;
    if (m_finished || m_browser || !sessionOver)
        return;
    m_finished = true;
    emit finished();
}

void Bridge::stateChanged(UserSession::State state)
{
    if (state == UserSession::State::Leaving)
        return;
    if (state != UserSession::State::Disconnected) {
        sendState();
        // A later user is shown the list at once; the first, once the
        // server's roster has come.
        if (state == UserSession::State::Connected && m_presence.known())
            sendPeople();
        return;
    }
    // Ended without a leave of ours: lost() follows with the reason.
    if (!m_leaving)
        return;
    m_endReason = endNotice();
    sendState();
    closeBrowser(quint16(m_endCode));
    finishIfDone();
}

void Bridge::lost(const QString &reason)
{
    m_endReason = reason;
    sendState();
    finishIfDone();
}

void Bridge::chatArrived(const QString &text)
{
    // Every session reads the same line at about the same time: it is made
    // into a frame once, and the others send the same, shared, bytes.
    static QString lastText;
    static QByteArray lastFrame;
    if (text != lastText) {
        lastText = text;
        lastFrame = frameOf({{QStringLiteral("t"), QStringLiteral("chat")},
                             {QStringLiteral("text"), ShownRead::shownText(text)}});
    }
    sendFrame(lastFrame);
}

void Bridge::sendShared(const QByteArray &frame)
{
    if (m_session.state() == UserSession::State::Connected)
        sendFrame(frame);
}

void Bridge::send(const QJsonObject &message)
{
    if (m_browser && m_browser->isOpen())
        sendFrame(frameOf(message));
}

void Bridge::sendFrame(const QByteArray &frame)
{
    if (!m_browser || !m_browser->isOpen())
        return;
    m_browser->sendFrame(frame);
    checkBehind();
}

void Bridge::sendState()
{
    QJsonObject message{{QStringLiteral("t"), QStringLiteral("state")}};
    switch (m_session.state()) {
    case UserSession::State::Connected:
        message.insert(QStringLiteral("state"), QStringLiteral("joined"));
        break;
    case UserSession::State::Connecting:
    case UserSession::State::Leaving:
        message.insert(QStringLiteral("state"), QStringLiteral("connecting"));
        break;
    case UserSession::State::Disconnected:
        message.insert(QStringLiteral("state"), QStringLiteral("ended"));
        message.insert(QStringLiteral("reason"), m_endReason);
        message.insert(QStringLiteral("retry"), !m_leaving || m_endCode != WebSocketFrames::Normal);
        break;
    }
    send(message);
}

void Bridge::sendPeople()
{
    if (m_session.state() != UserSession::State::Connected)
        return;
    // A browser that is behind gets the list once it has caught up: only the
    // newest one matters.
    if (m_behind) {
        m_peopleWaiting = true;
        return;
    }
    m_peopleWaiting = false;
    sendFrame(m_presence.peopleFrame());
}

void Bridge::writtenSome()
{
    if (m_behind)
        m_stuck.start();
    checkBehind();
}

void Bridge::checkBehind()
{
    if (!m_browser)
        return;
    const bool behind = m_browser->bytesToWrite() > m_limits.behindBytes;
    if (behind == m_behind)
        return;
    m_behind = behind;
    m_session.holdChat(behind);
    if (behind) {
        m_stuck.start();
        return;
    }
    m_stuck.stop();
    if (m_peopleWaiting)
        sendPeople();
}
