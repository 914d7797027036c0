#include "channels.h"

Channels::Channels(EndpointFactory &endpoints, Yield &yield, QObject *parent)
    : QObject(parent),
      m_yield(yield),
      m_winsock(QStringLiteral("Winsock"), ChannelPort::Message, endpoints),
      m_winusers(QStringLiteral("Winusers"), ChannelPort::Roster, endpoints),
      m_winjoin(QStringLiteral("Winjoin"), ChannelPort::Join, endpoints),
      m_winleft(QStringLiteral("Winleft"), ChannelPort::Leave, endpoints)
{
    // Pools are members, not children: they live exactly as long as Channels.
    // The accept handlers of all four channels are the same: the index the
    // request carries plays no part, and a refused request is simply dropped
    // (its descriptor closed by the pool), with nothing shown or sent.
    for (SocketPool *pool : {&m_winsock, &m_winusers, &m_winjoin, &m_winleft}) {
        connect(pool, &SocketPool::connectionRequest, pool,
                [pool](qint16, qintptr requestId) { (void)pool->acceptRequest(requestId); });
    }
}
