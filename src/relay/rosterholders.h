#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>

// Which roster connection gave which nickname, so that a user whose
// connections end without a leave (a laptop closed, a machine switched off, a
// crash, a network gone) does not stay in the roster for the rest of the run.
// Such a user has vanished once the roster connection that gave the nickname
// has ended, no leave for the nickname came, and no other live roster
// connection holds the same nickname.
//
// A client that leaves sends its nickname on the leave channel and then
// closes all four connections, and the server may see the roster connection
// end before it reads the leave from another socket. So an ended holder is
// judged GraceMs later, and not while a leave is still being handled.
class RosterHolders final : public QObject
{
    Q_OBJECT

public:
    static constexpr int GraceMs = 1000;

    // leavesPending tells whether leave arrivals are being handled or wait
    // for their turn; while they do, no holder is judged.
    explicit RosterHolders(std::function<bool()> leavesPending, QObject *parent = nullptr);

    // The roster handler read nickname from element, whose connection is
    // still up or, when connected is false, ended before the read. A client
    // sends its nickname once; should it send another, the latest stands
    // for it.
    void took(qint16 element, const QByteArray &nickname, bool connected);
    // element's connection ended; one that gave no nickname was nobody.
    void ended(qint16 element);
    // A leave for nickname came: whoever gave it has left, not vanished.
    void left(const QByteArray &nickname);
    // The server stopped: every connection ends, and nobody has vanished.
    void clear();

signals:
    void vanished(const QByteArray &nickname);

private:
    struct Holder
    {
        QByteArray nickname;
        bool left = false;
    };
    struct Ended
    {
        QByteArray nickname;
        qint64 at = 0;
    };

    void judge();
    void startEnded(const QByteArray &nickname);
    bool isHeldByAnother(const QByteArray &nickname) const;

    std::function<bool()> m_leavesPending;
    QHash<qint16, Holder> m_live;
    // Oldest first; each waits GraceMs from its end.
    std::deque<Ended> m_ended;
    QElapsedTimer m_clock;
    QTimer m_judge;
    bool m_judging = false;
};
