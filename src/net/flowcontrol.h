#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

// What flow control asks of a connection.
class FlowPeer
{
public:
    // Stops (true) or resumes (false) reading from the peer. While its bytes
    // stay in the kernel, TCP holds the sender back.
    virtual void setHeld(bool held) = 0;
    // The peer has taken nothing for FlowLimits::StallMs while others wait
    // for it: its connection ends.
    virtual void stalled() = 0;

protected:
    ~FlowPeer() = default;
};

// The sender pays for a reader that is behind, not the reader. A chat line is
// relayed to everyone, in order, so a reader slower than a flood either
// queues without bound, or is dropped (and loses the chat), or the flood
// waits for it. It waits: while a reader holds more than BehindBytes unsent,
// the server stops reading from every peer whose text goes on filling it,
// until the reader is down to CaughtUpBytes. Reading is only deferred; every
// byte still reaches every reader in order. Only the peers whose text fills
// the queue wait: someone typing a line now and then adds next to nothing to
// it, and holding them too would stop the whole chat for one slow reader.
// A reader is dropped only when it has really stopped: behind, and not a
// byte taken for StallMs. A slow reader takes something every few
// milliseconds, and a link that loses a packet sends it again well within a
// second; a stopped one (a process frozen, a laptop whose lid closed) holds
// the flood it is behind on until it goes, so StallMs is short.
namespace FlowLimits {
// Some seconds of even a busy chat, and far less than a flood brings in a
// second; the kernel's own socket buffers come on top.
inline constexpr qint64 BehindBytes = 256 * 1024;
// A sender resumes once the reader has room for a full read from it again.
inline constexpr qint64 CaughtUpBytes = 64 * 1024;
// A peer fills a reader's queue once it has added this much since the reader
// fell behind: a flood does so with one read, a person typing in hours.
inline constexpr qint64 FillingBytes = 64 * 1024;
inline constexpr int StallMs = 2000;
} // namespace FlowLimits

// Whose text fills whose queue, and who is held for it. A channel (an
// endpoint's pool) relays what it reads from one of its elements to its
// elements, so the text sent on a channel is that of the element last read
// on it.
class FlowControl final : public QObject
{
    Q_OBJECT

public:
    // now reads a monotonic clock in milliseconds; tests pass their own.
    explicit FlowControl(QObject *parent = nullptr, std::function<qint64()> now = {});

    // The handler took origin's received bytes; nullptr when it took none,
    // so that the next text sent on the channel is nobody's.
    void taken(const void *channel, FlowPeer *origin);
    // A text of added bytes sent on channel has left reader with queued
    // bytes unsent.
    void queued(const void *channel, FlowPeer &reader, qint64 added, qint64 queued);
    // reader's peer took some of its output: queued bytes are left.
    void progressed(FlowPeer &reader, qint64 queued);
    // peer's connection is over: it holds nobody and is held by nobody.
    void forget(FlowPeer &peer);
    // Drops readers that have stopped; a timer calls it when the first of
    // them would have, while any reader is behind.
    void checkStalls();

    bool isBehind(FlowPeer &reader) const { return m_behind.contains(&reader); }
    bool isHeld(FlowPeer &sender) const { return m_holds.contains(&sender); }

private:
    struct Behind
    {
        std::vector<FlowPeer *> holding;
        // What each peer's text added to the queue since it fell behind.
        std::vector<std::pair<FlowPeer *, qint64>> added;
        qint64 lastProgress = 0;
    };

    FlowPeer *originOf(const void *channel) const;
    void hold(FlowPeer &sender);
    void release(FlowPeer &sender);
    void caughtUp(FlowPeer &reader);
    void scheduleStallCheck();

    std::function<qint64()> m_now;
    QElapsedTimer m_clock;
    QTimer m_stallCheck;
    // One entry per channel: four at most, so a scan beats hashing on the
    // message handler's path, which reads every element on every pass.
    std::vector<std::pair<const void *, FlowPeer *>> m_origins;
    std::unordered_map<FlowPeer *, Behind> m_behind;
    // How many readers hold each held sender.
    std::unordered_map<FlowPeer *, int> m_holds;
};
