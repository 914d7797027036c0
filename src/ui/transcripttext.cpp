#include "transcripttext.h"

#include <algorithm>

namespace {
constexpr QStringView CrLf = u"\r\n";
} // namespace

QStringView TranscriptText::line(qsizetype index) const
{
    const qsizetype start = startOffset(index);
    return QStringView(m_chars).sliced(start, lineEndOffset(index) - start);
}

qsizetype TranscriptText::lineEndOffset(qsizetype index) const
{
    return index + 1 < lineCount() ? startOffset(index + 1) : m_chars.size();
}

size_t TranscriptText::entryOf(qsizetype index) const
{
    // Lines are mostly asked for near the end: answer that without a search.
    if (m_starts.back().firstLine <= index)
        return m_starts.size() - 1;
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), index,
                                        [](qsizetype line, const Starts &entry) { return line < entry.firstLine; });
    return size_t(after - m_starts.begin()) - 1;
}

qsizetype TranscriptText::lastLineOf(size_t entry) const
{
    return entry + 1 < m_starts.size() ? m_starts[entry + 1].firstLine - 1 : m_lines - 1;
}

qsizetype TranscriptText::lineOf(qsizetype position) const
{
    // The caret mostly sits at the end: answer that without a search.
    if (position >= lineStart(lineCount() - 1))
        return lineCount() - 1;
    // Line k of an entry starts at position offset + k, and the entries' first
    // lines start at strictly growing positions: find the last entry whose
    // first line starts at or before the position. Within it, each empty line
    // holds one position, the last line the rest.
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), position,
                                        [](qsizetype at, const Starts &entry) {
                                            return at < entry.offset + entry.firstLine;
                                        });
    const size_t entry = std::max<size_t>(size_t(after - m_starts.begin()), 1) - 1;
    return std::clamp(position - m_starts[entry].offset, m_starts[entry].firstLine, lastLineOf(entry));
}

void TranscriptText::endLastLine(qsizetype offset, qsizetype count)
{
    if (m_starts.back().offset != offset)
        m_starts.push_back({m_lines, offset});
    m_lines += count;
}

size_t TranscriptText::splitAt(qsizetype line)
{
    if (line >= m_lines)
        return m_starts.size();
    const size_t entry = entryOf(line);
    if (m_starts[entry].firstLine == line)
        return entry;
    m_starts.insert(m_starts.begin() + qsizetype(entry) + 1, {line, m_starts[entry].offset});
    return entry + 1;
}

void TranscriptText::joinBack(size_t entry)
{
    if (entry > 0 && entry < m_starts.size() && m_starts[entry].offset == m_starts[entry - 1].offset)
        m_starts.erase(m_starts.begin() + qsizetype(entry));
}

void TranscriptText::shiftFrom(size_t entry, qsizetype lines, qsizetype chars)
{
    std::for_each(m_starts.begin() + qsizetype(entry), m_starts.end(), [=](Starts &starts) {
        starts.firstLine += lines;
        starts.offset += chars;
    });
}

void TranscriptText::appendLine(QStringView text)
{
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(CrLf); at >= 0; at = text.indexOf(CrLf, from)) {
        m_chars.append(text.sliced(from, at - from));
        endLastLine(m_chars.size());
        from = at + CrLf.size();
    }
    m_chars.append(text.sliced(from));
    endLastLine(m_chars.size());
}

void TranscriptText::appendEmptyLines(qsizetype count)
{
    if (count > 0)
        endLastLine(m_chars.size(), count);
}

void TranscriptText::insert(qsizetype position, QStringView text)
{
    const qsizetype line = lineOf(position);
    const qsizetype offset = startOffset(line) + (position - lineStart(line));
    std::vector<qsizetype> newStarts;
    QString chars;
    chars.reserve(text.size());
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(u'\n'); at >= 0; at = text.indexOf(u'\n', from)) {
        chars.append(text.sliced(from, at - from));
        newStarts.push_back(offset + chars.size());
        from = at + 1;
    }
    chars.append(text.sliced(from));
    m_chars.insert(offset, chars);
    const size_t after = splitAt(line + 1);
    const qsizetype added = qsizetype(newStarts.size());
    shiftFrom(after, added, chars.size());
    std::vector<Starts> entries;
    entries.reserve(newStarts.size());
    for (qsizetype i = 0; i < added; ++i)
        entries.push_back({line + 1 + i, newStarts[size_t(i)]});
    m_starts.insert(m_starts.begin() + qsizetype(after), entries.begin(), entries.end());
    m_lines += added;
    // From the back, so that a join leaves the entries before it in place.
    for (size_t entry = after + size_t(added); entry >= after && entry > 0; --entry)
        joinBack(entry);
}

void TranscriptText::remove(qsizetype from, qsizetype to)
{
    from = std::clamp<qsizetype>(from, 0, length());
    to = std::clamp<qsizetype>(to, from, length());
    if (from == to)
        return;
    const qsizetype first = lineOf(from);
    const qsizetype last = lineOf(to);
    const qsizetype begin = startOffset(first) + (from - lineStart(first));
    const qsizetype end = startOffset(last) + (to - lineStart(last));
    m_chars.remove(begin, end - begin);
    const size_t kept = splitAt(first + 1);
    const size_t rest = splitAt(last + 1);
    m_starts.erase(m_starts.begin() + qsizetype(kept), m_starts.begin() + qsizetype(rest));
    shiftFrom(kept, first - last, begin - end);
    m_lines -= last - first;
    joinBack(kept);
}

void TranscriptText::clear()
{
    // Hand the memory back: a cleared transcript of a million lines should
    // not keep holding their offsets.
    m_chars = QString();
    std::vector<Starts>{{0, 0}}.swap(m_starts);
    m_lines = 1;
}

QString TranscriptText::text(qsizetype from, qsizetype to, QStringView lineBreak) const
{
    from = std::clamp<qsizetype>(from, 0, length());
    to = std::clamp<qsizetype>(to, from, length());
    const qsizetype first = lineOf(from);
    const qsizetype last = lineOf(to);
    QString result;
    result.reserve(to - from + (last - first) * (lineBreak.size() - 1));
    for (qsizetype i = first; i <= last; ++i) {
        const QStringView chars = line(i);
        const qsizetype begin = i == first ? from - lineStart(i) : 0;
        const qsizetype end = i == last ? to - lineStart(i) : chars.size();
        result.append(chars.sliced(begin, end - begin));
        if (i < last)
            result.append(lineBreak);
    }
    return result;
}

qsizetype TranscriptText::bytesHeld() const
{
    return m_chars.capacity() * qsizetype(sizeof(QChar))
            + qsizetype(m_starts.capacity() * sizeof(Starts));
}

qsizetype TranscriptText::bytesUsed() const
{
    return m_chars.size() * qsizetype(sizeof(QChar)) + qsizetype(m_starts.size() * sizeof(Starts));
}

qsizetype TranscriptText::linesOver(qsizetype bytes) const
{
    // What the entries from one on use shrinks the later that one is: the
    // first that fits is found by halving. An entry is kept whole, so a run
    // of empty lines goes with the line it ends in.
    const qsizetype chars = m_chars.size();
    const size_t entries = m_starts.size();
    const auto fits = std::partition_point(m_starts.begin(), m_starts.end(), [&](const Starts &entry) {
        const size_t index = size_t(&entry - m_starts.data());
        return (chars - entry.offset) * qsizetype(sizeof(QChar))
                + qsizetype((entries - index) * sizeof(Starts))
                > bytes;
    });
    return fits == m_starts.end() ? m_lines - 1 : fits->firstLine;
}

void TranscriptText::replaceFirstLines(qsizetype count, QStringView line)
{
    count = std::clamp<qsizetype>(count, 0, m_lines - 1);
    const size_t entry = entryOf(count);
    const qsizetype from = startOffset(count);
    QString chars;
    chars.reserve(line.size() + m_chars.size() - from);
    chars.append(line);
    chars.append(QStringView(m_chars).sliced(from));
    std::vector<Starts> starts;
    starts.reserve(m_starts.size() - entry + 1);
    starts.push_back({0, 0});
    // Line count becomes line 1; with an empty line before it, both start
    // at offset 0 and share the first entry.
    if (!line.isEmpty())
        starts.push_back({1, line.size()});
    for (size_t i = entry + 1; i < m_starts.size(); ++i)
        starts.push_back({m_starts[i].firstLine - count + 1, m_starts[i].offset - from + line.size()});
    m_chars = std::move(chars);
    m_starts = std::move(starts);
    m_lines -= count - 1;
}
