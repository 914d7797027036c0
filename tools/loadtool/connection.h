#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <string>
#include <string_view>

// One non-blocking TCP connection of a simulated client. Whatever the kernel
// does not take at once waits in `m_out` until the socket is writable again.
class Connection
{
public:
    Connection() = default;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    ~Connection() { close(); }

    // Starts a connect; false (with `error`) when it failed at once.
    bool open(const sockaddr_storage &address, socklen_t length, std::string &error);
    // After the socket turned writable: did the connect succeed?
    bool finishConnect(std::string &error);
    bool send(std::string_view bytes);
    bool flush();
    // Bytes read into `buffer`; 0 when nothing is pending, -1 when closed.
    long receive(char *buffer, std::size_t size);
    void close();

    int fd() const { return m_fd; }
    bool connecting() const { return m_connecting; }
    bool connected() const { return m_fd >= 0 && !m_connecting; }
    bool wantsWrite() const { return m_connecting || !m_out.empty(); }

private:
    int m_fd = -1;
    bool m_connecting = false;
    std::string m_out;
};
