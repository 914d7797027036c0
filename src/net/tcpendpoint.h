#pragma once

#include "endpoint.h"

#include <QPointer>

class OutputBatch;
class QObject;
class QTcpServer;
class QTcpSocket;

// Limits that keep one misbehaving peer from making the server hold unbounded
// memory. Reads stop at MaxReadBuffer until the handler takes the bytes, so TCP
// flow control holds a flooding sender back. Output that a peer does not take
// piles up in its socket; a peer still holding more than MaxUnsentBytes when
// the next text comes counts as dead and its element is closed (an ordinary
// client takes a chat line in microseconds). So one peer costs the server at
// most MaxReadBuffer in and MaxUnsentBytes plus one text out, besides what the
// kernel buffers for its socket.
namespace EndpointLimits {
inline constexpr qint64 MaxReadBuffer = 64 * 1024;
inline constexpr qint64 MaxUnsentBytes = 1024 * 1024;
// A closing connection gets this long to deliver what was queued before it.
inline constexpr int LingerMs = 5000;
// After the process ran out of descriptors, accepting resumes this much later
// instead of spinning on a listener that stays readable.
inline constexpr int AcceptRetryMs = 200;
} // namespace EndpointLimits

// An endpoint on Qt Network: element 0 listens with a QTcpServer on every
// interface (IPv4 and IPv6), connection elements carry one QTcpSocket.
// A closed element keeps only the bytes its peer sent before going away.
class TcpEndpoint final : public Endpoint
{
public:
    TcpEndpoint(EndpointEvents &events, qint16 index, QObject *owner, OutputBatch &output);
    ~TcpEndpoint() override;

    Outcome listen(quint16 port) override;
    Outcome accept(qintptr requestId) override;
    Outcome getData(QByteArray &out) override;
    Outcome sendData(const QByteArray &bytes) override;
    void close() override;
    quint16 localPort() const override;

    // Hands the staged bytes to the kernel; what it refuses goes to the
    // socket's own buffer, which Qt writes when the peer takes more.
    void writeStaged();

private:
    void raiseArrival();
    void peerGone();
    void releaseSocket(bool graceful);

    QObject *m_owner;
    OutputBatch &m_output;
    QPointer<QTcpServer> m_server;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_leftover;
    // Sent but not yet written; only ever non-empty while the socket's own
    // buffer is empty, so the two never reorder the bytes.
    QByteArray m_staged;
};

class TcpEndpointFactory final : public EndpointFactory
{
public:
    // Sockets are parented to owner so nothing outlives the pools.
    explicit TcpEndpointFactory(QObject *owner);

    std::unique_ptr<Endpoint> create(EndpointEvents &events, qint16 index) override;
    QString localHostIdentity() const override;
    void discardRequest(qintptr requestId) override;

private:
    QObject *m_owner;
    OutputBatch *m_output; // a child of owner
};
