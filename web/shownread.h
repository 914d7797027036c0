#pragma once

#include <QString>

// What a browser is sent for one read of a channel: control and bidi
// characters as visible symbols, and a very long read cut to MaxShownChars
// with its full size after it, as the desktop window shows it, so a browser
// on a phone is not made to lay out one 64 KiB line.
namespace ShownRead {

inline constexpr qsizetype MaxShownChars = 4096;

QString shown(const QString &text);

} // namespace ShownRead
