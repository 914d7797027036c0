// The least a chat relay can do, as the reference column of bench/run.sh:
// every byte read from one client is sent to every client (the sender too, as
// our server does), nothing framed, nothing shown, nothing kept. One epoll
// set, level-triggered; per client one non-blocking send per read, and what
// the kernel refuses waits in that client's queue until it is writable.
// With --uring the sends of one read go to the kernel in one io_uring
// submission instead of one system call each.
//
//     epollrelay --port P [--uring] [--seconds S]
//
// Listens on 127.0.0.1 only; stops after S seconds (default 600) or on
// SIGTERM/SIGINT.
#include <liburing.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace {

volatile std::sig_atomic_t Stop = 0;

struct Client
{
    int fd = -1;
    std::string out; // refused by the kernel so far
    bool writing = false;
};

class Relay
{
public:
    Relay(int listener, bool uring) : m_listener(listener)
    {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        watch(listener, EPOLLIN, Listener);
        if (uring && io_uring_queue_init(4096, &m_ring, 0) == 0)
            m_uring = true;
        else if (uring)
            std::fprintf(stderr, "epollrelay: no io_uring, plain sends\n");
    }

    void run(double seconds)
    {
        const std::time_t end = std::time(nullptr) + std::time_t(seconds);
        epoll_event events[256];
        while (!Stop && std::time(nullptr) < end) {
            const int count = epoll_wait(m_epoll, events, 256, 200);
            for (int i = 0; i < count; ++i) {
                const std::uint64_t key = events[i].data.u64;
                if (key == Listener)
                    acceptAll();
                else
                    ready(std::size_t(key), events[i].events);
            }
            for (std::size_t slot : m_dead)
                drop(slot);
            m_dead.clear();
        }
    }

private:
    static constexpr std::uint64_t Listener = ~std::uint64_t(0);

    void watch(int fd, std::uint32_t events, std::uint64_t key, int op = EPOLL_CTL_ADD)
    {
        epoll_event event{};
        event.events = events;
        event.data.u64 = key;
        epoll_ctl(m_epoll, op, fd, &event);
    }

    void acceptAll()
    {
        for (;;) {
            const int fd = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::size_t slot = m_clients.size();
            for (std::size_t i = 0; i < m_clients.size(); ++i) {
                if (m_clients[i].fd < 0) {
                    slot = i;
                    break;
                }
            }
            if (slot == m_clients.size())
                m_clients.emplace_back();
            m_clients[slot].fd = fd;
            watch(fd, EPOLLIN, slot);
        }
    }

    void ready(std::size_t slot, std::uint32_t events)
    {
        Client &client = m_clients[slot];
        if (client.fd < 0)
            return;
        if (events & EPOLLOUT)
            flush(slot);
        if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
            const ssize_t n = recv(client.fd, m_buffer, sizeof m_buffer, MSG_DONTWAIT);
            if (n > 0)
                relay(std::string_view(m_buffer, std::size_t(n)));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                m_dead.push_back(slot);
        }
    }

    void relay(std::string_view bytes)
    {
        if (m_uring) {
            relayTogether(bytes);
            return;
        }
        for (std::size_t slot = 0; slot < m_clients.size(); ++slot) {
            Client &client = m_clients[slot];
            if (client.fd < 0)
                continue;
            if (!client.out.empty()) {
                client.out.append(bytes);
                continue;
            }
            settle(slot, bytes, send(client.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT),
                   errno);
        }
    }

    void relayTogether(std::string_view bytes)
    {
        unsigned queued = 0;
        for (std::size_t slot = 0; slot < m_clients.size(); ++slot) {
            Client &client = m_clients[slot];
            if (client.fd < 0)
                continue;
            if (!client.out.empty()) {
                client.out.append(bytes);
                continue;
            }
            io_uring_sqe *sqe = io_uring_get_sqe(&m_ring);
            if (!sqe) {
                reap(bytes, queued);
                queued = 0;
                sqe = io_uring_get_sqe(&m_ring);
            }
            io_uring_prep_send(sqe, client.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            io_uring_sqe_set_data64(sqe, slot);
            ++queued;
        }
        reap(bytes, queued);
    }

    void reap(std::string_view bytes, unsigned queued)
    {
        if (queued == 0)
            return;
        io_uring_submit_and_wait(&m_ring, queued);
        unsigned seen = 0;
        while (seen < queued) {
            io_uring_cqe *cqe = nullptr;
            if (io_uring_wait_cqe(&m_ring, &cqe) != 0)
                continue;
            const std::size_t slot = std::size_t(io_uring_cqe_get_data64(cqe));
            const int res = cqe->res;
            io_uring_cqe_seen(&m_ring, cqe);
            ++seen;
            settle(slot, bytes, res < 0 ? -1 : res, res < 0 ? -res : 0);
        }
    }

    void settle(std::size_t slot, std::string_view bytes, ssize_t sent, int error)
    {
        Client &client = m_clients[slot];
        if (sent < 0 && error != EAGAIN && error != EWOULDBLOCK) {
            m_dead.push_back(slot);
            return;
        }
        const std::size_t taken = sent < 0 ? 0 : std::size_t(sent);
        if (taken < bytes.size()) {
            client.out.assign(bytes.substr(taken));
            setWriting(slot, true);
        }
    }

    void flush(std::size_t slot)
    {
        Client &client = m_clients[slot];
        const ssize_t n = send(client.fd, client.out.data(), client.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            m_dead.push_back(slot);
            return;
        }
        if (n > 0)
            client.out.erase(0, std::size_t(n));
        setWriting(slot, !client.out.empty());
    }

    void setWriting(std::size_t slot, bool writing)
    {
        Client &client = m_clients[slot];
        if (client.writing == writing)
            return;
        client.writing = writing;
        watch(client.fd, EPOLLIN | (writing ? EPOLLOUT : 0u), slot, EPOLL_CTL_MOD);
    }

    void drop(std::size_t slot)
    {
        Client &client = m_clients[slot];
        if (client.fd < 0)
            return;
        close(client.fd); // leaves the epoll set with it
        client = Client{};
    }

    int m_listener;
    int m_epoll = -1;
    bool m_uring = false;
    io_uring m_ring{};
    std::vector<Client> m_clients;
    std::vector<std::size_t> m_dead;
    char m_buffer[64 * 1024];
};

} // namespace

int main(int argc, char **argv)
{
    int port = 0;
    bool uring = false;
    double seconds = 600;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--port") && i + 1 < argc)
            port = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--uring"))
            uring = true;
        else
            port = -1;
    }
    if (port <= 0 || port > 65535 || seconds <= 0) {
        std::fprintf(stderr, "usage: epollrelay --port P [--uring] [--seconds S]\n");
        return 2;
    }
    std::signal(SIGTERM, [](int) { Stop = 1; });
    std::signal(SIGINT, [](int) { Stop = 1; });

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || listen(listener, 4096) != 0) {
        std::perror("epollrelay: listen");
        return 1;
    }
    static Relay relay(listener, uring); // its read buffer is large for a stack
    relay.run(seconds);
    return 0;
}
