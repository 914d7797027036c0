#include "channeltext.h"

#include "wire/wiretext.h"

namespace {

constexpr int MaxUtf8Length = 4;

// How many bytes at the end of bytes start a UTF-8 sequence that is not yet
// complete (0 if the end is complete or is not UTF-8 at all).
qsizetype incompleteTail(const QByteArray &bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back < MaxUtf8Length && back <= size; ++back) {
        const auto c = static_cast<unsigned char>(bytes[size - back]);
        if ((c & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for the lead
        int length = 0;
        if ((c & 0xE0) == 0xC0)
            length = 2;
        else if ((c & 0xF0) == 0xE0)
            length = 3;
        else if ((c & 0xF8) == 0xF0)
            length = 4;
        return length > back ? back : 0;
    }
    return 0;
}

} // namespace

ChannelText::ChannelText(QObject *parent) : QObject(parent)
{
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(HoldMs);
    connect(&m_holdTimer, &QTimer::timeout, this, &ChannelText::flush);
}

void ChannelText::feed(const QByteArray &bytes)
{
    m_holdTimer.stop();
    QByteArray all = m_held + bytes;
    m_held.clear();
    const qsizetype tail = incompleteTail(all);
    if (tail > 0 && WireText::isValidUtf8(all.first(all.size() - tail))) {
        m_held = all.last(tail);
        all.chop(tail);
        m_holdTimer.start();
    }
    if (!all.isEmpty())
        emit text(WireText::decodeForDisplay(all));
}

void ChannelText::flush()
{
    m_holdTimer.stop();
    if (m_held.isEmpty())
        return;
    const QByteArray held = std::exchange(m_held, {});
    emit text(WireText::decodeForDisplay(held));
}
