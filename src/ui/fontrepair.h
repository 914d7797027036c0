#pragma once

#include <QByteArray>

// Debian's fonts-wine Tahoma, as it comes, does not draw as Tahoma does on
// Windows, in two ways that a Turkish text shows at once:
//
// - Row height. Windows spaces the rows of a text box by the font's Windows
//   ascent and descent (1.207 em in this file); FreeType and Qt follow the
//   file's USE_TYPO_METRICS flag to its typographic metrics, which add up to
//   1.0 em, and at the sizes of its embedded bitmaps (8 to 16 pixels) take the
//   bitmaps' still tighter heights. Rows of 9-point text then lie 11 pixels
//   apart while "Ğ" above "ş" needs 13: accents and descenders touch.
// - "İ". Its outline is a bare stem, while "I" has serifs and the same
//   advance, and several bitmap strikes copy that stem: "İstanbul" reads as
//   "İ stanbul".
//
// The repair works on the font file's bytes before they are registered: the
// embedded bitmaps go (Qt draws this file's outlines at those sizes anyway,
// so no glyph changes but "İ"), the flag is cleared so the Windows metrics
// apply, and "İ" is rebuilt as "I" with the font's own dot accent above it,
// where the file's own "İ" has its dot.
namespace FontRepair {

// The file with the repairs made. A repair whose tables are missing or not
// laid out as expected is left out; a file without an OS/2 table comes back
// unchanged.
QByteArray withWindowsMetrics(const QByteArray &sfnt);

} // namespace FontRepair
