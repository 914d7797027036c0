#pragma once

#include "net/socketpool.h"
#include "net/tcpendpoint.h"
#include "rawsocket.h"

#include <QObject>

// A pool of real TCP endpoints on a free port whose connection requests are
// accepted the way the channels accept them. Given a send buffer size, each
// accepted connection gets that kernel send buffer: a small one makes a peer
// that does not read leave part of what is sent to it in the element's own
// queue. Limits per source address are the server's unless a test sets its
// own.
struct LoopbackPool
{
    QObject owner;
    TcpEndpointFactory factory;
    SocketPool pool{QStringLiteral("test"), 0, factory};

    explicit LoopbackPool(int sendBuffer = 0, AdmissionLimits limits = {}) : factory(&owner, limits)
    {
        QObject::connect(&pool, &SocketPool::connectionRequest, &pool, [this, sendBuffer](qint16, qintptr id) {
            if (sendBuffer > 0)
                RawSocket::setSendBuffer(int(id), sendBuffer);
            (void)pool.acceptRequest(id);
        });
    }
    quint16 port() const { return pool.endpoint(0)->localPort(); }
};
