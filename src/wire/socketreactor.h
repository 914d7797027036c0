#pragma once

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <vector>

class QSocketNotifier;

// What the reactor wakes. Called from the event loop only.
class ReactorClient
{
public:
    // events are epoll's bits (EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP).
    virtual void onReady(std::uint32_t events) = 0;
    // The wake asked for with SocketReactor::wakeLater.
    virtual void onWake() = 0;

protected:
    ~ReactorClient() = default;
};

// Watches every connection of the server through one epoll set. Qt's event
// loop polls each socket notifier it has on every pass, so with thousands of
// connections a pass cost some 100 µs before any work was done; here the
// event loop watches one descriptor and only the ready connections are
// visited. Readiness is level-triggered: a client that leaves bytes in the
// kernel is told again on the next pass, so nothing waits unannounced.
//
// Calls can nest (a handler that yields lets the event loop dispatch again),
// and a client may stop watching while events for it are still in a batch
// being dispatched: keys carry a generation, so such events find nobody.
class SocketReactor final : public QObject
{
    Q_OBJECT

public:
    using Key = std::uint64_t;
    static constexpr Key NoKey = 0;

    explicit SocketReactor(QObject *parent = nullptr);
    ~SocketReactor() override;

    // Watches fd for reading. NoKey when the kernel refused (errno tells why).
    Key watch(int fd, ReactorClient &client);
    void setInterest(Key key, int fd, bool read, bool write);
    void unwatch(Key key, int fd);
    // onWake from the event loop, once per call: a client that may ask twice
    // before it is woken keeps its own flag.
    void wakeLater(Key key);
    // Takes over a closing connection: what is left of its output is written
    // as the peer takes it, then the connection is ended and the descriptor
    // closed once the peer has ended it too (what the peer sends meanwhile is
    // discarded); after lingerMs it is closed regardless.
    void linger(int fd, QByteArray rest, int lingerMs);

    // Connections watched, and closing connections not yet closed.
    int watchedCount() const { return m_watched; }
    int lingeringCount() const { return m_lingering; }

private:
    struct Slot
    {
        ReactorClient *client = nullptr;
        std::uint32_t generation = 1;
    };

    ReactorClient *find(Key key) const;
    void dispatch();
    void runWakes();

    int m_epoll = -1;
    QSocketNotifier *m_notifier = nullptr;
    std::vector<Slot> m_slots;
    std::vector<std::uint32_t> m_freeSlots;
    std::vector<Key> m_wakes;
    bool m_wakesScheduled = false;
    int m_watched = 0;
    int m_lingering = 0;

    friend class Lingerer;
};
