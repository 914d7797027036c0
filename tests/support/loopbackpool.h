#pragma once

#include "net/socketpool.h"
#include "net/tcpendpoint.h"

#include <QObject>

// A pool of real TCP endpoints on a free port whose connection requests are
// accepted the way the channels accept them.
struct LoopbackPool
{
    QObject owner;
    TcpEndpointFactory factory;
    SocketPool pool{QStringLiteral("test"), 0, factory};

    explicit LoopbackPool(AdmissionLimits limits = {}) : factory(&owner, limits)
    {
        QObject::connect(&pool, &SocketPool::connectionRequest, &pool,
                         [this](qint16, qintptr id) { (void)pool.acceptRequest(id); });
    }
    quint16 port() const { return pool.endpoint(0)->localPort(); }
};
