#pragma once

#include "wire/admission.h"
#include "endpoint.h"
#include "flowcontrol.h"
#include "wire/sendsome.h"
#include "wire/socketreactor.h"

#include <QPointer>

class OutputBatch;
class QObject;
class Listener;

// Limits that keep one misbehaving peer from making the server hold unbounded
// memory. Reads stop at MaxReadBuffer until the handler takes the bytes, so TCP
// flow control holds a flooding sender back; a reader that falls behind holds
// back the senders that fill its queue (FlowControl). A peer still holding
// more than MaxUnsentBytes when the next text comes is dropped all the same:
// with one flooder a reader stays near FlowLimits::BehindBytes, so only many
// senders at once (each adds up to one read before it is held) or the roster
// sent again and again come near it. So one peer costs the server at
// most MaxReadBuffer in and MaxUnsentBytes plus one text out, besides what
// the kernel buffers for its socket.
namespace EndpointLimits {
inline constexpr qint64 MaxReadBuffer = 64 * 1024;
inline constexpr qint64 MaxUnsentBytes = 4 * 1024 * 1024;
// A closing connection gets this long to deliver what was queued before it.
inline constexpr int LingerMs = 5000;
// After the process ran out of descriptors, accepting resumes this much later
// instead of spinning on a listener that stays readable.
inline constexpr int AcceptRetryMs = 200;
} // namespace EndpointLimits

// An endpoint on a TCP socket: element 0 listens with a QTcpServer on every
// interface (IPv4 and IPv6); a connection element owns the accepted descriptor
// and is woken by the shared SocketReactor, so that thousands of connections
// do not each add to every pass of the event loop. A closed element keeps
// only the bytes its peer sent before going away.
class TcpEndpoint final : public Endpoint, private ReactorClient, private FlowPeer
{
public:
    TcpEndpoint(EndpointEvents &events, qint16 index, QObject *owner, SocketReactor &reactor,
                OutputBatch &output, FlowControl &flow, Admission &admission);
    ~TcpEndpoint() override;

    Outcome listen(quint16 port) override;
    Outcome accept(qintptr requestId) override;
    Outcome getData(QByteArray &out) override;
    Outcome sendData(const QByteArray &bytes) override;
    void close() override;
    quint16 localPort() const override;

    // Hands the staged bytes to the kernel; what it refuses is queued and
    // written as the peer takes more.
    void writeStaged();
    // For the batch's one submission: hands over the staged bytes, and the
    // descriptor to write them to (-1 when there is nothing to write).
    int takeStaged(QByteArray &bytes);
    // What the kernel took of bytes handed over by takeStaged; the rest is
    // queued. False when the peer is gone: the caller then calls departed(),
    // once every other result of its submission is settled too.
    bool settleStaged(const QByteArray &bytes, SendResult sent);
    void departed() { peerGone(); }

private:
    void onReady(std::uint32_t events) override;
    void onWake() override;
    void setHeld(bool held) override;
    void stalled() override;
    void receive(bool hangup);
    void announce();
    void writeQueued();
    // Writes until the kernel refuses; the rest is queued.
    void writeOut(const char *bytes, qsizetype size);
    void keepUnsent(const char *bytes, qsizetype size, qsizetype written);
    qsizetype unsent() const { return m_queued.size() - m_queuedSent; }
    void updateInterest();
    void peerGone();
    void release(bool graceful);

    QObject *m_owner;
    SocketReactor &m_reactor;
    OutputBatch &m_output;
    FlowControl &m_flow;
    Admission &m_admission;
    Admission::Ticket m_ticket = nullptr;
    QPointer<Listener> m_server;
    int m_fd = -1;
    SocketReactor::Key m_key = SocketReactor::NoKey;
    // Received and not yet read; reading pauses while it holds MaxReadBuffer.
    QByteArray m_inbox;
    // Sent but not yet written; only ever non-empty while m_queued is empty,
    // so the two never reorder the bytes.
    QByteArray m_staged;
    // Refused by the kernel so far; written as the peer takes more.
    QByteArray m_queued;
    qsizetype m_queuedSent = 0;
    // The burst in which this endpoint last wrote straight away.
    quint64 m_directBurst = 0;
    bool m_reading = true;
    bool m_writing = false;
    // Not read from while a reader that is behind waits for this peer's text.
    bool m_held = false;
    bool m_announcing = false;
    bool m_wakePending = false;
};

class TcpEndpointFactory final : public EndpointFactory
{
public:
    // Listeners, the reactor and the output batch are children of owner, so
    // nothing outlives the pools' owner.
    explicit TcpEndpointFactory(QObject *owner, AdmissionLimits limits = {});

    std::unique_ptr<Endpoint> create(EndpointEvents &events, qint16 index) override;
    QString localHostIdentity() const override;
    void discardRequest(qintptr requestId) override;

    SocketReactor &reactor() { return *m_reactor; }
    OutputBatch &output() { return *m_output; }

private:
    QObject *m_owner;
    SocketReactor *m_reactor; // a child of owner
    OutputBatch *m_output;    // a child of owner
    FlowControl *m_flow;      // a child of owner
    Admission m_admission;
};
