#pragma once

#include <QFont>
#include <QString>

// The two typefaces the window is drawn in. Linux has neither Tahoma nor MS
// Sans Serif; Debian's fonts-wine ships metric-compatible fonts under those
// family names, which are registered with the application on first use. A
// face that is missing or cannot show the Turkish letters is replaced (see
// fonts.cpp), so every control always shows "ı ş ğ ü ö ç Ç".
namespace UiFonts {

// The letters every font of the window must carry.
inline const QString TurkishLetters = QStringLiteral("ıİşŞğĞüÜöÖçÇ");

inline constexpr qreal WindowPoints = 8.25;

// Registers the fonts; later calls do nothing. Every function below calls it.
void load();

QString tahomaFamily();
QString sansSerifFamily();

QFont tahoma(qreal points, bool bold = false, bool italic = false);
// The window's default face, MS Sans Serif 8.25 pt unless asked otherwise.
QFont sansSerif(qreal points = WindowPoints, bool bold = false);

// Rows of text in this font lie rowPitch() pixels apart, each baseline
// rowBaseline() below its row's top: the font's whole ascent and descent,
// each rounded up to a pixel, so that no accent of one row and no descender
// of the row above share a pixel.
int rowPitch(const QFont &font);
int rowBaseline(const QFont &font);

// True when the face the font resolves to has a glyph for every Turkish letter.
bool showsTurkish(const QFont &font);

} // namespace UiFonts
