#include "outputbatch.h"

#include <QTcpSocket>

void OutputBatch::send(QTcpSocket &socket, const QByteArray &bytes)
{
    // A socket that still holds bytes is either enlisted already or waiting
    // for the peer to take what the kernel refused, which Qt finishes by
    // itself when the socket becomes writable.
    const bool idle = socket.bytesToWrite() == 0;
    socket.write(bytes);
    if (socket.bytesToWrite() >= WriteAtBytes) {
        socket.flush();
        return;
    }
    if (!idle)
        return;
    m_enlisted.emplace_back(&socket);
    if (!m_scheduled) {
        m_scheduled = true;
        QMetaObject::invokeMethod(this, &OutputBatch::writeAll, Qt::QueuedConnection);
    }
}

void OutputBatch::writeAll()
{
    m_scheduled = false;
    // Writing can end a socket's connection (a peer that reset), which runs
    // handlers that may send again and enlist anew: take the list first.
    const std::vector<QPointer<QTcpSocket>> enlisted = std::exchange(m_enlisted, {});
    for (const QPointer<QTcpSocket> &socket : enlisted) {
        if (socket)
            socket->flush();
    }
}
