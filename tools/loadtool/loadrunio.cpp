// Event handling of a load run: connections, what they read, lines in flight.
#include "loadrun.h"

#include <sys/epoll.h>

#include <cmath>

namespace {
constexpr int MaxEvents = 256;
constexpr std::size_t ReadChunk = 64 * 1024;
// A socket with a lot pending gives others a turn after this many reads.
constexpr int ReadsPerEvent = 8;
// An IRC line longer than this is junk; drop it instead of growing forever.
constexpr std::size_t MaxIrcLine = 64 * 1024;
// The server's join notice after the nickname (UTF-8 on the wire).
constexpr char JoinSuffix[] = " sohbete katıldı.";
constexpr char IrcChannelMessage[] = "PRIVMSG #bench :";
} // namespace

LoadRun::Link::Link(std::uint32_t owner, Kind channel, std::size_t lineBytes, const std::string &nick)
    : client(owner), kind(channel), scanner(lineBytes), notices(JoinSuffix),
      own(channel == Join ? nick + JoinSuffix : nick)
{}

void LoadRun::pump(double maxWaitSeconds)
{
    epoll_event events[MaxEvents];
    const int timeout = static_cast<int>(std::ceil(std::max(0.0, maxWaitSeconds) * 1000));
    const int count = ::epoll_wait(m_epoll, events, MaxEvents, timeout);
    for (int i = 0; i < count; ++i)
        handleEvent(static_cast<int>(events[i].data.u64), events[i].events);
}

void LoadRun::handleEvent(int index, std::uint32_t events)
{
    Link &link = *m_links[index];
    if (link.conn.fd() < 0)
        return;
    if (link.conn.connecting()) {
        if ((events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) == 0)
            return;
        std::string error;
        if (!link.conn.finishConnect(error)) {
            ++m_report->connectFailures;
            fail(link.client);
            return;
        }
        connectDone(index);
        onConnected(index);
    }
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
        static char buffer[ReadChunk];
        for (int reads = 0; reads < ReadsPerEvent && link.conn.fd() >= 0; ++reads) {
            const long got = link.conn.receive(buffer, sizeof buffer);
            if (got == 0)
                break;
            if (got < 0) {
                onClosed(index);
                return;
            }
            onData(index, buffer, static_cast<std::size_t>(got));
        }
    }
    if ((events & EPOLLOUT) && link.conn.fd() >= 0 && !link.conn.flush()) {
        onClosed(index);
        return;
    }
    watch(index);
}

void LoadRun::watch(int index)
{
    Link &link = *m_links[index];
    if (link.conn.fd() < 0 || link.watchingWrite == link.conn.wantsWrite())
        return;
    link.watchingWrite = link.conn.wantsWrite();
    epoll_event event{};
    event.events = EPOLLIN | (link.watchingWrite ? EPOLLOUT : 0u);
    event.data.u64 = static_cast<std::uint64_t>(index);
    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, link.conn.fd(), &event);
}

void LoadRun::send(int index, std::string_view bytes)
{
    if (index < 0)
        return;
    if (!m_links[index]->conn.send(bytes)) {
        onClosed(index);
        return;
    }
    watch(index);
}

void LoadRun::onConnected(int index)
{
    Link &link = *m_links[index];
    Client &client = m_clients[link.client];
    if (m_irc) {
        client.state = Arrival::Greeting;
        send(index, "NICK " + client.nick + "\r\nUSER " + client.nick + " 0 * :loadtool\r\n");
        return;
    }
    for (int k = 0; k < KindCount; ++k) {
        const int other = client.links[k];
        if (other >= 0 && !m_links[other]->conn.connected())
            return;
    }
    // Every channel is open: say who we are, as a client does on arriving.
    client.state = Arrival::Greeting;
    send(client.links[Roster], client.nick);
    send(client.links[Join], client.nick);
    if (!selected(Roster) && !selected(Join))
        arrived(link.client);
}

void LoadRun::onData(int index, const char *data, std::size_t size)
{
    Link &link = *m_links[index];
    link.bytesIn += size;
    m_lastRx = now();
    Client &client = m_clients[link.client];
    switch (link.kind) {
    case Message: {
        std::vector<Token> tokens;
        link.scanner.feed(data, size, tokens);
        for (const Token &token : tokens)
            onToken(link.client, token);
        if (!m_irc)
            break;
        link.ircLine.append(data, size);
        std::size_t start = 0;
        for (std::size_t end; (end = link.ircLine.find('\n', start)) != std::string::npos; start = end + 1)
            onIrcLine(link, link.ircLine.substr(start, end - start));
        link.ircLine.erase(0, start);
        if (link.ircLine.size() > MaxIrcLine)
            link.ircLine.clear();
        break;
    }
    case Join:
        link.notices.feed(data, size);
        link.own.feed(data, size);
        if (link.own.count() > 0 && client.state == Arrival::Greeting)
            arrived(link.client);
        break;
    case Roster:
        link.own.feed(data, size);
        if (!selected(Join) && link.own.count() > 0 && client.state == Arrival::Greeting)
            arrived(link.client);
        break;
    case Leave:
    case KindCount:
        break;
    }
}

void LoadRun::onIrcLine(Link &link, const std::string &line)
{
    if (line.rfind("PING", 0) == 0) {
        send(m_clients[link.client].links[Message], "PONG" + line.substr(4) + "\n");
        return;
    }
    // ":server 001 nick :Welcome", ":server 366 nick #bench :End of NAMES"
    const std::size_t space = line.find(' ');
    if (line.empty() || line[0] != ':' || space == std::string::npos)
        return;
    const std::string command = line.substr(space + 1, 3);
    Client &client = m_clients[link.client];
    if (client.state != Arrival::Greeting)
        return;
    if (command == "001")
        send(client.links[Message], "JOIN #bench\r\n");
    else if (command == "366")
        arrived(link.client);
    else if (command == "433" || command == "432" || command == "471")
        fail(link.client);
}

void LoadRun::onToken(std::uint32_t receiver, Token token)
{
    const std::uint32_t sent = token.sender < m_clients.size()
                                   ? static_cast<std::uint32_t>(m_clients[token.sender].lines.size())
                                   : 0;
    const OrderChecker::Verdict verdict = m_checkers[receiver].accept(token, sent);
    if (receiver == token.sender ||
        (verdict != OrderChecker::Verdict::InOrder && verdict != OrderChecker::Verdict::Reordered))
        return;
    ++m_report->deliveries;
    Line &line = m_clients[token.sender].lines[token.seq];
    if (line.remaining > 0 && --line.remaining == 0) {
        m_latencies.push_back((now() - line.sentAt) * 1000);
        --m_openLines;
    }
}

void LoadRun::sendLine(std::uint32_t sender)
{
    Client &client = m_clients[sender];
    const Token token{sender, static_cast<std::uint32_t>(client.lines.size())};
    const std::string line = TokenFormat::makeLine(token, m_options.lineBytes);
    const int self = client.links[Message];
    const bool selfOpen = self >= 0 && m_links[self]->conn.fd() >= 0;
    Line record;
    record.remaining = m_openReceivers - (selfOpen ? 1 : 0);
    record.sentAt = now();
    client.lines.push_back(record);
    if (record.remaining > 0)
        ++m_openLines;
    send(self, m_irc ? IrcChannelMessage + line + "\r\n" : line);
}

void LoadRun::onClosed(int index)
{
    Link &link = *m_links[index];
    link.conn.close();
    if (!m_departing) {
        Client &client = m_clients[link.client];
        if (client.state == Arrival::Arrived) {
            ++m_report->unexpectedCloses;
            if (link.kind == Message)
                --m_openReceivers;
        }
        else
            fail(link.client);
    }
}

void LoadRun::fail(std::uint32_t c)
{
    Client &client = m_clients[c];
    client.state = Arrival::Failed;
    for (int index : client.links) {
        if (index >= 0)
            m_links[index]->conn.close();
    }
}

void LoadRun::arrived(std::uint32_t c)
{
    m_clients[c].state = Arrival::Arrived;
    ++m_report->arrived;
    if (selected(Message))
        ++m_openReceivers;
}
