#include "transcripttext.h"

#include <algorithm>

namespace {
constexpr QStringView CrLf = u"\r\n";
} // namespace

QStringView TranscriptText::line(qsizetype index) const
{
    const qsizetype start = m_starts[size_t(index)];
    return QStringView(m_chars).sliced(start, lineEndOffset(index) - start);
}

qsizetype TranscriptText::lineEndOffset(qsizetype index) const
{
    return index + 1 < lineCount() ? m_starts[size_t(index + 1)] : m_chars.size();
}

qsizetype TranscriptText::lineOf(qsizetype position) const
{
    // The caret mostly sits at the end: answer that without a search.
    if (position >= lineStart(lineCount() - 1))
        return lineCount() - 1;
    // lineStart() grows strictly with the index, so a binary search finds the
    // last line starting at or before the position.
    qsizetype low = 0;
    qsizetype high = lineCount() - 1;
    while (low < high) {
        const qsizetype mid = low + (high - low + 1) / 2;
        if (lineStart(mid) <= position)
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

void TranscriptText::appendLine(QStringView text)
{
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(CrLf); at >= 0; at = text.indexOf(CrLf, from)) {
        m_chars.append(text.sliced(from, at - from));
        m_starts.push_back(m_chars.size());
        from = at + CrLf.size();
    }
    m_chars.append(text.sliced(from));
    m_starts.push_back(m_chars.size());
}

void TranscriptText::insert(qsizetype position, QStringView text)
{
    const qsizetype line = lineOf(position);
    const qsizetype offset = m_starts[size_t(line)] + (position - lineStart(line));
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
    auto after = m_starts.begin() + line + 1;
    std::for_each(after, m_starts.end(), [n = chars.size()](qsizetype &start) { start += n; });
    m_starts.insert(after, newStarts.begin(), newStarts.end());
}

void TranscriptText::remove(qsizetype from, qsizetype to)
{
    from = std::clamp<qsizetype>(from, 0, length());
    to = std::clamp<qsizetype>(to, from, length());
    if (from == to)
        return;
    const qsizetype first = lineOf(from);
    const qsizetype last = lineOf(to);
    const qsizetype begin = m_starts[size_t(first)] + (from - lineStart(first));
    const qsizetype end = m_starts[size_t(last)] + (to - lineStart(last));
    m_chars.remove(begin, end - begin);
    auto erased = m_starts.erase(m_starts.begin() + first + 1, m_starts.begin() + last + 1);
    std::for_each(erased, m_starts.end(), [n = end - begin](qsizetype &start) { start -= n; });
}

void TranscriptText::clear()
{
    // Hand the memory back: a cleared transcript of a million lines should
    // not keep holding their offsets.
    m_chars = QString();
    std::vector<qsizetype>{0}.swap(m_starts);
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
            + qsizetype(m_starts.capacity() * sizeof(qsizetype));
}
