#pragma once

#include "chatsession.h"
#include "joinannouncements.h"
#include "people.h"

#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QWebSocketProtocol>

class QWebSocket;

// One browser user: a four-channel session with the server, and the
// WebSocket of the page that speaks for it. The session outlives a dropped
// WebSocket for the silence bound, so that the page, reconnecting, takes it
// over instead of joining a second time.
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

    Bridge(const QString &server, Limits limits, QObject *parent = nullptr);
    ~Bridge() override;

    // Whether a reconnecting page may still take this session over.
    bool open() const { return !m_leaving; }

    // Leaves, and closes the browser's WebSocket with code.
    void end(int code);
    // Starts the session under nickname, speaking through socket.
    void join(QWebSocket *socket, const QString &nickname);
    // A page that reconnected: socket speaks for the session from now on.
    void takeOver(QWebSocket *socket);

signals:
    // The session is over and no browser speaks for it.
    void finished();

private:
    void attach(QWebSocket *socket);
    void received(const QString &message);
    void socketGone();
    void silent();
    void stateChanged(ChatSession::State state);
    void lost(const QString &reason);
    void chatArrived(const QString &text);
    void joinArrived(const QString &text);
    void leaveArrived(const QString &text);
    void send(const QJsonObject &message);
    void sendState();
    void sendPeople();
    void writtenSome();
    void checkBehind();
    void closeBrowser(QWebSocketProtocol::CloseCode code);
    void finishIfDone();

    QString m_server;
    Limits m_limits;
    ChatSession m_session{this};
    People m_people{this};
    JoinAnnouncements m_joins;
    QPointer<QWebSocket> m_socket;
    // Why the session ended, while it stays ended.
    QString m_endReason;
    // The session leaves for good: the user's own leave, or the browser gone.
    bool m_leaving = false;
    bool m_finished = false;
    bool m_behind = false;
    bool m_peopleWaiting = false;
    // Arrivals come in bursts (a class joining), each changing the list:
    // the browser gets the list once a burst is over.
    QTimer m_peopleSettle;
    QTimer m_silence;
    QTimer m_stuck;
};
