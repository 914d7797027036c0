#include "floodrun.h"

#include "procstats.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

// The flood is byte p = p mod 251 (a prime, so no chunk size lines up with
// it): a byte lost, doubled or moved shows wherever it lands.
constexpr std::size_t Period = 251;
constexpr std::size_t ChunkBytes = 64 * 1024;

const std::vector<char> &patternBuffer()
{
    static const std::vector<char> buffer = [] {
        std::vector<char> bytes(ChunkBytes + Period);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i % Period);
        return bytes;
    }();
    return buffer;
}

double now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct Peer
{
    int fd = -1;
    long long in = 0;  // bytes received
    long long out = 0; // bytes sent (flooder only)
    long long wrong = 0;
    bool ended = false;
    double allowance = 0; // bytes a reader may still read
    long long firstWrong = -1;
    long long shift = 0; // the flood's offset, mod Period, at the first byte

    ~Peer()
    {
        if (fd >= 0)
            ::close(fd);
    }

    void check(const char *bytes, long size)
    {
        // A reader the server accepted after the flood began gets it from
        // where the next relayed read starts: its first byte says where.
        if (in == 0 && size > 0)
            shift = (unsigned char)bytes[0];
        const char *expected = patternBuffer().data() + (in + shift) % Period;
        for (long i = 0; i < size; ++i) {
            if (bytes[i] != expected[i] && firstWrong < 0)
                firstWrong = in + i;
            wrong += bytes[i] != expected[i];
        }
        in += size;
    }

    // Reads what is there, at most limit bytes.
    void take(long long limit)
    {
        static char buffer[ChunkBytes];
        while (!ended && limit > 0) {
            const long n = long(::recv(fd, buffer, std::size_t(std::min<long long>(limit, ChunkBytes)),
                                       MSG_DONTWAIT));
            if (n > 0) {
                check(buffer, n);
                limit -= n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                ended = true;
            return;
        }
    }

    void flood()
    {
        while (!ended) {
            const char *from = patternBuffer().data() + out % Period;
            const long n = long(::send(fd, from, ChunkBytes, MSG_DONTWAIT | MSG_NOSIGNAL));
            if (n > 0) {
                out += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                ended = true;
            return;
        }
    }
};

bool connectPeer(const Options &options, Peer &peer, std::string &error)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
    if (inet_pton(AF_INET, options.host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(options.chatPorts[0]);
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, options.host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(options.chatPorts[0]);
        length = sizeof *v6;
    }
    peer.fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Blocking: on loopback the handshake completes at once.
    if (peer.fd < 0 || ::connect(peer.fd, reinterpret_cast<const sockaddr *>(&storage), length) != 0) {
        error = std::string("connect: ") + std::strerror(errno);
        return false;
    }
    return true;
}

FloodPhase runPhase(const Options &options, Peer &flooder, std::vector<Peer> &readers,
                    double readerBytesPerSecond, int epoll)
{
    const long long outBefore = flooder.out;
    const long long echoBefore = flooder.in;
    std::vector<long long> inBefore;
    for (const Peer &reader : readers)
        inBefore.push_back(reader.in);
    for (Peer &reader : readers)
        reader.allowance = 0;
    const double start = now();
    double last = start;
    while (!flooder.ended && now() - start < options.floodSeconds) {
        epoll_event events[1];
        // A short wait: the readers' pace is kept by the clock, not by
        // readiness.
        ::epoll_wait(epoll, events, 1, 1);
        flooder.flood();
        flooder.take(1LL << 40);
        const double t = now();
        for (Peer &reader : readers) {
            if (readerBytesPerSecond <= 0) {
                reader.take(1LL << 40);
                continue;
            }
            // At most a tenth of a second's worth saved up.
            reader.allowance = std::min(reader.allowance + readerBytesPerSecond * (t - last),
                                        readerBytesPerSecond / 10);
            if (reader.allowance >= 1) {
                const long long before = reader.in;
                reader.take((long long)reader.allowance);
                reader.allowance -= double(reader.in - before);
            }
        }
        last = t;
    }
    FloodPhase phase;
    phase.seconds = now() - start;
    const double mega = 1e6 * phase.seconds;
    phase.floodMBps = double(flooder.out - outBefore) / mega;
    phase.echoMBps = double(flooder.in - echoBefore) / mega;
    phase.slowestMBps = 1e300;
    phase.wrongBytes = flooder.wrong;
    phase.firstWrong = flooder.firstWrong;
    for (std::size_t r = 0; r < readers.size(); ++r) {
        const double rate = double(readers[r].in - inBefore[r]) / mega;
        phase.slowestMBps = std::min(phase.slowestMBps, rate);
        phase.fastestMBps = std::max(phase.fastestMBps, rate);
        phase.readersDropped += readers[r].ended ? 1 : 0;
        phase.wrongBytes += readers[r].wrong;
        if (phase.firstWrong < 0)
            phase.firstWrong = readers[r].firstWrong;
    }
    if (options.serverPid > 0)
        phase.serverRssKiB = ProcStats::read(options.serverPid).rssKiB;
    return phase;
}

void printPhase(const char *name, const FloodPhase &phase, std::FILE *out)
{
    std::fprintf(out,
                 "%-12s %5.1f s  flood %8.2f MB/s  echo %8.2f MB/s  readers %8.2f .. %8.2f MB/s"
                 "  dropped %d  wrong bytes %lld",
                 name, phase.seconds, phase.floodMBps, phase.echoMBps, phase.slowestMBps,
                 phase.fastestMBps, phase.readersDropped, phase.wrongBytes);
    if (phase.firstWrong >= 0)
        std::fprintf(out, " (first at %lld)", phase.firstWrong);
    if (phase.serverRssKiB > 0)
        std::fprintf(out, "  server RSS %ld KiB", phase.serverRssKiB);
    std::fputc('\n', out);
}

} // namespace

bool runFlood(const Options &options, FloodReport &report, std::string &error)
{
    Peer flooder;
    std::vector<Peer> readers(options.clients - 1);
    if (!connectPeer(options, flooder, error))
        return false;
    for (Peer &reader : readers) {
        if (!connectPeer(options, reader, error))
            return false;
    }
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event watch{};
    watch.events = EPOLLIN | EPOLLOUT;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, flooder.fd, &watch);

    report.readers = int(readers.size());
    report.keepingUp = runPhase(options, flooder, readers, 0, epoll);
    report.readerMBps = report.keepingUp.floodMBps * options.readerShare;
    // The kernel's buffers towards each reader (some MB on loopback) fill
    // first, at the flood's pace; the steady rate comes after.
    report.settling = runPhase(options, flooder, readers, report.readerMBps * 1e6, epoll);
    report.slowReaders = runPhase(options, flooder, readers, report.readerMBps * 1e6, epoll);
    ::close(epoll);
    return true;
}

void printFlood(const FloodReport &report, std::FILE *out)
{
    std::fprintf(out, "flood: 1 flooder, %d readers; then readers at %.2f MB/s each\n",
                 report.readers, report.readerMBps);
    printPhase("keeping up", report.keepingUp, out);
    printPhase("settling", report.settling, out);
    printPhase("slow readers", report.slowReaders, out);
    if (report.keepingUp.floodMBps > 0)
        std::fprintf(out, "flood rate slow / keeping up: %.3f\n",
                     report.slowReaders.floodMBps / report.keepingUp.floodMBps);
}
