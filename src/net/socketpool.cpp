#include "socketpool.h"

#include <algorithm>

namespace {
Failure noSuchElement(int index)
{
    return {FailureNumber::InvalidIndex,
            QStringLiteral("Denetim dizisi öğesi yok (%1)").arg(index)};
}
} // namespace

SocketPool::SocketPool(QString name, quint16 port, EndpointFactory &factory, QObject *parent)
    : QObject(parent), m_name(std::move(name)), m_port(port), m_factory(factory)
{
    m_elements.push_back(m_factory.create(*this, 0));
    m_readable.insert(0);
}

SocketPool::~SocketPool() = default;

qint16 SocketPool::state(int index) const
{
    return contains(index) ? m_elements[size_t(index)]->state() : EndpointState::Closed;
}

Outcome SocketPool::getData(int index, QByteArray &out)
{
    out.clear();
    if (!contains(index))
        return noSuchElement(index);
    Endpoint &element = *m_elements[size_t(index)];
    const Outcome read = element.getData(out);
    if (!read && element.state() == EndpointState::Closed)
        m_readable.erase(qint16(index));
    return read;
}

qint16 SocketPool::nextReadable(int from) const
{
    const auto next = m_readable.lower_bound(qint16(std::clamp(from, 0, int(count()))));
    return next == m_readable.end() ? count() : *next;
}

Outcome SocketPool::sendData(int index, const QByteArray &bytes)
{
    if (!contains(index))
        return noSuchElement(index);
    return m_elements[size_t(index)]->sendData(bytes);
}

void SocketPool::close(int index)
{
    if (contains(index))
        m_elements[size_t(index)]->close();
}

Outcome SocketPool::listen()
{
    return m_elements.front()->listen(m_port);
}

Outcome SocketPool::createElement()
{
    if (m_elements.size() >= size_t(Capacity))
        return Failure{FailureNumber::CapacityReached,
                       QStringLiteral("Bağlantı dizisi dolu (%1 öğe)").arg(Capacity)};
    m_readable.insert(qint16(m_elements.size()));
    m_elements.push_back(m_factory.create(*this, qint16(m_elements.size())));
    return {};
}

Outcome SocketPool::acceptRequest(qintptr requestId)
{
    if (requestId == m_offeredRequest)
        m_offeredClaimed = true;
    const qint16 before = highestIndex();
    if (Outcome failed = createElement()) {
        m_factory.discardRequest(requestId);
        return failed;
    }
    const qint16 top = highestIndex();
    Q_ASSERT(top == before + 1);
    return m_elements[size_t(top)]->accept(requestId);
}

void SocketPool::onConnectionRequest(qint16 index, qintptr requestId)
{
    const qintptr outer = m_offeredRequest;
    const bool outerClaimed = m_offeredClaimed;
    m_offeredRequest = requestId;
    m_offeredClaimed = false;
    emit connectionRequest(index, requestId);
    if (!m_offeredClaimed)
        m_factory.discardRequest(requestId);
    m_offeredRequest = outer;
    m_offeredClaimed = outerClaimed;
}

void SocketPool::onDataArrival(qint16 index, qint64 bytes)
{
    m_readable.insert(index);
    emit dataArrival(index, bytes);
}

void SocketPool::onSocketError(qint16 index, const Failure &failure)
{
    emit socketError(index, failure);
}

void SocketPool::onStateChanged(qint16 index, qint16 from, qint16 to)
{
    if (to != EndpointState::Closed)
        m_readable.insert(index);
    m_connected += int(to == EndpointState::Connected) - int(from == EndpointState::Connected);
    if (from == EndpointState::Connected)
        emit connectionEnded(index);
}
