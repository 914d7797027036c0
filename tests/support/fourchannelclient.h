#pragma once

#include "wire/channelports.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

// The four channels in the order of ChannelPort::All.
enum Channel { Message, Roster, Join, Leave };

// One raw client connection to a channel of the server on this machine, for
// tests that send what no well-behaved client would. What arrives goes to
// onBytes, or is kept in got when nothing else wants it.
class ChannelClient
{
public:
    explicit ChannelClient(Channel channel) : m_channel(channel)
    {
        QObject::connect(&socket, &QIODevice::readyRead, &socket, [this] {
            const QByteArray bytes = socket.readAll();
            received += bytes.size();
            if (onBytes)
                onBytes(bytes);
            else
                got += bytes;
        });
    }

    void open() { socket.connectToHost(QHostAddress::LocalHost, ChannelPort::All[size_t(m_channel)]); }
    bool connected() const { return socket.state() == QAbstractSocket::ConnectedState; }
    void send(const QByteArray &bytes) { socket.write(bytes); }
    // A reset instead of an orderly close: SO_LINGER 0 makes close send RST.
    void reset()
    {
        if (socket.socketDescriptor() >= 0) {
            const linger hard{1, 0};
            ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        socket.abort();
    }

    QTcpSocket socket;
    QByteArray got;
    qint64 received = 0;
    std::function<void(const QByteArray &)> onBytes;

private:
    Channel m_channel;
};

// A raw client on all four channels, which connect when connectAll() is
// called.
struct FourChannelClient
{
    std::array<std::unique_ptr<ChannelClient>, 4> on;

    void connectAll()
    {
        for (int c = Message; c <= Leave; ++c) {
            on[size_t(c)] = std::make_unique<ChannelClient>(Channel(c));
            on[size_t(c)]->open();
        }
    }
    ChannelClient &operator[](Channel c) { return *on[size_t(c)]; }
    bool connected() const
    {
        return std::all_of(on.begin(), on.end(), [](const auto &client) { return client && client->connected(); });
    }
    bool disconnected() const
    {
        return std::all_of(on.begin(), on.end(), [](const auto &client) {
            return !client || client->socket.state() == QAbstractSocket::UnconnectedState;
        });
    }
};
