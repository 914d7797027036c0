#include "listener.h"

#include "wire/admission.h"
#include "endpoint.h"
#include "tcpendpoint.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

Listener::Listener(EndpointEvents &events, Admission &admission, QObject *parent)
    : QTcpServer(parent), m_events(events), m_admission(admission), m_retry(new QTimer(this))
{
    setListenBacklogSize(Backlog);
    m_retry->setSingleShot(true);
    m_retry->setInterval(EndpointLimits::AcceptRetryMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
}

bool Listener::listenOn(quint16 port)
{
    if (!listen(QHostAddress::Any, port))
        return false;
    // QTcpServer's own notifier stays off for good. Qt 6.4 gives EMFILE from
    // accept no error of its own: the one left by the accept before decides,
    // and once the queue has run empty that is the passing "try again" of
    // EAGAIN. So QTcpServer neither pauses nor emits acceptError, and a
    // listener out of descriptors was woken again at once, some 7 000 times a
    // second.
    pauseAccepting();
    m_notifier = new QSocketNotifier(socketDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Listener::acceptPending);
    return true;
}

Listener::~Listener()
{
    stop();
}

void Listener::stop()
{
    m_retry->stop();
    delete m_notifier;
    m_notifier = nullptr;
    close();
}

void Listener::acceptPending()
{
    const int fd = int(socketDescriptor());
    const QPointer<Listener> self(this);
    // Bounded by the kernel's queue: every accept takes one connection out.
    // The handlers may stop the server, which ends the loop.
    while (self && m_notifier && m_notifier->isEnabled()) {
        const int accepted = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (accepted >= 0) {
            // Refused before anyone sees it: no element, nothing shown.
            if (!m_admission.admit(accepted, serverPort())) {
                ::close(accepted);
                continue;
            }
            m_events.onConnectionRequest(0, accepted);
            // Whoever accepted the request has claimed its ticket by now.
            m_admission.discard(accepted);
            continue;
        }
        switch (errno) {
        case EAGAIN:
#if EAGAIN != EWOULDBLOCK
        case EWOULDBLOCK:
#endif
            return; // nothing more is pending
        case EINTR:
        case ECONNABORTED: // a client gone before it was accepted
        case EPROTO:
            continue;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            pause(QAbstractSocket::SocketResourceError);
            return;
        default:
            // Nothing else is expected of a listening socket; should it come,
            // trying again at once would only fail again.
            pause(QAbstractSocket::UnknownSocketError);
            return;
        }
    }
}

void Listener::pause(QAbstractSocket::SocketError error)
{
    m_notifier->setEnabled(false);
    m_retry->start();
    emit acceptError(error);
}
