#include "socketreactor.h"

#include "lingerer.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>

#include <sys/epoll.h>
#include <unistd.h>

namespace {

std::uint32_t slotOf(SocketReactor::Key key) { return std::uint32_t(key & 0xffffffffu); }
std::uint32_t generationOf(SocketReactor::Key key) { return std::uint32_t(key >> 32); }

} // namespace

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
