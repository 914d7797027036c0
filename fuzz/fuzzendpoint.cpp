#include "fuzzendpoint.h"

#include <cstdio>
#include <cstdlib>

namespace {
const Failure Refused{FailureNumber::SocketError, QStringLiteral("fuzz: refused")};
const Failure Gone{FailureNumber::NotConnected, QStringLiteral("fuzz: not connected")};
const Failure Reset{FailureNumber::ConnectionReset, QStringLiteral("fuzz: reset")};
} // namespace

Outcome FuzzEndpoint::listen(quint16)
{
    setState(EndpointState::Listening);
    return {};
}

Outcome FuzzEndpoint::accept(qintptr)
{
    if (failAccept)
        return Refused;
    setState(EndpointState::Connected);
    return {};
}

Outcome FuzzEndpoint::getData(QByteArray &out)
{
    if (failRead) {
        m_observer.readFailed(m_channel, index());
        return Gone;
    }
    out = std::exchange(inbox, {});
    m_observer.readDone(m_channel, index(), out);
    return {};
}

Outcome FuzzEndpoint::sendData(const QByteArray &bytes)
{
    if (failSend)
        return Reset;
    m_observer.sending(m_channel, index(), state(), bytes);
    return {};
}

void FuzzEndpoint::arrive(const QByteArray &bytes, bool withEvent)
{
    inbox += bytes;
    if (withEvent)
        events().onDataArrival(index(), bytes.size());
}

std::unique_ptr<Endpoint> FuzzEndpointFactory::create(EndpointEvents &events, qint16 index)
{
    if (index == 0 && m_sinksKnown < ChannelCount)
        m_sinks[size_t(m_sinksKnown++)] = &events;
    for (int c = 0; c < m_sinksKnown; ++c) {
        if (m_sinks[size_t(c)] != &events)
            continue;
        auto endpoint = std::make_unique<FuzzEndpoint>(events, index, Channel(c), m_observer);
        endpoint->failAccept = std::exchange(failNextAccept, false);
        return endpoint;
    }
    std::fprintf(stderr, "fuzz: an element for a pool that made no element 0\n");
    std::abort();
}
