#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <utility>
#include <vector>

// A client in a process of its own, so that a test can do to it what happens
// to a person's machine: kill it (the kernel ends its connections, and no
// leave is sent) or stop it (a laptop whose lid closed: still connected,
// reading nothing). It connects to each port on loopback, sends that port's
// text, and then reads and drops whatever comes until it is killed. Its
// receive buffers are small, so that a stopped one backs up soon.
class ForkedClient
{
public:
    using Connection = std::pair<quint16, QByteArray>; // port, text to send

    explicit ForkedClient(const std::vector<Connection> &connections)
    {
        m_pid = ::fork();
        if (m_pid == 0)
            run(connections); // never returns
    }
    ~ForkedClient() { kill(); }
    ForkedClient(const ForkedClient &) = delete;
    ForkedClient &operator=(const ForkedClient &) = delete;

    bool started() const { return m_pid > 0; }
    void kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    void freeze() { ::kill(m_pid, SIGSTOP); }

private:
    static constexpr size_t MaxConnections = 4;

    // Only system calls from here on: the child of a threaded process may
    // call nothing that could wait for a lock another thread held (malloc).
    [[noreturn]] static void run(const std::vector<Connection> &connections)
    {
        // The server's sockets, when it runs in the test's process, must
        // not stay open in here after it closes them.
        ::close_range(3, ~0U, 0);
        pollfd fds[MaxConnections];
        nfds_t count = 0;
        for (const auto &[port, text] : connections) {
            if (count == MaxConnections)
                ::_exit(1);
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            const int small = 4096;
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0)
                ::_exit(1);
            if (!text.isEmpty() && ::send(fd, text.constData(), size_t(text.size()), 0) != text.size())
                ::_exit(1);
            fds[count++] = pollfd{fd, POLLIN, 0};
        }
        static char sink[4096];
        for (;;) {
            if (::poll(fds, count, -1) < 0)
                continue;
            for (nfds_t i = 0; i < count; ++i) {
                if (fds[i].revents != 0 && ::recv(fds[i].fd, sink, sizeof sink, 0) <= 0)
                    ::_exit(0); // the server ended the connection
            }
        }
    }

    pid_t m_pid = -1;
};
