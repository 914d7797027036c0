#include "outputbatch.h"

#include "tcpendpoint.h"

#include <QAbstractEventDispatcher>

#include <algorithm>

OutputBatch::OutputBatch(QObject *parent) : QObject(parent)
{
    if (auto *dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &OutputBatch::writeAll);
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
    for (TcpEndpoint *endpoint : enlisted)
        endpoint->writeStaged();
}
