#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

// Turns what one channel delivers into text to show. The wire has no framing,
// so a multi-byte UTF-8 letter can be split between two reads; a read that
// ends in the first bytes of such a letter keeps them back until the next
// read completes it. If nothing follows within HoldMs the kept bytes are
// shown as they are (an 8-bit client's Windows-1254 "ğ" looks like such a
// start, and must not wait forever).
class ChannelText final : public QObject
{
    Q_OBJECT

public:
    static constexpr int HoldMs = 50;

    explicit ChannelText(QObject *parent = nullptr);

    // How long a split letter is waited for; HoldMs unless a test that
    // cannot promise the second half within it asks for longer.
    void setHoldMs(int ms) { m_holdTimer.setInterval(ms); }

    void feed(const QByteArray &bytes);
    // Shows whatever is kept back now.
    void flush();

signals:
    void text(const QString &text);

private:
    QByteArray m_held;
    QTimer m_holdTimer;
};
