#include "broadcast.h"

#include "socketpool.h"
#include "yield.h"

Outcome broadcast(SocketPool &pool, QByteArray text, Yield &yield)
{
    // text is this call's private copy: nested broadcasts cannot change it.
    const qint16 last = qint16(pool.count() - 1);
    for (qint16 i = 0; i <= last; ++i) {
        if (pool.state(i) != EndpointState::Connected)
            continue;
        if (Outcome failed = pool.sendData(i, text))
            return failed;
        yield();
    }
    return {};
}
