#include "arrivalgate.h"

#include <QScopeGuard>

void ArrivalGate::arrive(qint16 index, const Handler &handler)
{
    if (m_running) {
        holdBack(index);
        return;
    }
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });
    handler(index, false);
    while (!m_held.empty()) {
        const qint16 next = m_held.front();
        m_held.pop_front();
        // Released before the rerun: an arrival of this element during the
        // rerun brings data the rerun may already have read past.
        m_heldElements.remove(next);
        handler(next, true);
    }
}

void ArrivalGate::holdBack(qint16 index)
{
    if (m_hold == Hold::OncePerElement) {
        if (m_heldElements.contains(index))
            return;
        m_heldElements.insert(index);
    }
    m_held.push_back(index);
}
