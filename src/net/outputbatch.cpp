#include "outputbatch.h"

#include "tcpendpoint.h"

#include <QAbstractEventDispatcher>

#include <algorithm>

OutputBatch::OutputBatch(QObject *parent) : QObject(parent)
{
    if (auto *dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &OutputBatch::writeAll);
        // A pass runs posted events after its awake(); what they sent must
        // not wait for whatever wakes the loop next.
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &OutputBatch::writeAll);
        m_writtenOnWake = true;
    }
}

void OutputBatch::enlist(TcpEndpoint &endpoint)
{
    m_enlisted.push_back(&endpoint);
    if (!m_writtenOnWake && !m_scheduled) {
        m_scheduled = true;
        QMetaObject::invokeMethod(this, &OutputBatch::writeAll, Qt::QueuedConnection);
    }
}

void OutputBatch::forget(const TcpEndpoint &endpoint)
{
    // Only when an endpoint goes away with the whole pool, at the very end.
    std::erase(m_enlisted, &endpoint);
}

void OutputBatch::writeAll()
{
    m_scheduled = false;
    ++m_burst;
    if (m_enlisted.empty())
        return;
    // Writing can end a connection (a peer that reset), which runs handlers
    // that may send again and enlist anew: take the list first.
    const std::vector<TcpEndpoint *> enlisted = std::exchange(m_enlisted, {});
    if (m_ring) {
        submitTogether(enlisted);
        return;
    }
    for (TcpEndpoint *endpoint : enlisted)
        endpoint->writeStaged();
}

void OutputBatch::submitTogether(const std::vector<TcpEndpoint *> &enlisted)
{
    for (TcpEndpoint *endpoint : enlisted) {
        QByteArray bytes;
        const int fd = endpoint->takeStaged(bytes);
        if (fd < 0)
            continue;
        m_sends.push_back({fd, bytes.constData(), bytes.size(), {}});
        m_pending.push_back({endpoint, std::move(bytes)});
    }
    m_ring->sendAll(m_sends);
    // Every result is settled before any connection ends: ending one runs
    // handlers that may send to a peer whose result is not settled yet, and
    // its new text would overtake what is left of the old.
    std::vector<TcpEndpoint *> gone;
    for (std::size_t i = 0; i < m_pending.size(); ++i) {
        if (!m_pending[i].endpoint->settleStaged(m_pending[i].bytes, m_sends[i].result))
            gone.push_back(m_pending[i].endpoint);
    }
    m_pending.clear();
    m_sends.clear();
    if (m_ring->broken())
        m_ring.reset(); // on with the ordinary sends, as where there is no ring
    for (TcpEndpoint *endpoint : gone)
        endpoint->departed();
}
