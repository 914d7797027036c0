#include "broadcast.h"

#include "socketpool.h"
#include "yield.h"

Outcome broadcast(SocketPool &pool, QByteArray text, Yield &yield)
{
    if (text.isEmpty()) {
        // An empty text puts nothing on the wire, so all that is left of the
        // loop is one yield per connected element: the message handler sends
        // one for every idle element it reads, and at a thousand clients the
        // element walk would cost more than the line that is really relayed.
        yield.repeat(pool.connectedCount());
        return {};
    }
    // text is this call's private copy: nested broadcasts cannot change it.
    // Every connected element is readable; walking only those passes over
    // the closed elements a long-lived pool collects, which no send reaches.
    const qint16 last = qint16(pool.count() - 1);
    for (qint16 i = pool.nextReadable(0); i <= last; i = pool.nextReadable(i + 1)) {
        if (pool.state(i) != EndpointState::Connected)
            continue;
        if (Outcome failed = pool.sendData(i, text))
            return failed;
        yield();
    }
    return {};
}
