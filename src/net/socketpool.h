#pragma once

#include "endpoint.h"

#include <QObject>

#include <memory>
#include <set>
#include <vector>

// A growable array of endpoints for one channel. Element 0 listens on the
// channel's fixed port; every accepted connection gets the next index. Elements
// are never removed or reused, so indices stay contiguous and a pool only grows.
class SocketPool final : public QObject, private EndpointEvents
{
    Q_OBJECT

public:
    // Indices and counts are 16-bit signed: at most 32767 elements (0 to 32766).
    static constexpr int Capacity = 32767;

    SocketPool(QString name, quint16 port, EndpointFactory &factory, QObject *parent = nullptr);
    ~SocketPool() override;

    const QString &name() const { return m_name; }
    quint16 port() const { return m_port; }

    qint16 highestIndex() const { return qint16(m_elements.size() - 1); }
    qint16 count() const { return qint16(m_elements.size()); }
    // Elements in the connected state, kept up to date as they change.
    int connectedCount() const { return m_connected; }
    bool contains(int index) const { return index >= 0 && index < int(m_elements.size()); }
    // The first element from index from on that a read may still give bytes,
    // count() when there is none. An element is passed over once it was read
    // while not connected: a closed element never connects again, and all it
    // keeps are the bytes its peer sent before going away, which that read
    // took. The message handler reads every element on each arrival, and a
    // pool that has seen thousands of connections come and go would
    // otherwise make it walk all of them for every chat line.
    qint16 nextReadable(int from) const;

    // Element operations; an index outside the pool is a failure, not a crash.
    qint16 state(int index) const;
    Outcome getData(int index, QByteArray &out);
    Outcome sendData(int index, const QByteArray &bytes);
    void close(int index);
    Outcome listen();
    QString localHostIdentity() const { return m_factory.localHostIdentity(); }

    // The element itself, for tests that drive a fake endpoint.
    Endpoint *endpoint(int index) const { return contains(index) ? m_elements[size_t(index)].get() : nullptr; }

    // Appends a closed element at highestIndex() + 1.
    Outcome createElement();
    // The accept of a connection request: a new element at the top of the pool
    // takes the request. A request beyond capacity is refused and its
    // descriptor closed; an element whose accept failed stays, closed.
    Outcome acceptRequest(qintptr requestId);

signals:
    void connectionRequest(qint16 index, qintptr requestId);
    void dataArrival(qint16 index, qint64 bytes);
    void socketError(qint16 index, const Failure &failure);
    // A connected element is connected no more: its peer went, the server
    // dropped it, or it was closed. It may come from inside a send, so
    // whoever takes it should only take note.
    void connectionEnded(qint16 index);

private:
    void onConnectionRequest(qint16 index, qintptr requestId) override;
    void onDataArrival(qint16 index, qint64 bytes) override;
    void onSocketError(qint16 index, const Failure &failure) override;
    void onStateChanged(qint16 index, qint16 from, qint16 to) override;

    QString m_name;
    quint16 m_port;
    EndpointFactory &m_factory;
    std::vector<std::unique_ptr<Endpoint>> m_elements;
    // The request being offered to the connection-request handlers; whatever
    // they leave unclaimed is discarded so that no descriptor leaks.
    qintptr m_offeredRequest = -1;
    bool m_offeredClaimed = false;
    int m_connected = 0;
    // Indices of the elements nextReadable() does not pass over.
    std::set<qint16> m_readable;
};
