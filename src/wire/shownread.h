#pragma once

#include <QByteArray>
#include <QString>

// How a text read from a client is shown in a window. The clients get every
// byte unchanged; a window shows a very long read shortened, with a marker
// giving its full size. Laying out one 64 KiB line (the most one read
// can bring) takes the text box about a third of a second, so a client
// sending megabytes kept the window busy for minutes and held every other
// client's chat back behind it. Chat lines are far shorter than the limit.
namespace ShownRead {

inline constexpr qsizetype MaxShownChars = 4096;
// The most characters shown() gives: those kept and the marker after them,
// whose size has at most 19 digits. Whoever shows the text whole up to this
// length shows the marker too.
inline constexpr qsizetype MaxMarkerChars = 40;
inline constexpr qsizetype MaxLineChars = MaxShownChars + MaxMarkerChars;

// The first MaxShownChars characters of text (never half a surrogate pair),
// then " … (toplam <size> <unit>)"; a text within the limit as it is.
QString cut(const QString &text, qsizetype size, QStringView unit);
// Bytes decoded for display and cut, their size given in bytes.
QString shown(const QByteArray &bytes);
// Text a client decoded, as clients show it: cut, its size given in
// characters, and every control or bidi character a visible stand-in.
QString shownText(const QString &text);

} // namespace ShownRead
