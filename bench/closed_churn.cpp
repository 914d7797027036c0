// What a chat line costs the server after many clients came and went on the
// chat port, measured from outside: one client sends lines one at a time and
// waits for each to come back; the server's CPU time and resident memory are
// read from /proc before and after, first with no closed elements, then after
// the given number of connections were opened and closed. Run it on loopback
// only, inside a private network namespace, against benchhost (which lifts
// the per-address limits): closed_churn <server-pid> [closed] [lines].
#include "wire/channelports.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned short ChatPort = ChannelPort::Message;
constexpr int Batch = 1000;
using Clock = std::chrono::steady_clock;

sockaddr_in address(const char *ip, unsigned short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

long rssKiB(int pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

double cpuSeconds(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(all.substr(all.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14)
            ticks += std::atol(field.c_str());
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

long openDescriptors(int pid)
{
    const auto dir = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd");
    return std::distance(begin(dir), end(dir));
}

// Connections the kernel completed and the server has not accepted yet.
long acceptQueue()
{
    std::ifstream tcp("/proc/net/tcp");
    char local[64];
    std::snprintf(local, sizeof local, ":%04X", ChatPort);
    for (std::string line; std::getline(tcp, line);) {
        std::istringstream f(line);
        std::string slot, loc, rem, st, queues;
        f >> slot >> loc >> rem >> st >> queues;
        if (st == "0A" && loc.size() > 5 && loc.substr(loc.size() - 5) == local)
            return std::strtol(queues.substr(queues.find(':') + 1).c_str(), nullptr, 16);
    }
    return 0;
}

// Waits, a bounded while, until the server has taken and let go of every
// connection the churn made.
void settle(int pid, long descriptors)
{
    const auto until = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < until && (acceptQueue() > 0 || openDescriptors(pid) > descriptors))
        poll(nullptr, 0, 20);
}

// Opens and closes count connections, each batch from a source address of
// its own so that the closing side's ports in TIME_WAIT do not run out.
void churn(int pid, int count, long descriptors)
{
    const sockaddr_in server = address("127.0.0.1", ChatPort);
    for (int done = 0, batch = 0; done < count; ++batch) {
        const std::string source = "127.0.1." + std::to_string(batch + 1);
        const sockaddr_in from = address(source.c_str(), 0);
        std::vector<pollfd> fds;
        for (int i = 0; i < Batch && done + i < count; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (bind(fd, reinterpret_cast<const sockaddr *>(&from), sizeof from) != 0) {
                std::perror("bind");
                std::exit(1);
            }
            connect(fd, reinterpret_cast<const sockaddr *>(&server), sizeof server);
            fds.push_back({fd, POLLOUT, 0});
        }
        const auto until = Clock::now() + std::chrono::seconds(10);
        for (size_t left = fds.size(); left > 0 && Clock::now() < until;) {
            poll(fds.data(), fds.size(), 100);
            left = size_t(std::count_if(fds.begin(), fds.end(), [](const pollfd &p) { return p.revents == 0; }));
        }
        for (const pollfd &p : fds)
            close(p.fd);
        done += int(fds.size());
        settle(pid, descriptors);
    }
}

int connectClient()
{
    const sockaddr_in server = address("127.0.0.1", ChatPort);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&server), sizeof server) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Sends a line and waits for it to come back; the round trip in ms.
double roundTrip(int fd, int number)
{
    const std::string line = "satir " + std::to_string(number);
    const auto start = Clock::now();
    if (send(fd, line.data(), line.size(), 0) != ssize_t(line.size()))
        std::exit(1);
    std::string got;
    char buffer[4096];
    while (got.size() < line.size()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) {
            std::fprintf(stderr, "line %d did not come back\n", number);
            std::exit(1);
        }
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            std::exit(1);
        got.append(buffer, size_t(n));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void measure(const char *label, int pid, int fd, int lines, int &number)
{
    roundTrip(fd, number++); // the first line reads what came before it
    const long rssBefore = rssKiB(pid);
    const double cpuBefore = cpuSeconds(pid);
    const auto start = Clock::now();
    std::vector<double> trips;
    for (int i = 0; i < lines; ++i)
        trips.push_back(roundTrip(fd, number++));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = cpuSeconds(pid) - cpuBefore;
    const long rss = rssKiB(pid);
    std::sort(trips.begin(), trips.end());
    std::printf("%-22s lines %d  round trip median %.3f ms  p99 %.3f ms  server CPU %.3f ms/line  "
                "lines/s %.0f  RSS %ld -> %ld KiB (%.1f bytes/line)\n",
                label, lines, trips[trips.size() / 2], trips[trips.size() * 99 / 100],
                1000.0 * cpu / lines, lines / wall, rssBefore, rss,
                1024.0 * double(rss - rssBefore) / lines);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: closed_churn <server-pid> [closed] [lines]\n");
        return 2;
    }
    const int pid = std::atoi(argv[1]);
    const int closed = argc > 2 ? std::atoi(argv[2]) : 32000;
    const int lines = argc > 3 ? std::atoi(argv[3]) : 2000;
    const int client = connectClient();
    int number = 0;
    roundTrip(client, number++);
    const long descriptors = openDescriptors(pid);
    // Right after Start the window is still settling: the first round is
    // shown but not the one to compare with.
    measure("warm-up", pid, client, lines, number);
    measure("no closed elements", pid, client, lines, number);
    const auto start = Clock::now();
    churn(pid, closed, descriptors);
    std::printf("churn: %d connections opened and closed in %.1f s\n", closed,
                std::chrono::duration<double>(Clock::now() - start).count());
    measure("after churn", pid, client, lines, number);
    close(client);
    return 0;
}
