#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class QTcpSocket;

// Sends that go to the same socket within one burst of work leave in one
// write. The roster goes out one entry per send to every roster client, and a
// chat line reaches every message client: writing each send at once costs a
// system call per entry per client. Instead a socket's first unwritten send
// enlists it here, and the batch writes every enlisted socket as soon as the
// event loop gets control back (a yield included), before it waits for new
// events. The bytes, their order and where one send ends on the wire are the
// same: nothing frames them.
class OutputBatch final : public QObject
{
    Q_OBJECT

public:
    // A socket holding this much unwritten is written at once instead: it
    // bounds what a burst can pile up in front of any one peer.
    static constexpr qint64 WriteAtBytes = 64 * 1024;

    explicit OutputBatch(QObject *parent = nullptr) : QObject(parent) {}

    // Queues bytes on the socket and makes sure they leave soon.
    void send(QTcpSocket &socket, const QByteArray &bytes);
    // Writes everything queued, now.
    void writeAll();

private:
    std::vector<QPointer<QTcpSocket>> m_enlisted;
    bool m_scheduled = false;
};
