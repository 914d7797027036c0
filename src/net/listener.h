#pragma once

#include <QTcpServer>

class Admission;
class EndpointEvents;
class QSocketNotifier;
class QTimer;

// Element 0's listening socket. QTcpServer binds it (every interface, IPv4
// and IPv6, with its errors in the toolkit's words); accepting is done here,
// because a lab's clients arrive all at once, and because QTcpServer's own
// accepting spins when descriptors run out:
//
// - The backlog is as large as the kernel allows (it caps it at
//   net.core.somaxconn, 4096 on Debian 12). With the toolkit's default of 50,
//   a burst of a thousand connects overflows it: the kernel drops SYNs (the
//   client retries a second later) and, with SYN cookies, completes handshakes
//   that never reach the accept queue, so a client believes it is connected
//   and is never seen.
// - Each wake accepts every pending connection, until the kernel says there
//   are none.
// - Out of descriptors (EMFILE, ENFILE) the connections stay in the kernel's
//   queue and the socket stays readable: accepting pauses for AcceptRetryMs
//   instead of failing thousands of times a second.
//
// Each accepted descriptor is first weighed by the admission limits (one
// address may not use up a pool); a refused one is closed before anyone sees
// it. The rest are handed to the pool as connection requests (the request id
// is the descriptor); the pool closes what nobody claims.
class Listener final : public QTcpServer
{
    Q_OBJECT

public:
    // The largest backlog listen() takes; the kernel caps it at somaxconn, so
    // an operator who raises that gets the larger queue without a rebuild.
    static constexpr int Backlog = 65535;

    Listener(EndpointEvents &events, Admission &admission, QObject *parent);
    ~Listener() override;

    // Listens on every interface; false with serverError() as QTcpServer's.
    bool listenOn(quint16 port);
    // Stops listening; a pause in progress ends with it.
    void stop();

private:
    void acceptPending();
    void pause(QAbstractSocket::SocketError error);

    EndpointEvents &m_events;
    Admission &m_admission;
    QSocketNotifier *m_notifier = nullptr; // a child, for the listening socket
    QTimer *m_retry = nullptr;             // a child
};
