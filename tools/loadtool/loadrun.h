#pragma once

#include "connection.h"
#include "options.h"
#include "orderchecker.h"
#include "patterncounter.h"
#include "report.h"
#include "token.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One load run, single-threaded on epoll: the clients arrive (connect, say
// who they are), the arrival traffic is let to die down, chat lines fan out,
// the clients leave. Every wait is bounded by the round timeout and the
// whole run by the duration limit.
class LoadRun
{
public:
    explicit LoadRun(const Options &options);
    ~LoadRun();
    LoadRun(const LoadRun &) = delete;
    LoadRun &operator=(const LoadRun &) = delete;

    // False (with `error`) only when the run could not begin at all.
    bool run(Report &report, std::string &error);

private:
    // Our server's four channels; an IRC client uses the Message slot only.
    enum Kind { Message, Roster, Join, Leave, KindCount };
    enum class Arrival { Waiting, Connecting, Greeting, Arrived, Failed };

    struct Link
    {
        Link(std::uint32_t owner, Kind channel, std::size_t lineBytes, const std::string &nick);
        Connection conn;
        std::uint32_t client;
        Kind kind;
        bool watchingWrite = true;
        TokenScanner scanner;
        PatternCounter notices; // join: every " sohbete katıldı."
        PatternCounter own;     // join: our own notice; roster: our nickname
        std::string ircLine;
        std::uint64_t bytesIn = 0;
        double connectStartedAt = 0;
    };
    struct Line
    {
        double sentAt = 0;
        std::uint32_t remaining = 0;
    };
    struct Client
    {
        std::string nick;
        std::array<int, KindCount> links{-1, -1, -1, -1};
        Arrival state = Arrival::Waiting;
        double since = 0;
        double nextDue = 0;
        std::vector<Line> lines;
    };

    bool prepare(std::string &error);
    void arrive();
    void startArrival(std::uint32_t client);
    void settle();
    void chatRounds();
    void chatAtRate();
    void depart();
    void tally();

    void pump(double maxWaitSeconds);
    void handleEvent(int link, std::uint32_t events);
    void onConnected(int link);
    void connectDone(int link);
    void onData(int link, const char *data, std::size_t size);
    void onIrcLine(Link &link, const std::string &line);
    void onToken(std::uint32_t receiver, Token token);
    void onClosed(int link);
    void fail(std::uint32_t client);
    void arrived(std::uint32_t client);
    void send(int link, std::string_view bytes);
    void sendLine(std::uint32_t sender);
    void watch(int link);
    bool expired() const;
    static double now();
    bool selected(Kind kind) const;

    const Options m_options;
    const bool m_irc;
    Report *m_report = nullptr;
    int m_epoll = -1;
    std::array<sockaddr_storage, KindCount> m_address{};
    socklen_t m_addressLength = 0;
    double m_start = 0;
    double m_deadline = 0;
    double m_lastRx = 0;
    bool m_departing = false;
    std::vector<Client> m_clients;
    std::vector<std::unique_ptr<Link>> m_links;
    std::vector<OrderChecker> m_checkers;
    std::vector<double> m_latencies;
    std::uint64_t m_openLines = 0;
    std::uint32_t m_openReceivers = 0; // arrived clients whose line channel is open
};
