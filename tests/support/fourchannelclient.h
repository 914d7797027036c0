#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <array>
#include <memory>

// The four channels in the order clients usually open them, and their ports.
enum Channel { Message, Roster, Join, Leave };
inline constexpr std::array<quint16, 4> Ports = {10420, 4201, 10082, 10081};

// A raw client on all four channels of the server on this machine, keeping
// everything each channel delivered.
struct FourChannelClient
{
    std::array<std::unique_ptr<QTcpSocket>, 4> sockets;
    std::array<QByteArray, 4> got;

    void connectAll()
    {
        for (int c = 0; c < 4; ++c) {
            sockets[c] = std::make_unique<QTcpSocket>();
            QObject::connect(sockets[c].get(), &QIODevice::readyRead, sockets[c].get(),
                             [this, c] { got[c] += sockets[c]->readAll(); });
            sockets[c]->connectToHost(QHostAddress::LocalHost, Ports[c]);
        }
    }
    void send(Channel c, const QByteArray &bytes) { sockets[c]->write(bytes); }
};
