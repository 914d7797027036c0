#pragma once

#include "net/endpoint.h"
#include "net/socketpool.h"
#include "net/yield.h"

#include <QByteArrayList>

#include <functional>
#include <map>
#include <set>
#include <vector>

// An endpoint driven by the test: it connects, receives and fails on command,
// and records every send.
class FakeEndpoint final : public Endpoint
{
public:
    FakeEndpoint(EndpointEvents &events, qint16 index) : Endpoint(events, index) {}

    Outcome listen(quint16 port) override
    {
        if (listenFailure)
            return listenFailure;
        listenedOn = port;
        setState(EndpointState::Listening);
        return {};
    }
    Outcome accept(qintptr requestId) override
    {
        if (acceptFailure)
            return acceptFailure;
        acceptedRequest = requestId;
        setState(EndpointState::Connected);
        return {};
    }
    Outcome getData(QByteArray &out) override
    {
        if (readFailure)
            return readFailure;
        out = std::exchange(inbox, {});
        ++reads;
        return {};
    }
    Outcome sendData(const QByteArray &bytes) override
    {
        if (sendFailure)
            return sendFailure;
        sent.append(bytes);
        return {};
    }
    void close() override
    {
        ++closes;
        if (closeLog)
            closeLog->push_back(this);
        setState(EndpointState::Closed);
    }

    // Test controls.
    void arrive(const QByteArray &bytes)
    {
        inbox += bytes;
        events().onDataArrival(index(), bytes.size());
    }
    void request(qintptr requestId) { events().onConnectionRequest(index(), requestId); }
    void fail(const Failure &failure) { events().onSocketError(index(), failure); }
    void drop() { setState(EndpointState::Closed); }
    // Bytes the peer received, run together as a TCP stream would deliver them.
    QByteArray received() const { return sent.join(); }

    QByteArray inbox;
    QByteArrayList sent;
    Outcome listenFailure;
    Outcome acceptFailure;
    Outcome readFailure;
    Outcome sendFailure;
    quint16 listenedOn = 0;
    qintptr acceptedRequest = -1;
    int reads = 0;
    int closes = 0;
    // Shared by the endpoints of a test that checks the order of closes.
    std::vector<const Endpoint *> *closeLog = nullptr;
};

class FakeEndpointFactory final : public EndpointFactory
{
public:
    std::unique_ptr<Endpoint> create(EndpointEvents &events, qint16 index) override
    {
        ++created;
        return std::make_unique<FakeEndpoint>(events, index);
    }
    QString localHostIdentity() const override { return hostIdentity; }
    void discardRequest(qintptr requestId) override { discarded.insert(requestId); }

    QString hostIdentity = QStringLiteral("lab-pc");
    std::set<qintptr> discarded;
    int created = 0;
};

inline FakeEndpoint &fake(SocketPool &pool, int index)
{
    return *static_cast<FakeEndpoint *>(pool.endpoint(index));
}

// Connects a new client to the pool through a connection request, the way the
// listening element would, and returns its element.
inline FakeEndpoint &connectClient(SocketPool &pool)
{
    static qintptr nextRequest = 1000;
    fake(pool, 0).request(nextRequest++);
    return fake(pool, pool.highestIndex());
}

// A yield the test controls: it counts, and runs the actions queued for a
// given yield number (1 is the first yield after construction or reset()).
class ControlledYield final : public Yield
{
public:
    void operator()() override
    {
        ++count;
        auto it = m_actions.find(count);
        if (it != m_actions.end()) {
            auto action = std::move(it->second);
            m_actions.erase(it);
            action();
        }
        if (everyTime)
            everyTime();
    }
    void at(int yieldNumber, std::function<void()> action)
    {
        m_actions[yieldNumber] = std::move(action);
    }
    void reset()
    {
        count = 0;
        m_actions.clear();
        everyTime = nullptr;
    }

    int count = 0;
    std::function<void()> everyTime;

private:
    std::map<int, std::function<void()>> m_actions;
};
