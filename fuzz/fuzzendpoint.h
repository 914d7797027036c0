#pragma once

#include "net/endpoint.h"

#include <array>
#include <memory>

// The four channels in the order Channels builds their pools.
enum class Channel : quint8 { Message, Roster, Join, Leave };
inline constexpr int ChannelCount = 4;

// Told of every read and every send an endpoint makes, at the moment it makes
// it, so that a send can be judged against what had been read by then.
class EndpointObserver
{
public:
    virtual void readDone(Channel channel, qint16 index, const QByteArray &bytes) = 0;
    virtual void readFailed(Channel channel, qint16 index) = 0;
    virtual void sending(Channel channel, qint16 index, qint16 state, const QByteArray &bytes) = 0;

protected:
    ~EndpointObserver() = default;
};

// An endpoint the fuzzer drives: like the tests' fake, but it reports to an
// observer instead of only keeping a log.
class FuzzEndpoint final : public Endpoint
{
public:
    FuzzEndpoint(EndpointEvents &events, qint16 index, Channel channel, EndpointObserver &observer)
        : Endpoint(events, index), m_observer(observer), m_channel(channel)
    {
    }

    Outcome listen(quint16) override;
    Outcome accept(qintptr requestId) override;
    Outcome getData(QByteArray &out) override;
    Outcome sendData(const QByteArray &bytes) override;
    void close() override { setState(EndpointState::Closed); }

    Channel channel() const { return m_channel; }

    // Bytes from the peer, with or without the data arrival event (without
    // stands for an event still on its way when a handler reads).
    void arrive(const QByteArray &bytes, bool withEvent);
    void request(qintptr requestId) { events().onConnectionRequest(index(), requestId); }
    void raiseError(const Failure &failure) { events().onSocketError(index(), failure); }

    QByteArray inbox;
    bool failAccept = false;
    bool failRead = false;
    bool failSend = false;

private:
    EndpointObserver &m_observer;
    Channel m_channel;
};

// Element 0 of each pool is made while Channels is being built, in the order
// of the channels; later elements belong to the pool of their events sink.
class FuzzEndpointFactory final : public EndpointFactory
{
public:
    explicit FuzzEndpointFactory(EndpointObserver &observer) : m_observer(observer) {}

    std::unique_ptr<Endpoint> create(EndpointEvents &events, qint16 index) override;
    QString localHostIdentity() const override { return QStringLiteral("fuzz-host"); }
    void discardRequest(qintptr) override {}

    // The accept of the next element made fails.
    bool failNextAccept = false;

private:
    EndpointObserver &m_observer;
    std::array<EndpointEvents *, ChannelCount> m_sinks{};
    int m_sinksKnown = 0;
};
