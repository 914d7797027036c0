#include "stdinlines.h"

#include <cerrno>
#include <unistd.h>

namespace {
constexpr int StdinFd = 0;
constexpr qsizetype ReadChunk = 4096;
} // namespace

StdinLines::StdinLines(QObject *parent)
    : QObject(parent), m_notifier(StdinFd, QSocketNotifier::Read)
{
    m_notifier.setEnabled(false);
    connect(&m_notifier, &QSocketNotifier::activated, this, &StdinLines::readAvailable);
}

void StdinLines::start()
{
    m_notifier.setEnabled(true);
}

void StdinLines::readAvailable()
{
    // The notifier said the descriptor is readable (or at its end), so this
    // one read returns at once.
    char buffer[ReadChunk];
    const ssize_t got = ::read(StdinFd, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got <= 0) {
        finish();
        return;
    }
    m_partial.append(buffer, got);
    qsizetype newline;
    while ((newline = m_partial.indexOf('\n')) >= 0) {
        QByteArray one = m_partial.left(newline);
        m_partial.remove(0, newline + 1);
        if (one.endsWith('\r'))
            one.chop(1);
        emit line(one);
    }
}

void StdinLines::finish()
{
    if (m_ended)
        return;
    m_ended = true;
    m_notifier.setEnabled(false);
    if (!m_partial.isEmpty())
        emit line(std::exchange(m_partial, {}));
    emit ended();
}
