#pragma once

#include "wire/sendsome.h"

#include <QtGlobal>

#include <memory>
#include <span>

struct io_uring;

// Hands many non-blocking sends to the kernel in one system call (io_uring).
// A chat line to a thousand clients is a thousand sends; each through its own
// system call, entering and leaving the kernel is a quarter of what the
// server spends on the line. Every send is asked not to wait (a full buffer
// answers at once, as a non-blocking send does), so all of them have
// completed when the submission returns, and the caller's bytes are free
// again. Kernels without io_uring (too old, switched off, filtered in a
// container) make open() fail, and the caller writes with sendSome.
class SendRing
{
public:
    struct Send
    {
        int fd = -1;
        const char *bytes = nullptr;
        qsizetype size = 0;
        // Filled in: as sendSome would report it, except that a send the
        // kernel took only in part is not tried again (its buffer is full).
        SendResult result;
    };

    // A ring, or nothing when the kernel refuses one.
    static std::unique_ptr<SendRing> open();
    // Makes every later open() fail as on a kernel without io_uring, so the
    // fallback can be tested on a kernel that has it. Tests only.
    static void refuseForTesting(bool refuse);

    ~SendRing();
    SendRing(const SendRing &) = delete;
    SendRing &operator=(const SendRing &) = delete;

    // Writes every send, in as few submissions as the ring holds entries
    // (one for a burst of up to Entries sends), and fills in its result.
    // At most one send per descriptor: two in one submission could overtake
    // each other when the first finds the buffer full.
    void sendAll(std::span<Send> sends);
    // The kernel failed a submission itself: the sends it left were written
    // with sendSome, and the ring is not to be used again.
    bool broken() const { return m_broken; }

    static constexpr unsigned Entries = 1024;

private:
    explicit SendRing(std::unique_ptr<io_uring> ring);
    // Submits the prepared sends and fills in their results; false when the
    // kernel failed the submission (the rest were then written by sendSome).
    bool submit(std::span<Send> chunk);

    std::unique_ptr<io_uring> m_ring;
    bool m_broken = false;
};
