#pragma once

#include "failure.h"

#include <QByteArray>
#include <QtGlobal>

#include <memory>
#include <utility>

// Endpoint states. Only Connected is ever tested by the relay; the others are
// here so that a state can be shown and told apart in tests.
namespace EndpointState {
inline constexpr qint16 Closed = 0;
inline constexpr qint16 Listening = 2;
inline constexpr qint16 Connected = 7;
} // namespace EndpointState

// Where an endpoint delivers its events. The pool implements it and turns the
// calls into signals; an endpoint is not a QObject so that the many closed
// elements a long-running pool collects cost only a few bytes each.
class EndpointEvents
{
public:
    virtual void onConnectionRequest(qint16 index, qintptr requestId) = 0;
    virtual void onDataArrival(qint16 index, qint64 bytes) = 0;
    virtual void onSocketError(qint16 index, const Failure &failure) = 0;
    virtual void onStateChanged(qint16 index, qint16 from, qint16 to) = 0;

protected:
    ~EndpointEvents() = default;
};

// One TCP endpoint: element 0 of a pool listens, every other element carries
// one accepted connection. Text is bytes; nothing frames it.
class Endpoint
{
public:
    Endpoint(EndpointEvents &events, qint16 index) : m_events(events), m_index(index) {}
    virtual ~Endpoint() = default;
    Endpoint(const Endpoint &) = delete;
    Endpoint &operator=(const Endpoint &) = delete;

    virtual Outcome listen(quint16 port) = 0;
    // requestId is the descriptor handed over with a connection request; the
    // endpoint owns it from this call on, also when the call fails.
    virtual Outcome accept(qintptr requestId) = 0;
    // All bytes received and not yet read, consumed; empty when none.
    virtual Outcome getData(QByteArray &out) = 0;
    virtual Outcome sendData(const QByteArray &bytes) = 0;
    // Idempotent: closing a closed endpoint does nothing.
    virtual void close() = 0;
    qint16 state() const { return m_state; }
    qint16 index() const { return m_index; }
    // The port a listening endpoint is bound to (0 otherwise), for tests that
    // listen on a free port instead of the channel's fixed one.
    virtual quint16 localPort() const { return 0; }

protected:
    EndpointEvents &events() const { return m_events; }
    // Every change of state goes through here so the pool can keep count of
    // its connected elements without asking each of them.
    void setState(qint16 state)
    {
        if (state == m_state)
            return;
        const qint16 from = std::exchange(m_state, state);
        m_events.onStateChanged(m_index, from, state);
    }

private:
    EndpointEvents &m_events;
    qint16 m_index;
    qint16 m_state = EndpointState::Closed;
};

// Makes the endpoints of a pool, so that tests can put fakes in their place.
class EndpointFactory
{
public:
    virtual ~EndpointFactory() = default;
    virtual std::unique_ptr<Endpoint> create(EndpointEvents &events, qint16 index) = 0;
    virtual QString localHostIdentity() const = 0;
    // A descriptor nobody accepted must not leak.
    virtual void discardRequest(qintptr requestId) = 0;
};
