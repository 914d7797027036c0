#include "sendring.h"

#include <liburing.h>

#include <atomic>
#include <cerrno>

#include <sys/socket.h>

namespace {

std::atomic<bool> Refused = false;

// Marks a send whose completion has not been seen.
constexpr qsizetype NotDone = -1;

// The kernel's answer to one send, as sendSome reports a non-blocking send.
SendResult resultOf(int res)
{
    if (res >= 0)
        return {res, false};
    return {0, res != -EAGAIN && res != -EWOULDBLOCK};
}

} // namespace

std::unique_ptr<SendRing> SendRing::open()
{
    if (Refused)
        return nullptr;
    auto ring = std::make_unique<io_uring>();
    // Only this thread submits, and completions are wanted only when it asks
    // for them: the kernel then does no work for the ring in between. A
    // failed entry does not stop the ones after it. Older kernels know none
    // of this and get a plain ring.
    io_uring_params params{};
    params.flags = IORING_SETUP_SUBMIT_ALL | IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
    if (io_uring_queue_init_params(Entries, ring.get(), &params) != 0) {
        params = {};
        if (io_uring_queue_init_params(Entries, ring.get(), &params) != 0)
            return nullptr;
    }
    return std::unique_ptr<SendRing>(new SendRing(std::move(ring)));
}

void SendRing::refuseForTesting(bool refuse)
{
    Refused = refuse;
}

SendRing::SendRing(std::unique_ptr<io_uring> ring) : m_ring(std::move(ring)) {}

SendRing::~SendRing()
{
    if (!m_broken)
        io_uring_queue_exit(m_ring.get());
}

void SendRing::sendAll(std::span<Send> sends)
{
    while (!sends.empty()) {
        if (m_broken) {
            for (Send &send : sends)
                send.result = sendSome(send.fd, send.bytes, send.size);
            return;
        }
        const std::size_t count = std::min<std::size_t>(sends.size(), Entries);
        m_broken = !submit(sends.first(count));
        sends = sends.subspan(count);
    }
}

bool SendRing::submit(std::span<Send> chunk)
{
    io_uring *ring = m_ring.get();
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        io_uring_sqe *sqe = io_uring_get_sqe(ring); // never null: the ring was empty
        io_uring_prep_send(sqe, chunk[i].fd, chunk[i].bytes, size_t(chunk[i].size),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
        io_uring_sqe_set_data64(sqe, i);
        chunk[i].result = {NotDone, false};
    }
    int submitted;
    do
        submitted = io_uring_submit_and_wait(ring, unsigned(chunk.size()));
    while (submitted == -EINTR);
    const std::size_t taken = submitted > 0 ? std::size_t(submitted) : 0;

    // A send that may not wait completes while it is submitted; waiting
    // for the rest only covers a wait that a signal cut short.
    std::size_t reaped = 0;
    while (reaped < taken) {
        io_uring_cqe *cqe = nullptr;
        const int waited = io_uring_wait_cqe(ring, &cqe);
        if (waited == -EINTR)
            continue;
        if (waited != 0)
            break;
        unsigned head;
        unsigned seen = 0;
        io_uring_for_each_cqe(ring, head, cqe)
        {
            const std::size_t i = std::size_t(io_uring_cqe_get_data64(cqe));
            if (i < chunk.size())
                chunk[i].result = resultOf(cqe->res);
            ++seen;
        }
        io_uring_cq_advance(ring, seen);
        reaped += seen;
    }
    if (taken == chunk.size() && reaped == taken)
        return true;
    // The kernel failed the submission itself (out of memory, say). Entries
    // it did not take would be read on the next submission, long after
    // their bytes are gone: the ring is closed, and whatever did not
    // complete is written the ordinary way.
    io_uring_queue_exit(ring);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        if (chunk[i].result.written == NotDone)
            chunk[i].result = sendSome(chunk[i].fd, chunk[i].bytes, chunk[i].size);
    }
    return false;
}
