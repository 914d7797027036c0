#include "fontrepair.h"

#include <QRawFont>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <optional>

namespace {

// The parts of the TrueType file format the repair touches.
constexpr qsizetype DirectoryHeader = 12;
constexpr qsizetype DirectoryEntry = 16;
constexpr qsizetype Os2FsSelection = 62;
constexpr quint16 UseTypoMetrics = 1 << 7;
constexpr qsizetype HeadIndexToLocFormat = 50;
constexpr qsizetype GlyphHeader = 10;
constexpr quint16 ArgsAreWords = 0x0001;
constexpr quint16 ArgsAreXyValues = 0x0002;
constexpr quint16 MoreComponents = 0x0020;
constexpr quint16 UseMyMetrics = 0x0200;
constexpr qsizetype ComponentSize = 8; // flags, glyph, two 16-bit offsets
// Bitmap strikes and their index, scaling and X11 tables.
constexpr std::array<const char *, 4> BitmapTables{"EBDT", "EBLC", "EBSC", "BDF "};

class Sfnt
{
public:
    explicit Sfnt(QByteArray &bytes) : m_bytes(bytes) {}

    bool fits(qsizetype offset, qsizetype size) const
    {
        return offset >= 0 && size >= 0 && offset + size <= m_bytes.size();
    }
    quint16 u16(qsizetype at) const { return qFromBigEndian<quint16>(m_bytes.constData() + at); }
    qint16 i16(qsizetype at) const { return qFromBigEndian<qint16>(m_bytes.constData() + at); }
    quint32 u32(qsizetype at) const { return qFromBigEndian<quint32>(m_bytes.constData() + at); }
    void put16(qsizetype at, quint16 value) { qToBigEndian(value, m_bytes.data() + at); }

    qsizetype tableCount() const { return fits(0, DirectoryHeader) ? u16(4) : 0; }
    QByteArray tagAt(qsizetype entry) const
    {
        return m_bytes.mid(DirectoryHeader + entry * DirectoryEntry, 4);
    }

    // Where a table lies, if it is there and inside the file.
    std::optional<qsizetype> table(const char *tag, qsizetype minSize) const
    {
        for (qsizetype i = 0; i < tableCount(); ++i) {
            const qsizetype entry = DirectoryHeader + i * DirectoryEntry;
            if (!fits(entry, DirectoryEntry) || tagAt(i) != tag)
                continue;
            const qsizetype offset = u32(entry + 8);
            if (fits(offset, std::max<qsizetype>(minSize, u32(entry + 12))))
                return offset;
        }
        return std::nullopt;
    }

    // Takes tables out of the directory; their bytes stay where they are,
    // unreferenced, so the other tables' offsets hold.
    void dropTables()
    {
        const qsizetype count = tableCount();
        if (!fits(DirectoryHeader, count * DirectoryEntry))
            return;
        qsizetype kept = 0;
        for (qsizetype i = 0; i < count; ++i) {
            const QByteArray tag = tagAt(i);
            if (std::find(BitmapTables.begin(), BitmapTables.end(), tag) != BitmapTables.end())
                continue;
            char *entries = m_bytes.data() + DirectoryHeader;
            std::copy_n(entries + i * DirectoryEntry, DirectoryEntry, entries + kept * DirectoryEntry);
            ++kept;
        }
        std::fill_n(m_bytes.data() + DirectoryHeader + kept * DirectoryEntry,
                    (count - kept) * DirectoryEntry, '\0');
        // The binary-search fields the format keeps beside the count.
        const auto power = std::bit_floor(quint16(std::max<qsizetype>(kept, 1)));
        put16(4, quint16(kept));
        put16(6, quint16(power * DirectoryEntry));
        put16(8, quint16(std::countr_zero(power)));
        put16(10, quint16((kept - power) * DirectoryEntry));
    }

private:
    QByteArray &m_bytes;
};

struct Box
{
    qint16 xMin, yMin, xMax, yMax;
};

class Glyphs
{
public:
    Glyphs(Sfnt &font, qsizetype glyf, qsizetype loca, bool longOffsets)
        : m_font(font), m_glyf(glyf), m_loca(loca), m_long(longOffsets)
    {
    }

    // The glyph's bytes inside glyf: offset and length.
    std::optional<std::pair<qsizetype, qsizetype>> span(quint32 glyph) const
    {
        const qsizetype at = m_loca + qsizetype(glyph) * (m_long ? 4 : 2);
        if (!m_font.fits(at, m_long ? 8 : 4))
            return std::nullopt;
        const auto offsetAt = [&](qsizetype p) -> qsizetype {
            return m_long ? qsizetype(m_font.u32(p)) : 2 * qsizetype(m_font.u16(p));
        };
        const qsizetype begin = m_glyf + offsetAt(at);
        const qsizetype end = m_glyf + offsetAt(at + (m_long ? 4 : 2));
        if (end - begin < GlyphHeader || !m_font.fits(begin, end - begin))
            return std::nullopt;
        return std::pair{begin, end - begin};
    }

    std::optional<Box> box(quint32 glyph) const
    {
        const auto s = span(glyph);
        if (!s)
            return std::nullopt;
        const qsizetype at = s->first;
        return Box{m_font.i16(at + 2), m_font.i16(at + 4), m_font.i16(at + 6), m_font.i16(at + 8)};
    }

private:
    Sfnt &m_font;
    qsizetype m_glyf;
    qsizetype m_loca;
    bool m_long;
};

// "İ" as "I" with the dot accent centred above it, as high as the file's own
// "İ" carries its dot, written over the old outline (a composite glyph is
// smaller than any outline with two contours).
void rebuildDottedI(Sfnt &font, QByteArray &bytes)
{
    const auto head = font.table("head", HeadIndexToLocFormat + 2);
    const auto loca = font.table("loca", 0);
    const auto glyf = font.table("glyf", 0);
    if (!head || !loca || !glyf)
        return;
    const QRawFont raw(bytes, 16);
    const QList<quint32> ids = raw.glyphIndexesForString(QStringLiteral(u"I\u0130\u02D9"));
    if (ids.size() != 3 || ids.contains(0u))
        return;
    const Glyphs glyphs(font, *glyf, *loca, font.i16(*head + HeadIndexToLocFormat) == 1);
    const auto plain = glyphs.box(ids[0]);
    const auto dotted = glyphs.box(ids[1]);
    const auto dot = glyphs.box(ids[2]);
    const auto target = glyphs.span(ids[1]);
    if (!plain || !dotted || !dot || !target || target->second < GlyphHeader + 2 * ComponentSize)
        return;
    const auto dx = qint16((plain->xMin + plain->xMax - dot->xMin - dot->xMax) / 2);
    const auto dy = qint16(dotted->yMax - dot->yMax);
    const qsizetype at = target->first;
    const std::array<quint16, GlyphHeader / 2 + 2 * ComponentSize / 2> words{
            quint16(-1), // a composite glyph
            quint16(std::min(plain->xMin, qint16(dot->xMin + dx))),
            quint16(std::min(plain->yMin, qint16(dot->yMin + dy))),
            quint16(std::max(plain->xMax, qint16(dot->xMax + dx))),
            quint16(std::max(plain->yMax, qint16(dot->yMax + dy))),
            ArgsAreWords | ArgsAreXyValues | MoreComponents | UseMyMetrics,
            quint16(ids[0]), 0, 0,
            ArgsAreWords | ArgsAreXyValues,
            quint16(ids[2]), quint16(dx), quint16(dy)};
    for (size_t i = 0; i < words.size(); ++i)
        font.put16(at + qsizetype(2 * i), words[i]);
}

} // namespace

namespace FontRepair {

QByteArray withWindowsMetrics(const QByteArray &sfnt)
{
    QByteArray bytes = sfnt;
    Sfnt font(bytes);
    const auto os2 = font.table("OS/2", Os2FsSelection + 2);
    if (!os2)
        return sfnt;
    font.put16(*os2 + Os2FsSelection, font.u16(*os2 + Os2FsSelection) & ~UseTypoMetrics);
    rebuildDottedI(font, bytes);
    font.dropTables();
    return bytes;
}

} // namespace FontRepair
