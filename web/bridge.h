#pragma once

#include "browserlink.h"
#include "usersession.h"

#include <QJsonObject>
#include <QPointer>
#include <QTimer>

class Presence;

// One browser user: a four-channel session with the server, and the
// WebSocket of the page that speaks for it. The session outlives a dropped
// WebSocket for the silence bound, so that the page, reconnecting, takes it
// over instead of joining a second time. Who is present comes from the
// gateway's one reading for everyone (Presence).
class Bridge final : public QObject
{
    Q_OBJECT

public:
    struct Limits
    {
        // While more than this waits to be written to the browser, its
        // user's chat channel is not read.
        qint64 behindBytes = 256 * 1024;
        // A browser behind that takes nothing for this long is closed.
        int stuckMs = 10 * 1000;
        // A browser heard nothing from for this long is closed, and a
        // session without a browser leaves after it.
        int silenceMs = 60 * 1000;
    };

    // Longer nicknames are refused: a nickname is a word or two.
    static constexpr qsizetype MaxNicknameChars = 64;
    static bool acceptableNickname(const QString &nickname);

    Bridge(const QString &server, Limits limits, SocketReactor &reactor, Presence &presence,
           QObject *parent = nullptr);
    ~Bridge() override;

    // Whether a reconnecting page may still take this session over.
    bool open() const { return !m_leaving; }
    QString nickname() const { return m_session.nickname(); }

    // Leaves, and closes the browser's WebSocket with code.
    void end(int code);
    // Starts the session under nickname, speaking through link.
    void join(BrowserLink *link, const QString &nickname);
    // A page that reconnected: link speaks for the session from now on.
    void takeOver(BrowserLink *link);
    // A message every joined browser gets alike (arrivals, departures).
    void sendShared(const QByteArray &frame);
    // The people list has changed.
    void sendPeople();

signals:
    // The session is over and no browser speaks for it.
    void finished();

private:
    void attach(BrowserLink *link);
    void received(const QString &message);
    void socketGone();
    void silent();
    void stateChanged(UserSession::State state);
    void lost(const QString &reason);
    void chatArrived(const QString &text);
    void send(const QJsonObject &message);
    void sendFrame(const QByteArray &frame);
    void sendState();
    void writtenSome();
    void checkBehind();
    void closeBrowser(quint16 code);
    // The reason a page is given when the gateway ends its session.
    QString endNotice() const;
    void finishIfDone();

    QString m_server;
    Limits m_limits;
    Presence &m_presence;
    UserSession m_session;
    QPointer<BrowserLink> m_browser;
    // Why the session ended, while it stays ended.
    QString m_endReason;
    // The session leaves for good: the user's own leave, or the browser gone.
    bool m_leaving = false;
    // How the gateway ended the session: only the user's own leave (a normal
    // close) tells the page not to come back.
    int m_endCode = 0;
    bool m_finished = false;
    bool m_behind = false;
    bool m_peopleWaiting = false;
    QTimer m_silence;
    QTimer m_stuck;
};
