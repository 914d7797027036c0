#pragma once

#include "fakeendpoint.h"

#include <vector>

// Fake endpoints that note each close in a log shared by every endpoint of the
// factory, so that a test sees the order of closes across the pools.
class LoggedEndpointFactory final : public EndpointFactory
{
public:
    std::unique_ptr<Endpoint> create(EndpointEvents &events, qint16 index) override
    {
        auto endpoint = std::make_unique<FakeEndpoint>(events, index);
        endpoint->closeLog = &closes;
        return endpoint;
    }
    QString localHostIdentity() const override { return QStringLiteral("lab-pc"); }
    void discardRequest(qintptr) override {}

    std::vector<const Endpoint *> closes;
};

inline FakeEndpoint &element(SocketPool &pool, int index)
{
    return fake(pool, index);
}

// A client connects through a request on the listening element.
inline FakeEndpoint &connectTo(SocketPool &pool)
{
    static qintptr nextRequest = 5000;
    element(pool, 0).request(nextRequest++);
    return element(pool, pool.highestIndex());
}
