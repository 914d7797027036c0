#pragma once

#include "net/socketpool.h"
#include "net/tcpendpoint.h"
#include "rawsocket.h"

#include <QObject>

// A loopback pool whose accepted connections get a small kernel send
// buffer, so that a peer that does not read leaves part of what is sent to
// it in the element's own queue.
struct NarrowServer
{
    QObject owner;
    TcpEndpointFactory factory{&owner};
    SocketPool pool{QStringLiteral("narrow"), 0, factory};

    NarrowServer()
    {
        QObject::connect(&pool, &SocketPool::connectionRequest, &pool, [this](qint16, qintptr id) {
            RawSocket::setSendBuffer(int(id), RawSocket::SmallSendBuffer);
            (void)pool.acceptRequest(id);
        });
    }
    quint16 port() const { return pool.endpoint(0)->localPort(); }
};
