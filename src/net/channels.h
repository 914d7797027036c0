#pragma once

#include "broadcast.h"
#include "socketpool.h"
#include "wire/channelports.h"

#include <QObject>

class EndpointFactory;
class Yield;

// The four channel pools of the server and their broadcast procedures. Every
// connection request is accepted on a new element at the top of its pool.
class Channels final : public QObject
{
    Q_OBJECT

public:
    Channels(EndpointFactory &endpoints, Yield &yield, QObject *parent = nullptr);

    SocketPool &Winsock() { return m_winsock; }
    SocketPool &Winusers() { return m_winusers; }
    SocketPool &Winjoin() { return m_winjoin; }
    SocketPool &Winleft() { return m_winleft; }
    Yield &yield() { return m_yield; }

    // SendOnArray carries the server's own texts on the message channel,
    // SendOnArray5 relayed client text; they do the same thing.
    Outcome SendOnArray(QByteArray data) { return broadcast(m_winsock, std::move(data), m_yield); }
    Outcome SendOnArray2(QByteArray client) { return broadcast(m_winusers, std::move(client), m_yield); }
    Outcome SendOnArray3(QByteArray left) { return broadcast(m_winleft, std::move(left), m_yield); }
    Outcome SendOnArray4(QByteArray join) { return broadcast(m_winjoin, std::move(join), m_yield); }
    Outcome SendOnArray5(QByteArray toall) { return broadcast(m_winsock, std::move(toall), m_yield); }

private:
    Yield &m_yield;
    SocketPool m_winsock;
    SocketPool m_winusers;
    SocketPool m_winjoin;
    SocketPool m_winleft;
};
