#pragma once

#include "fakeendpoint.h"

#include <vector>

// A fake endpoint that also notes each close in a log shared by every endpoint
// of its factory, so that a test sees the order of closes across the pools.
class LoggedEndpoint final : public Endpoint
{
public:
    LoggedEndpoint(EndpointEvents &events, qint16 index, std::vector<const Endpoint *> &closes)
        : fake(events, index), m_closes(closes)
    {
    }

    Outcome listen(quint16 port) override { return fake.listen(port); }
    Outcome accept(qintptr requestId) override { return fake.accept(requestId); }
    Outcome getData(QByteArray &out) override { return fake.getData(out); }
    Outcome sendData(const QByteArray &bytes) override { return fake.sendData(bytes); }
    void close() override
    {
        m_closes.push_back(this);
        fake.close();
    }
    qint16 state() const override { return fake.state(); }

    FakeEndpoint fake;

private:
    std::vector<const Endpoint *> &m_closes;
};

class LoggedEndpointFactory final : public EndpointFactory
{
public:
    std::unique_ptr<Endpoint> create(EndpointEvents &events, qint16 index) override
    {
        return std::make_unique<LoggedEndpoint>(events, index, closes);
    }
    QString localHostIdentity() const override { return QStringLiteral("lab-pc"); }
    void discardRequest(qintptr) override {}

    std::vector<const Endpoint *> closes;
};

inline FakeEndpoint &element(SocketPool &pool, int index)
{
    return static_cast<LoggedEndpoint *>(pool.endpoint(index))->fake;
}

// A client connects through a request on the listening element.
inline FakeEndpoint &connectTo(SocketPool &pool)
{
    static qintptr nextRequest = 5000;
    element(pool, 0).request(nextRequest++);
    return element(pool, pool.highestIndex());
}
