#pragma once

#include <QByteArray>

// How much of one roster or join read counts as the nickname. A nickname is a
// word or two; IRC servers cap theirs at a few dozen bytes. Without a bound a
// client could make the server hold and send anything: one 1 MiB "nickname"
// came as 256 reads of 4 KiB, each a roster entry, and every arrival sent the
// whole roster to every roster client again (520 MB for 50 clients, seconds
// of a frozen window). So one read adds at most MaxBytes to the roster and to
// a join announcement; the rest is dropped. The bound lies far above any real
// nickname, so no real client notices it. The chat channel relays every byte
// and is not bounded here, nor is the leave channel, which adds nothing that
// is kept or resent.
namespace NicknameBound {

inline constexpr qsizetype MaxBytes = 256;

// The read cut to MaxBytes, at a UTF-8 character's start so that a Turkish
// letter is not split into bytes that do not decode.
QByteArray cut(const QByteArray &read);

} // namespace NicknameBound
