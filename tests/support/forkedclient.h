#pragma once

#include <QByteArray>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>
#include <vector>

// A client in a process of its own, to be killed (the kernel ends its
// connections, no leave is sent) or stopped (a laptop whose lid closed). It
// connects to each port on loopback with a small receive buffer, sends that
// port's text, and then reads and drops whatever comes.
class ForkedClient
{
public:
    using Connections = std::vector<std::pair<quint16, QByteArray>>; // port, text

    explicit ForkedClient(const Connections &connections) : m_pid(::fork())
    {
        if (m_pid == 0)
            run(connections);
    }
    ~ForkedClient() { kill(); }
    ForkedClient(const ForkedClient &) = delete;
    ForkedClient &operator=(const ForkedClient &) = delete;

    void freeze()
    {
        if (m_pid > 0) // never -1, which would stop every process we may signal
            ::kill(m_pid, SIGSTOP);
    }
    void kill()
    {
        if (m_pid > 0 && ::kill(m_pid, SIGKILL) == 0)
            ::waitpid(std::exchange(m_pid, -1), nullptr, 0);
    }

private:
    // System calls only: the child of a threaded process must not allocate.
    // The server's sockets are closed first so that they end when it closes
    // them, not when this process does.
    [[noreturn]] static void run(const Connections &connections)
    {
        ::close_range(3, ~0U, 0);
        const int small = 4096;
        pollfd fds[4] = {};
        nfds_t count = 0;
        for (const auto &[port, text] : connections) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            sockaddr_in to{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
            if (count == 4 || ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0
                || ::send(fd, text.constData(), size_t(text.size()), 0) != text.size())
                ::_exit(1);
            fds[count++] = {fd, POLLIN, 0};
        }
        static char sink[4096];
        while (::poll(fds, count, -1) >= 0) {
            for (nfds_t i = 0; i < count; ++i) {
                if (fds[i].revents != 0 && ::recv(fds[i].fd, sink, sizeof sink, 0) <= 0)
                    ::_exit(0); // the server ended a connection
            }
        }
        ::_exit(1);
    }

    pid_t m_pid;
};
