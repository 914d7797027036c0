#pragma once

#include "socketreactor.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>

// A connection that was closed with output still queued: it gets until its
// deadline to take the rest. It belongs to the reactor, not to the element that
// closed it, so the element is free (and a closed element stays small).
//
// Closing a socket whose peer's bytes lie unread makes the kernel answer with
// a reset and throw away what it still holds to send, so a peer that was
// writing too (a flooding client, or a text that crossed the close) lost the
// tail of what was queued for it. So the lingerer reads and discards what
// comes in, ends its own side with a FIN once everything is handed over, and
// closes when the peer has ended too (or at the deadline).
class Lingerer final : public QObject, public ReactorClient
{
    Q_OBJECT

public:
    Lingerer(SocketReactor &reactor, int fd, QByteArray rest, int lingerMs);
    ~Lingerer() override;

    void onReady(std::uint32_t events) override;
    void onWake() override {}

private:
    // False when the connection is over.
    bool discardInput();
    // False when the connection is over.
    bool sendRest();
    void closeNow();
    void finish();

    SocketReactor &m_reactor;
    int m_fd;
    SocketReactor::Key m_key = SocketReactor::NoKey;
    QByteArray m_rest;
    qsizetype m_sent = 0;
    bool m_allSent = false;
    bool m_peerEnded = false;
};
