#pragma once

#include "wire/shownread.h"

#include <QString>

class QPlainTextEdit;

// The conversation as the window shows it: one line per read of chat text,
// the sender's "<name>" in bold; arrivals and departures in grey italics; the
// client's own notices (connection lost, left) in italics of their own. Text
// from the wire is shown with its control characters as visible symbols, and
// a very long read is cut to MaxShownChars with its full size after it: the
// layout of one 64 KiB line would hold the window up for a noticeable time.
// Someone reading further up keeps their place; otherwise the end shows.
// Nothing of it is written anywhere else.
class Conversation
{
public:
    static constexpr qsizetype MaxShownChars = ShownRead::MaxShownChars;
    // Oldest lines go first past this, so a long day does not slow the view.
    static constexpr int MaxLines = 20000;

    explicit Conversation(QPlainTextEdit &view);

    void addChat(const QString &text);
    void addPresence(const QString &text);
    void addNotice(const QString &text);

    // What a read looks like on screen.
    static QString shown(const QString &text);

private:
    enum class Kind { Chat, Presence, Notice };
    void add(const QString &text, Kind kind);

    QPlainTextEdit &m_view;
    // Whether the view keeps to the end. The text is laid out lazily, so the
    // scroll range grows after a line is added; it follows the growth unless
    // the reader has moved away from the end.
    bool m_follow = true;
};
