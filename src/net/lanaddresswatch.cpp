#include "lanaddresswatch.h"

#include <QSocketNotifier>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace {
constexpr int SettleMs = 100;
constexpr int FallbackPollMs = 10000;
} // namespace

LanAddressWatch::LanAddressWatch(QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, &LanAddressWatch::changed);

    m_fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &LanAddressWatch::drain);
        return;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    // Without the socket nothing tells of a change, so one is assumed now
    // and then; whoever listens re-reads, which is cheap.
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &LanAddressWatch::changed);
    poll->start(FallbackPollMs);
}

LanAddressWatch::~LanAddressWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void LanAddressWatch::drain()
{
    // What changed does not matter, only that something did: the listener
    // reads the whole list again.
    std::array<char, 8192> buffer{};
    for (;;) {
        const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
    }
    m_settle.start();
}
