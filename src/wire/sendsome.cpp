#include "sendsome.h"

#include <cerrno>

#include <sys/socket.h>

SendResult sendSome(int fd, const char *bytes, qsizetype size)
{
    SendResult result;
    while (result.written < size) {
        const ssize_t n = ::send(fd, bytes + result.written, size_t(size - result.written),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            result.written += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            result.peerGone = true;
        break;
    }
    return result;
}
