// The phases of a load run. Event handling is in loadrunio.cpp.
#include "loadrun.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {
// Clients of our server arrive one after another, as people do, unless the
// run is a burst (a lab whose clients all connect when the bell rings). IRC
// servers take many at once.
constexpr std::size_t ChatArrivalWindow = 1;
constexpr std::size_t IrcArrivalWindow = 256;
// TCP connects in flight at once. ngIRCd listens with a backlog of 10; more
// SYNs than that are dropped and retried after 1, 3, 7... seconds, which
// would time the server's backlog instead of its fan-out.
constexpr std::ptrdiff_t ConnectWindow = 32;
// A connect whose SYN was dropped completes after the kernel's first retry,
// one second later; a connect answered at once takes microseconds.
constexpr double SynRetrySeconds = 0.9;
// The arrival traffic (roster resends, IRC JOIN lines) is over once nothing
// has been read for this long; waiting for it is bounded.
constexpr double SettleQuietSeconds = 0.3;
constexpr double SettleLimitSeconds = 30;
constexpr double PollSeconds = 0.01;
// Per simulated client and channel, plus some slack for the tool itself.
constexpr rlim_t DescriptorSlack = 64;

} // namespace

double LoadRun::now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

LoadRun::LoadRun(const Options &options) : m_options(options), m_irc(options.mode == LoadMode::Irc) {}

LoadRun::~LoadRun()
{
    m_links.clear();
    if (m_epoll >= 0)
        ::close(m_epoll);
}

bool LoadRun::selected(Kind kind) const
{
    if (m_irc)
        return kind == Message;
    static constexpr std::array<unsigned, KindCount> bits{ChannelBit::Message, ChannelBit::Roster,
                                                          ChannelBit::Join, ChannelBit::Leave};
    return (m_options.channels & bits[kind]) != 0;
}

bool LoadRun::prepare(std::string &error)
{
    for (int kind = 0; kind < KindCount; ++kind) {
        const std::uint16_t port = m_irc ? m_options.ircPort : m_options.chatPorts[kind];
        sockaddr_storage &storage = m_address[kind];
        auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        if (inet_pton(AF_INET, m_options.host.c_str(), &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            v4->sin_port = htons(port);
            m_addressLength = sizeof(sockaddr_in);
        } else if (inet_pton(AF_INET6, m_options.host.c_str(), &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(port);
            m_addressLength = sizeof(sockaddr_in6);
        } else {
            error = "not an address: " + m_options.host;
            return false;
        }
    }
    int kinds = 0;
    for (int kind = 0; kind < KindCount; ++kind)
        kinds += selected(static_cast<Kind>(kind)) ? 1 : 0;
    const rlim_t needed = static_cast<rlim_t>(m_options.clients) * static_cast<rlim_t>(kinds) + DescriptorSlack;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < needed) {
        limit.rlim_cur = std::min(needed, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < needed) {
        error = "open-file limit " + std::to_string(limit.rlim_cur) + " is below the " +
                std::to_string(needed) + " sockets needed (raise ulimit -n)";
        return false;
    }
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0) {
        error = "epoll_create1 failed";
        return false;
    }
    m_clients.resize(m_options.clients);
    for (std::uint32_t i = 0; i < m_options.clients; ++i) {
        char nick[16];
        // Same width for all: no nickname is a prefix of another, and the
        // leave channel's unseparated nicknames can be counted by length.
        std::snprintf(nick, sizeof nick, "b%05u", i);
        m_clients[i].nick = nick;
    }
    m_checkers.assign(m_options.clients, OrderChecker(m_options.clients));
    return true;
}

bool LoadRun::run(Report &report, std::string &error)
{
    m_report = &report;
    report.mode = m_irc ? "irc" : "chat";
    report.clients = m_options.clients;
    if (!prepare(error))
        return false;
    m_start = now();
    m_deadline = m_start + m_options.durationLimit;
    report.serverBefore = ProcStats::read(m_options.serverPid);

    arrive();
    report.setupSeconds = now() - m_start;
    settle();
    report.serverAfterSetup = ProcStats::read(m_options.serverPid);

    const double chatStart = now();
    if (selected(Message) && report.arrived >= 2) {
        if (m_options.rate > 0)
            chatAtRate();
        else
            chatRounds();
    }
    report.chatSeconds = now() - chatStart;
    report.serverAfterChat = ProcStats::read(m_options.serverPid);

    depart();
    tally();
    report.stoppedByLimit = expired();
    return true;
}

void LoadRun::arrive()
{
    const std::size_t window = m_options.burst ? m_clients.size()
                               : m_irc           ? IrcArrivalWindow
                                                 : ChatArrivalWindow;
    const std::ptrdiff_t connectWindow =
        m_options.burst ? static_cast<std::ptrdiff_t>(m_clients.size()) : ConnectWindow;
    std::vector<std::uint32_t> arriving;
    std::uint32_t next = 0;
    while (!expired()) {
        auto connecting = std::count_if(arriving.begin(), arriving.end(), [&](std::uint32_t c) {
            return m_clients[c].state == Arrival::Connecting;
        });
        while (arriving.size() < window && connecting < connectWindow && next < m_clients.size()) {
            arriving.push_back(next);
            startArrival(next++);
            connecting += m_clients[arriving.back()].state == Arrival::Connecting ? 1 : 0;
        }
        if (arriving.empty())
            break;
        pump(PollSeconds);
        const double t = now();
        std::erase_if(arriving, [&](std::uint32_t c) {
            Client &client = m_clients[c];
            if (client.state != Arrival::Failed && client.state != Arrival::Arrived &&
                t - client.since > m_options.arrivalTimeout) {
                ++m_report->arrivalTimeouts;
                fail(c);
            }
            return client.state == Arrival::Failed || client.state == Arrival::Arrived;
        });
    }
}

void LoadRun::startArrival(std::uint32_t c)
{
    Client &client = m_clients[c];
    client.state = Arrival::Connecting;
    client.since = now();
    for (int k = 0; k < KindCount; ++k) {
        const Kind kind = static_cast<Kind>(k);
        if (!selected(kind))
            continue;
        const int index = static_cast<int>(m_links.size());
        m_links.push_back(std::make_unique<Link>(c, kind, m_options.lineBytes, client.nick));
        client.links[k] = index;
        std::string error;
        m_links.back()->connectStartedAt = now();
        if (!m_links.back()->conn.open(m_address[k], m_addressLength, error)) {
            ++m_report->connectFailures;
            fail(c);
            return;
        }
        epoll_event event{};
        event.events = EPOLLIN | EPOLLOUT;
        event.data.u64 = static_cast<std::uint64_t>(index);
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_links.back()->conn.fd(), &event);
    }
    // Loopback may connect at once, and then no connect completion comes.
    for (int index : client.links) {
        if (index >= 0 && m_links[index]->conn.connected())
            connectDone(index);
    }
    for (int index : client.links) {
        if (index >= 0 && m_links[index]->conn.connected()) {
            onConnected(index);
            break;
        }
    }
}

void LoadRun::connectDone(int index)
{
    const double took = now() - m_links[index]->connectStartedAt;
    m_report->slowestConnectSeconds = std::max(m_report->slowestConnectSeconds, took);
    if (took > SynRetrySeconds)
        ++m_report->retriedConnects;
}

void LoadRun::settle()
{
    const double start = now();
    m_lastRx = start;
    while (!expired() && now() - start < SettleLimitSeconds) {
        pump(PollSeconds * 5);
        if (now() - m_lastRx >= SettleQuietSeconds) {
            m_report->settled = true;
            break;
        }
    }
    m_report->settleSeconds = now() - start;
}

void LoadRun::chatRounds()
{
    std::vector<std::uint32_t> senders;
    for (std::uint32_t c = 0; c < m_clients.size(); ++c) {
        if (m_clients[c].state == Arrival::Arrived)
            senders.push_back(c);
    }
    for (std::uint32_t round = 0; round < m_options.rounds && !expired(); ++round) {
        const std::uint32_t sender = senders[round % senders.size()];
        sendLine(sender);
        const Line &line = m_clients[sender].lines.back();
        while (line.remaining > 0 && !expired()) {
            const double left = line.sentAt + m_options.roundTimeout - now();
            if (left <= 0)
                break;
            pump(left);
        }
    }
    // A round waits for every other client. Our server also echoes a line to
    // its sender, and that copy of the last line is waited for here: a run
    // that ended before reading it would count it lost.
    if (m_irc)
        return;
    auto echoed = [&] {
        for (std::uint32_t c : senders) {
            if (m_clients[c].state == Arrival::Arrived
                && m_checkers[c].lost(c, static_cast<std::uint32_t>(m_clients[c].lines.size())) > 0)
                return false;
        }
        return true;
    };
    const double start = now();
    while (!echoed() && !expired() && now() - start < m_options.roundTimeout)
        pump(PollSeconds);
}

void LoadRun::chatAtRate()
{
    std::vector<std::uint32_t> senders;
    for (std::uint32_t c = 0; c < m_clients.size(); ++c) {
        if (m_clients[c].state == Arrival::Arrived)
            senders.push_back(c);
    }
    const double interval = 1.0 / m_options.rate;
    const double start = now();
    // Spread the clients over one interval so they do not all send at once.
    for (std::size_t i = 0; i < senders.size(); ++i)
        m_clients[senders[i]].nextDue = start + interval * static_cast<double>(i) / static_cast<double>(senders.size());
    double lastSend = start;
    while (!expired()) {
        const double t = now();
        double earliest = m_deadline;
        bool allSent = true;
        for (std::uint32_t c : senders) {
            Client &client = m_clients[c];
            if (client.lines.size() >= m_options.rounds)
                continue;
            allSent = false;
            if (client.nextDue <= t) {
                sendLine(c);
                lastSend = t;
                // A client that fell behind does not burst to catch up.
                client.nextDue = std::max(client.nextDue + interval, t - interval);
            }
            earliest = std::min(earliest, client.nextDue);
        }
        if (allSent)
            break;
        pump(std::max(0.0, earliest - now()));
    }
    while (m_openLines > 0 && !expired() && now() - lastSend < m_options.roundTimeout)
        pump(PollSeconds * 5);
}

void LoadRun::depart()
{
    m_departing = true;
    std::uint32_t present = 0;
    for (std::uint32_t c = 0; c < m_clients.size(); ++c) {
        const Client &client = m_clients[c];
        if (client.state != Arrival::Arrived)
            continue;
        ++present;
        if (m_irc)
            send(client.links[Message], "QUIT :done\r\n");
        else if (selected(Leave))
            send(client.links[Leave], client.nick);
    }
    if (m_irc || !selected(Leave))
        return;
    // Every leave client hears every nickname, each as it was sent.
    const std::uint64_t expected = static_cast<std::uint64_t>(present) * m_clients.front().nick.size();
    const double start = now();
    auto allHeard = [&] {
        for (const Client &client : m_clients) {
            const int index = client.links[Leave];
            if (client.state == Arrival::Arrived && index >= 0 && m_links[index]->conn.fd() >= 0 &&
                m_links[index]->bytesIn < expected)
                return false;
        }
        return true;
    };
    while (!allHeard() && !expired() && now() - start < m_options.roundTimeout)
        pump(PollSeconds * 5);
}

void LoadRun::tally()
{
    Report &r = *m_report;
    const std::size_t nickBytes = m_clients.front().nick.size();
    for (auto &link : m_links) {
        link->scanner.finish();
        r.garbled += link->scanner.garbled();
        if (link->kind == Join && !m_irc)
            r.joinNotices += link->notices.count();
        if (link->kind == Leave)
            r.leaveNotices += link->bytesIn / nickBytes;
    }
    for (std::uint32_t receiver = 0; receiver < m_clients.size(); ++receiver) {
        if (m_clients[receiver].state != Arrival::Arrived || !selected(Message))
            continue;
        const OrderChecker &checker = m_checkers[receiver];
        r.garbled += checker.impossible();
        r.reordered += checker.reordered();
        r.duplicated += checker.duplicated();
        for (std::uint32_t sender = 0; sender < m_clients.size(); ++sender) {
            // Our server echoes a line to its sender; an IRC server does not.
            if (sender == receiver && m_irc)
                continue;
            const auto sent = static_cast<std::uint32_t>(m_clients[sender].lines.size());
            r.lost += checker.lost(sender, sent);
        }
    }
    for (const Client &client : m_clients)
        r.linesSent += client.lines.size();
    r.latencyMs = Percentiles::of(m_latencies);
    r.linesComplete = m_latencies.size();
}

bool LoadRun::expired() const
{
    return now() >= m_deadline;
}
