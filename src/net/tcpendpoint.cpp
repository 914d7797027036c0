#include "tcpendpoint.h"

#include "listener.h"
#include "outputbatch.h"
#include "wire/sendsome.h"
#include "socketfailure.h"

#include <QHostInfo>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void closeDescriptor(qintptr descriptor)
{
    if (descriptor >= 0)
        ::close(int(descriptor));
}

// Readiness that means the connection is over, whether or not it is read.
constexpr std::uint32_t HangupEvents = EPOLLERR | EPOLLHUP;

// Errors of a read or write that only say the peer went away: an ordinary
// departure, not something to show the operator.
bool isDeparture(int error)
{
    return error == ECONNRESET || error == EPIPE || error == ECONNABORTED || error == ENOTCONN;
}

// Reads land here before they are appended to an element's inbox, so that an
// inbox never holds a 64 KiB allocation for a line of text. Only the event
// loop's thread reads, and nothing runs between a read and its copy.
char ReceiveScratch[EndpointLimits::MaxReadBuffer];

} // namespace

TcpEndpoint::TcpEndpoint(EndpointEvents &events, qint16 index, QObject *owner,
                         SocketReactor &reactor, OutputBatch &output, FlowControl &flow,
                         Admission &admission)
    : Endpoint(events, index), m_owner(owner), m_reactor(reactor), m_output(output), m_flow(flow),
      m_admission(admission)
{
}

TcpEndpoint::~TcpEndpoint()
{
    // Not only when something is staged: a send that reached the batch's
    // bound wrote the stage at once and left the element on the batch's list
    // with nothing staged, and the next pass would write through a pointer
    // to the element gone.
    m_output.forget(*this);
    m_flow.forget(*this);
    m_admission.leave(m_ticket);
    delete m_server.data();
    if (m_fd >= 0) {
        m_reactor.unwatch(m_key, m_fd);
        ::close(m_fd);
    }
}

Outcome TcpEndpoint::listen(quint16 port)
{
    if (!m_server)
        m_server = new Listener(events(), m_admission, m_owner);
    if (m_server->isListening())
        return {};
    if (!m_server->listenOn(port))
        return listenFailure(m_server->serverError(), port);
    setState(EndpointState::Listening);
    return {};
}

Outcome TcpEndpoint::accept(qintptr requestId)
{
    const int fd = int(requestId);
    m_admission.leave(std::exchange(m_ticket, m_admission.claim(fd)));
    int type = 0;
    socklen_t typeSize = sizeof type;
    const bool isStream = requestId >= 0 && requestId <= INT_MAX
                          && ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeSize) == 0
                          && type == SOCK_STREAM;
    const int flags = isStream ? ::fcntl(fd, F_GETFL) : -1;
    if (!isStream || flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
        const Failure failure = socketFailureFromErrno(isStream ? errno : ENOTSOCK);
        closeDescriptor(requestId);
        m_admission.leave(std::exchange(m_ticket, nullptr));
        return failure;
    }
    // Chat is many small texts that should leave at once, not wait for the
    // peer's acknowledgement of the previous one.
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    m_key = m_reactor.watch(fd, *this);
    if (m_key == SocketReactor::NoKey) {
        const Failure failure = socketFailureFromErrno(errno);
        closeDescriptor(requestId);
        m_admission.leave(std::exchange(m_ticket, nullptr));
        return failure;
    }
    m_fd = fd;
    m_reading = true;
    m_writing = false;
    m_held = false;
    setState(EndpointState::Connected);
    return {};
}

quint16 TcpEndpoint::localPort() const
{
    return m_server && m_server->isListening() ? m_server->serverPort() : 0;
}

void TcpEndpoint::onReady(std::uint32_t events)
{
    if (events & EPOLLOUT)
        writeQueued();
    if (m_fd >= 0 && (events & (EPOLLIN | HangupEvents)))
        receive(events & HangupEvents);
}

void TcpEndpoint::receive(bool hangup)
{
    bool received = false;
    bool ended = false;
    int error = 0;
    while (!m_held && m_inbox.size() < EndpointLimits::MaxReadBuffer) {
        const qsizetype room = EndpointLimits::MaxReadBuffer - m_inbox.size();
        const ssize_t n = ::recv(m_fd, ReceiveScratch, size_t(room), MSG_DONTWAIT);
        if (n > 0) {
            m_inbox.append(ReceiveScratch, n);
            received = true;
            if (n < room)
                break; // the kernel had no more; asking again would only say so
            continue;
        }
        if (n == 0) {
            ended = true;
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            ended = true;
            if (!isDeparture(errno))
                error = errno;
        }
        break;
    }
    // A connection that is over while its reading is paused would be
    // reported again on every pass: it ends now, with what it sent kept.
    if (hangup && (m_held || m_inbox.size() >= EndpointLimits::MaxReadBuffer))
        ended = true;

    if (error != 0) {
        const Failure failure = socketFailureFromErrno(error);
        peerGone();
        events().onSocketError(index(), failure);
        return;
    }
    // Bytes that came with the end are announced while the element is still
    // connected, as for any other bytes.
    if (received)
        announce();
    if (ended)
        peerGone();
    else
        updateInterest();
}

void TcpEndpoint::announce()
{
    // A handler yields to the event loop in its broadcasts, so more bytes for
    // this element can be read while its own arrival is being handled. They
    // are not announced from inside that handler (a handler that holds
    // arrivals back reads them later, and must not be recursed into): once
    // the handler returns, whatever is still unread is announced again from
    // the event loop. Without that, bytes left behind would wait unannounced,
    // and once they filled the inbox nothing more would be read from the peer:
    // the connection would stall for good.
    if (m_announcing)
        return;
    m_announcing = true;
    events().onDataArrival(index(), m_inbox.size());
    m_announcing = false;
    // What the handler sent leaves now, as one submission. Left for the
    // next pass of the event loop, it would wait behind the timers that are
    // due in this one (a redraw of the window); written one send at a time,
    // the first text to each peer has left already.
    if (m_output.submitsTogether())
        m_output.writeAll();
    if (m_fd >= 0 && !m_inbox.isEmpty() && !m_wakePending) {
        m_wakePending = true;
        m_reactor.wakeLater(m_key);
    }
}

void TcpEndpoint::onWake()
{
    m_wakePending = false;
    if (m_fd >= 0 && !m_inbox.isEmpty())
        announce();
}

Outcome TcpEndpoint::getData(QByteArray &out)
{
    out = std::exchange(m_inbox, {});
    // What the handler sends on this channel next is this peer's text.
    m_flow.taken(&events(), out.isEmpty() ? nullptr : static_cast<FlowPeer *>(this));
    if (m_fd >= 0 && !m_reading)
        updateInterest(); // reading was paused on a full inbox
    return {};
}

Outcome TcpEndpoint::sendData(const QByteArray &bytes)
{
    if (state() != EndpointState::Connected || m_fd < 0)
        return Failure{FailureNumber::NotConnected, QStringLiteral("Bağlantı yok")};
    if (bytes.isEmpty())
        return {};
    // The backlog is judged before this text joins it: a peer still holding
    // more than the cap has stopped reading, and is dropped rather than fed.
    // Judged after, one long text (an operator's pasted page) would drop
    // every healthy client with it. So a peer costs at most the cap plus one
    // text. Dropping is not a failure: the broadcast that got here goes on
    // with the next element undisturbed.
    if (unsent() + m_staged.size() > EndpointLimits::MaxUnsentBytes) {
        setState(EndpointState::Closed);
        release(false);
        return {};
    }
    if (!m_staged.isEmpty()) {
        m_staged += bytes;
        if (m_staged.size() >= OutputBatch::WriteAtBytes)
            writeStaged();
    } else if (unsent() > 0) {
        // A peer behind on reading: the queue keeps the order. What it has
        // taken already is dropped from the front once it is half the queue.
        if (m_queuedSent >= m_queued.size() / 2) {
            m_queued.remove(0, m_queuedSent);
            m_queuedSent = 0;
        }
        m_queued += bytes;
    } else if (!m_output.submitsTogether() && m_directBurst != m_output.burst()) {
        // Without one submission for the burst, the first text to a peer in
        // a burst leaves at once: a chat line is waited for, and the relay
        // still has the transcript to write. What follows in the same burst
        // (the roster, entry by entry) is gathered into one write.
        m_directBurst = m_output.burst();
        writeOut(bytes.constData(), bytes.size());
    } else {
        m_staged = bytes;
        m_output.enlist(*this);
    }
    // A reader that is behind holds back whoever sent this text.
    if (m_fd >= 0)
        m_flow.queued(&events(), *this, bytes.size(), unsent() + m_staged.size());
    return {};
}

void TcpEndpoint::writeStaged()
{
    if (m_staged.isEmpty())
        return;
    // Moved out first: the enlisting is over whatever happens below.
    const QByteArray staged = std::exchange(m_staged, {});
    if (m_fd >= 0)
        writeOut(staged.constData(), staged.size());
}

int TcpEndpoint::takeStaged(QByteArray &bytes)
{
    QByteArray staged = std::exchange(m_staged, {});
    if (staged.isEmpty() || m_fd < 0)
        return -1;
    bytes = std::move(staged);
    return m_fd;
}

bool TcpEndpoint::settleStaged(const QByteArray &bytes, SendResult sent)
{
    if (sent.peerGone)
        return false;
    keepUnsent(bytes.constData(), bytes.size(), sent.written);
    return true;
}

void TcpEndpoint::writeQueued()
{
    const SendResult sent = sendSome(m_fd, m_queued.constData() + m_queuedSent, unsent());
    m_queuedSent += sent.written;
    if (sent.peerGone) {
        peerGone();
        return;
    }
    if (unsent() == 0) {
        m_queued.clear();
        m_queuedSent = 0;
    }
    if (sent.written > 0)
        m_flow.progressed(*this, unsent() + m_staged.size());
    updateInterest();
}

void TcpEndpoint::writeOut(const char *bytes, qsizetype size)
{
    const SendResult sent = sendSome(m_fd, bytes, size);
    if (sent.peerGone) {
        // The peer is gone (reset since the state was read). That is its
        // own event, not a failed send: the clients after it in a
        // broadcast still get the text.
        peerGone();
        return;
    }
    keepUnsent(bytes, size, sent.written);
}

void TcpEndpoint::keepUnsent(const char *bytes, qsizetype size, qsizetype written)
{
    if (written < size) {
        // The kernel's buffer is full: the rest waits until the peer takes
        // more. Staged bytes only exist while nothing is queued, so this is
        // the whole queue.
        m_queued = QByteArray(bytes + written, size - written);
        m_queuedSent = 0;
    }
    if (written > 0)
        m_flow.progressed(*this, unsent() + m_staged.size());
    updateInterest();
}

void TcpEndpoint::updateInterest()
{
    if (m_fd < 0)
        return;
    const bool reading = !m_held && m_inbox.size() < EndpointLimits::MaxReadBuffer;
    const bool writing = unsent() > 0;
    if (reading == m_reading && writing == m_writing)
        return;
    m_reading = reading;
    m_writing = writing;
    m_reactor.setInterest(m_key, m_fd, reading, writing);
}

void TcpEndpoint::setHeld(bool held)
{
    m_held = held;
    updateInterest();
}

void TcpEndpoint::stalled()
{
    if (m_fd < 0)
        return;
    setState(EndpointState::Closed);
    release(false);
}

void TcpEndpoint::close()
{
    if (m_server)
        m_server->stop();
    // What was sent before the close goes out before the connection ends.
    writeStaged();
    if (m_fd >= 0)
        release(true);
    setState(EndpointState::Closed);
}

void TcpEndpoint::peerGone()
{
    if (m_fd < 0)
        return;
    // What arrived before the peer left stays in the inbox: it is read like
    // any other data.
    setState(EndpointState::Closed);
    release(false);
}

void TcpEndpoint::release(bool graceful)
{
    const int fd = std::exchange(m_fd, -1);
    m_reactor.unwatch(m_key, fd);
    m_key = SocketReactor::NoKey;
    m_wakePending = false;
    m_held = false;
    m_flow.forget(*this);
    m_admission.leave(std::exchange(m_ticket, nullptr));
    QByteArray rest = std::exchange(m_queued, {}).mid(std::exchange(m_queuedSent, 0));
    if (graceful) {
        // Let what is queued (a stop notice, say) reach the peer, within a
        // bound. Also with nothing queued: a close while the peer's bytes lie
        // unread would reset the connection, and a reset can overtake the
        // last text the kernel still holds for the peer.
        m_reactor.linger(fd, std::move(rest), EndpointLimits::LingerMs);
        return;
    }
    ::close(fd);
}

TcpEndpointFactory::TcpEndpointFactory(QObject *owner, AdmissionLimits limits)
    : m_owner(owner), m_reactor(new SocketReactor(owner)), m_output(new OutputBatch(owner)),
      m_flow(new FlowControl(owner)), m_admission(limits)
{
}

std::unique_ptr<Endpoint> TcpEndpointFactory::create(EndpointEvents &events, qint16 index)
{
    return std::make_unique<TcpEndpoint>(events, index, m_owner, *m_reactor, *m_output, *m_flow,
                                         m_admission);
}

QString TcpEndpointFactory::localHostIdentity() const
{
    return QHostInfo::localHostName();
}

void TcpEndpointFactory::discardRequest(qintptr requestId)
{
    m_admission.discard(int(requestId));
    closeDescriptor(requestId);
}
