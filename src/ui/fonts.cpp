#include "fonts.h"

#include "ui/fontrepair.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QRawFont>
#include <QScreen>
#include <QtMath>

namespace {

const QString WineFontDir = QStringLiteral("/usr/share/wine/fonts/");
const QString FallbackFamily = QStringLiteral("DejaVu Sans");
// Any size will do: only the character map is asked.
constexpr qreal ProbePixels = 16;
// The screen the bitmap face was drawn for: 96 dots per inch, unscaled.
constexpr int DesignDpi = 96;

// MS Sans Serif's bitmaps come in a few fixed pixel sizes, made for 8.25 pt at
// 96 dpi. On a scaled screen (QT_SCALE_FACTOR, a high-dpi monitor) or at
// another logical dpi Qt spaces the letters for the larger size but draws
// them from the small bitmaps: "S E R V E R", with blanks lost. There the
// window takes the scalable face instead, so it grows as a whole and its text
// stays sharp. Asked once, for the most scaled screen present at start-up.
bool bitmapFaceFitsScreens()
{
    if (!qGuiApp)
        return true;
    const QScreen *primary = QGuiApplication::primaryScreen();
    return qFuzzyCompare(qGuiApp->devicePixelRatio(), 1.0)
            && (!primary || qRound(primary->logicalDotsPerInchY()) == DesignDpi);
}

bool coversTurkish(const QRawFont &raw)
{
    if (!raw.isValid())
        return false;
    for (QChar letter : UiFonts::TurkishLetters) {
        if (!raw.supportsCharacter(letter))
            return false;
    }
    return true;
}

enum class Repair { None, WindowsMetrics };

// Registers the files and returns the family they share, or an empty string
// when a file is missing or lacks a Turkish letter.
QString registerFamily(const QStringList &fileNames, Repair repair = Repair::None)
{
    QString family;
    for (const QString &name : fileNames) {
        QFile file(WineFontDir + name);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QByteArray bytes = file.readAll();
        if (repair == Repair::WindowsMetrics)
            bytes = FontRepair::withWindowsMetrics(bytes);
        if (!coversTurkish(QRawFont(bytes, ProbePixels)))
            return {};
        const QStringList families = QFontDatabase::applicationFontFamilies(
                QFontDatabase::addApplicationFontFromData(bytes));
        if (families.isEmpty())
            return {};
        family = families.constFirst();
    }
    return family;
}

struct Families
{
    QString tahoma;
    QString sansSerif;
    QString sansSerifBold;
};

const Families &families()
{
    static const Families resolved = [] {
        Families f;
        // Tahoma has no italic face of its own; italic is slanted by the
        // renderer, as Windows did for the about window's labels too.
        // Tahoma is repaired to space rows and draw "İ" as on Windows (see
        // fontrepair.h).
        f.tahoma = registerFamily({QStringLiteral("tahoma.ttf"), QStringLiteral("tahomabd.ttf")},
                                  Repair::WindowsMetrics);
        if (f.tahoma.isEmpty())
            f.tahoma = FallbackFamily;
        // MS Sans Serif is a bitmap face, as on Windows: its 13-pixel strike
        // is what 8.25 pt has always looked like. Without it, Tahoma is the
        // nearest face: Windows itself later put it in MS Sans Serif's place.
        if (bitmapFaceFitsScreens())
            f.sansSerif = registerFamily({QStringLiteral("ms_sans_serif.ttf")});
        if (f.sansSerif.isEmpty())
            f.sansSerif = f.tahoma;
        // The bitmap face has no bold and Qt cannot embolden bitmaps (Windows
        // smeared them by a pixel), so bold text (Label1) takes Tahoma Bold.
        f.sansSerifBold = QFontDatabase::isSmoothlyScalable(f.sansSerif) ? f.sansSerif : f.tahoma;
        return f;
    }();
    return resolved;
}

QFont make(const QString &family, qreal points, bool bold, bool italic)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

} // namespace

namespace UiFonts {

void load()
{
    families();
}

QString tahomaFamily()
{
    return families().tahoma;
}

QString sansSerifFamily()
{
    return families().sansSerif;
}

QFont tahoma(qreal points, bool bold, bool italic)
{
    return make(families().tahoma, points, bold, italic);
}

QFont sansSerif(qreal points, bool bold)
{
    return make(bold ? families().sansSerifBold : families().sansSerif, points, bold, false);
}

int rowBaseline(const QFont &font)
{
    return qCeil(QFontMetricsF(font).ascent());
}

int rowPitch(const QFont &font)
{
    return rowBaseline(font) + qCeil(QFontMetricsF(font).descent());
}

bool showsTurkish(const QFont &font)
{
    return coversTurkish(QRawFont::fromFont(font));
}

} // namespace UiFonts
