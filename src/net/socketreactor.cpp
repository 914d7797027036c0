#include "socketreactor.h"

#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::uint32_t slotOf(SocketReactor::Key key) { return std::uint32_t(key & 0xffffffffu); }
std::uint32_t generationOf(SocketReactor::Key key) { return std::uint32_t(key >> 32); }

} // namespace

// A connection that was closed with output still queued: it gets until its
// deadline to take the rest. It belongs to the reactor, not to the element that
// closed it, so the element is free (and a closed element stays small).
//
// Closing a socket whose peer's bytes lie unread makes the kernel answer with
// a reset and throw away what it still holds to send, so a peer that was
// writing too (a flooding client, or a text that crossed the close) lost the
// tail of what was queued for it. So the lingerer reads and discards what
// comes in, ends its own side with a FIN once everything is handed over, and
// closes when the peer has ended too (or at the deadline).
class Lingerer final : public QObject, public ReactorClient
{
    Q_OBJECT

public:
    Lingerer(SocketReactor &reactor, int fd, QByteArray rest, int lingerMs)
        : QObject(&reactor), m_reactor(reactor), m_fd(fd), m_rest(std::move(rest))
    {
        ++m_reactor.m_lingering;
        m_key = m_reactor.watch(fd, *this);
        if (m_key == SocketReactor::NoKey) {
            finish();
            return;
        }
        m_reactor.setInterest(m_key, m_fd, true, true);
        QTimer::singleShot(lingerMs, this, [this] { finish(); });
    }
    ~Lingerer() override
    {
        closeNow();
        --m_reactor.m_lingering;
    }

    void onReady(std::uint32_t events) override
    {
        if (m_fd < 0)
            return;
        // Both directions are over (or the connection was reset).
        if (events & (EPOLLERR | EPOLLHUP)) {
            finish();
            return;
        }
        if ((events & EPOLLIN) && !discardInput())
            return;
        if ((events & EPOLLOUT) && !m_allSent && !sendRest())
            return;
        if (m_allSent && m_peerEnded) {
            finish();
            return;
        }
        m_reactor.setInterest(m_key, m_fd, !m_peerEnded, !m_allSent);
    }
    void onWake() override {}

private:
    // False when the connection is over.
    bool discardInput()
    {
        std::array<char, 16 * 1024> sink;
        for (;;) {
            const ssize_t n = ::recv(m_fd, sink.data(), sink.size(), MSG_DONTWAIT);
            if (n > 0)
                continue;
            if (n == 0) {
                m_peerEnded = true;
                return true;
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            finish();
            return false;
        }
    }
    // False when the connection is over.
    bool sendRest()
    {
        while (m_sent < m_rest.size()) {
            const ssize_t n = ::send(m_fd, m_rest.constData() + m_sent, size_t(m_rest.size() - m_sent),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                m_sent += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return true;
            finish(); // the peer is gone: nothing more to deliver
            return false;
        }
        m_allSent = true;
        m_rest = QByteArray();
        // The end goes out after the last byte; the kernel delivers both.
        ::shutdown(m_fd, SHUT_WR);
        return true;
    }
    void closeNow()
    {
        if (m_fd < 0)
            return;
        if (m_key != SocketReactor::NoKey)
            m_reactor.unwatch(m_key, m_fd);
        ::close(m_fd);
        m_fd = -1;
    }
    void finish()
    {
        closeNow();
        deleteLater();
    }

    SocketReactor &m_reactor;
    int m_fd;
    SocketReactor::Key m_key = SocketReactor::NoKey;
    QByteArray m_rest;
    qsizetype m_sent = 0;
    bool m_allSent = false;
    bool m_peerEnded = false;
};

SocketReactor::SocketReactor(QObject *parent) : QObject(parent)
{
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0)
        return; // every watch fails then, and is reported as a failed accept
    m_notifier = new QSocketNotifier(m_epoll, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SocketReactor::dispatch);
}

SocketReactor::~SocketReactor()
{
    // Lingering connections close with the reactor (their destructors unwatch).
    qDeleteAll(findChildren<Lingerer *>(Qt::FindDirectChildrenOnly));
    delete m_notifier;
    if (m_epoll >= 0)
        ::close(m_epoll);
}

SocketReactor::Key SocketReactor::watch(int fd, ReactorClient &client)
{
    if (m_epoll < 0) {
        errno = EMFILE;
        return NoKey;
    }
    std::uint32_t slot;
    if (!m_freeSlots.empty()) {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
    } else {
        slot = std::uint32_t(m_slots.size());
        m_slots.emplace_back();
    }
    const Key key = (Key(m_slots[slot].generation) << 32) | slot;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = key;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        m_freeSlots.push_back(slot);
        return NoKey;
    }
    m_slots[slot].client = &client;
    ++m_watched;
    return key;
}

void SocketReactor::setInterest(Key key, int fd, bool read, bool write)
{
    if (!find(key))
        return;
    epoll_event event{};
    event.events = (read ? EPOLLIN : 0u) | (write ? EPOLLOUT : 0u);
    event.data.u64 = key;
    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
}

void SocketReactor::unwatch(Key key, int fd)
{
    if (!find(key))
        return;
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    Slot &slot = m_slots[slotOf(key)];
    slot.client = nullptr;
    // Events already fetched for this key, and wakes asked for it, now miss.
    ++slot.generation;
    if (slot.generation == 0)
        slot.generation = 1;
    m_freeSlots.push_back(slotOf(key));
    --m_watched;
}

void SocketReactor::wakeLater(Key key)
{
    m_wakes.push_back(key);
    if (!m_wakesScheduled) {
        m_wakesScheduled = true;
        QMetaObject::invokeMethod(this, &SocketReactor::runWakes, Qt::QueuedConnection);
    }
}

void SocketReactor::linger(int fd, QByteArray rest, int lingerMs)
{
    new Lingerer(*this, fd, std::move(rest), lingerMs); // owned by this reactor
}

ReactorClient *SocketReactor::find(Key key) const
{
    const std::uint32_t slot = slotOf(key);
    if (key == NoKey || slot >= m_slots.size() || m_slots[slot].generation != generationOf(key))
        return nullptr;
    return m_slots[slot].client;
}

void SocketReactor::dispatch()
{
    // A bounded batch: what does not fit is still ready on the next pass, and
    // the window gets its turn in between.
    std::array<epoll_event, 256> ready;
    const int count = ::epoll_wait(m_epoll, ready.data(), int(ready.size()), 0);
    for (int i = 0; i < count; ++i) {
        if (ReactorClient *client = find(ready[size_t(i)].data.u64))
            client->onReady(ready[size_t(i)].events);
    }
}

void SocketReactor::runWakes()
{
    m_wakesScheduled = false;
    const std::vector<Key> wakes = std::exchange(m_wakes, {});
    for (const Key key : wakes) {
        if (ReactorClient *client = find(key))
            client->onWake();
    }
}

#include "socketreactor.moc"
