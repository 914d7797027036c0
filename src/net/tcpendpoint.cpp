#include "tcpendpoint.h"

#include "outputbatch.h"
#include "socketfailure.h"

#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Hands each pending connection to the pool as a request id (its descriptor)
// instead of queueing a QTcpSocket that nobody may want.
class Listener final : public QTcpServer
{
public:
    Listener(EndpointEvents &events, QObject *parent) : QTcpServer(parent), m_events(events)
    {
        connect(this, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
            // QTcpServer has paused itself (typically EMFILE). Try again later;
            // resuming at once would spin on a listener that stays readable.
            QTimer::singleShot(EndpointLimits::AcceptRetryMs, this, [this] {
                if (isListening())
                    resumeAccepting();
            });
        });
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        m_events.onConnectionRequest(0, descriptor);
    }

private:
    EndpointEvents &m_events;
};

void closeDescriptor(qintptr descriptor)
{
    if (descriptor >= 0)
        ::close(int(descriptor));
}

} // namespace

TcpEndpoint::TcpEndpoint(EndpointEvents &events, qint16 index, QObject *owner,
                         OutputBatch &output)
    : Endpoint(events, index), m_owner(owner), m_output(output)
{
}

TcpEndpoint::~TcpEndpoint()
{
    if (!m_staged.isEmpty())
        m_output.forget(*this);
    delete m_server.data();
    if (m_socket) {
        m_socket->disconnect();
        m_socket->abort();
        delete m_socket.data();
    }
}

Outcome TcpEndpoint::listen(quint16 port)
{
    if (!m_server)
        m_server = new Listener(events(), m_owner);
    if (m_server->isListening())
        return {};
    if (!m_server->listen(QHostAddress::Any, port))
        return socketFailure(m_server->serverError(), m_server->errorString());
    setState(EndpointState::Listening);
    return {};
}

Outcome TcpEndpoint::accept(qintptr requestId)
{
    auto *socket = new QTcpSocket(m_owner);
    if (!socket->setSocketDescriptor(requestId)) {
        const Failure failure = socketFailure(socket->error(), socket->errorString());
        delete socket;
        closeDescriptor(requestId);
        return failure;
    }
    socket->setReadBufferSize(EndpointLimits::MaxReadBuffer);
    // Chat is many small texts that should leave at once, not wait for the
    // peer's acknowledgement of the previous one.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket = socket;
    setState(EndpointState::Connected);

    QObject::connect(socket, &QIODevice::readyRead, socket, [this] { raiseArrival(); });
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, [this] { peerGone(); });
    QObject::connect(socket, &QAbstractSocket::errorOccurred, socket,
                     [this](QAbstractSocket::SocketError error) {
                         // A peer that closes its end is an ordinary departure.
                         if (error == QAbstractSocket::RemoteHostClosedError || !m_socket)
                             return;
                         const Failure failure = socketFailure(error, m_socket->errorString());
                         peerGone();
                         events().onSocketError(index(), failure);
                     });
    return {};
}

void TcpEndpoint::raiseArrival()
{
    if (!m_socket)
        return;
    events().onDataArrival(index(), m_socket->bytesAvailable());
    // Qt raises no readyRead for bytes that come in while its readyRead is
    // still being handled, and handlers yield to the event loop in their
    // broadcasts. Bytes left behind that way would wait unannounced, and once
    // they fill the read buffer nothing more is read from the peer: the
    // connection would stall for good. So they are announced again from the
    // event loop. Queued, not called: a handler that holds arrivals back
    // reads them later, and this must not recurse into it meanwhile. A
    // released socket has no connections left, so nothing answers there.
    if (m_socket && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(m_socket.data(), &QIODevice::readyRead, Qt::QueuedConnection);
}

quint16 TcpEndpoint::localPort() const
{
    return m_server && m_server->isListening() ? m_server->serverPort() : 0;
}

Outcome TcpEndpoint::getData(QByteArray &out)
{
    out = std::exchange(m_leftover, {});
    if (m_socket && m_socket->bytesAvailable() > 0)
        out += m_socket->readAll();
    return {};
}

Outcome TcpEndpoint::sendData(const QByteArray &bytes)
{
    if (state() != EndpointState::Connected || !m_socket)
        return Failure{FailureNumber::NotConnected, QStringLiteral("Bağlantı yok")};
    if (bytes.isEmpty())
        return {};
    // The backlog is judged before this text joins it: a peer still holding
    // more than the cap has stopped reading, and is dropped rather than fed.
    // Judged after, one long text (an operator's pasted page) would drop
    // every healthy client with it. So a peer costs at most the cap plus one
    // text. Dropping is not a failure: the broadcast that got here goes on
    // with the next element undisturbed.
    if (m_socket->bytesToWrite() + m_staged.size() > EndpointLimits::MaxUnsentBytes) {
        setState(EndpointState::Closed);
        releaseSocket(false);
        return {};
    }
    if (!m_staged.isEmpty()) {
        m_staged += bytes;
        if (m_staged.size() >= OutputBatch::WriteAtBytes)
            writeStaged();
    } else if (m_socket->bytesToWrite() > 0) {
        // A peer behind on reading: Qt's buffer keeps the order.
        m_socket->write(bytes);
    } else {
        m_staged = bytes;
        m_output.enlist(*this);
    }
    return {};
}

void TcpEndpoint::writeStaged()
{
    if (m_staged.isEmpty())
        return;
    // Moved out first: the enlisting is over whatever happens below.
    const QByteArray staged = std::exchange(m_staged, {});
    if (!m_socket)
        return;
    qsizetype written = 0;
    while (written < staged.size()) {
        const ssize_t n = ::send(int(m_socket->socketDescriptor()), staged.constData() + written,
                                 size_t(staged.size() - written), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // The peer is gone (reset since the state was read). That is its
            // own event, not a failed send: the clients after it in a
            // broadcast still get the text.
            peerGone();
            return;
        }
        // The kernel's buffer is full: Qt's own buffer takes the rest and
        // writes it as the peer takes more.
        m_socket->write(staged.constData() + written, staged.size() - written);
        break;
    }
}

void TcpEndpoint::close()
{
    if (m_server)
        m_server->close();
    // What was sent before the close goes out before the connection ends.
    writeStaged();
    if (m_socket)
        releaseSocket(true);
    setState(EndpointState::Closed);
}

void TcpEndpoint::peerGone()
{
    if (!m_socket)
        return;
    // Keep what arrived before the peer left: it is read like any other data.
    if (m_socket->bytesAvailable() > 0)
        m_leftover += m_socket->readAll();
    setState(EndpointState::Closed);
    releaseSocket(false);
}

void TcpEndpoint::releaseSocket(bool graceful)
{
    QTcpSocket *socket = m_socket.data();
    m_socket.clear();
    socket->disconnect();
    if (!graceful || socket->state() != QAbstractSocket::ConnectedState
        || socket->bytesToWrite() == 0) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Let what is queued (a stop notice, say) reach the peer, within a bound.
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(EndpointLimits::LingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

TcpEndpointFactory::TcpEndpointFactory(QObject *owner)
    : m_owner(owner), m_output(new OutputBatch(owner))
{
}

std::unique_ptr<Endpoint> TcpEndpointFactory::create(EndpointEvents &events, qint16 index)
{
    return std::make_unique<TcpEndpoint>(events, index, m_owner, *m_output);
}

QString TcpEndpointFactory::localHostIdentity() const
{
    return QHostInfo::localHostName();
}

void TcpEndpointFactory::discardRequest(qintptr requestId)
{
    closeDescriptor(requestId);
}
