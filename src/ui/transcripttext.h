#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// The transcript's text, kept compactly: the characters of every line run
// together in one string, with no line breaks stored, beside the offset at
// which each line starts. Lines that start at the same offset (a run of empty
// lines and the line after them) share one entry: a chat line on a channel
// with thousands of closed elements brings thousands of empty lines, and they
// cost what one line costs. Appending is amortised constant time however long
// the transcript grows. Edits in the middle (the operator typing into old
// text) shift the entries after them, which is linear in their number; that
// only happens on a keystroke.
//
// Positions count a line break as one character, as a caret walks them:
// position 0 is before the first character, length() after the last.
class TranscriptText
{
public:
    qsizetype lineCount() const { return m_lines; }
    qsizetype length() const { return m_chars.size() + lineCount() - 1; }
    bool isEmpty() const { return length() == 0; }

    QStringView line(qsizetype index) const;
    // The position just before the first character of a line.
    qsizetype lineStart(qsizetype index) const { return startOffset(index) + index; }
    qsizetype lineLength(qsizetype index) const { return line(index).size(); }
    // The line a position lies on; a position at a line break belongs to the
    // line the break ends.
    qsizetype lineOf(qsizetype position) const;

    // Adds the characters to the last line and then ends it. Only CR LF
    // inside the text breaks it further: a lone CR or LF is a character of
    // the line, as in a text box whose lines end in CR LF.
    void appendLine(QStringView text);
    // The same as that many appendLine() calls with empty text, in constant
    // time.
    void appendEmptyLines(qsizetype count);
    // Inserts at a position; here every '\n' is a line break (typed Enter,
    // pasted lines).
    void insert(qsizetype position, QStringView text);
    void remove(qsizetype from, qsizetype to);
    void clear();

    // The characters between two positions, line breaks written as given.
    QString text(qsizetype from, qsizetype to, QStringView lineBreak) const;
    QString text(QStringView lineBreak) const { return text(0, length(), lineBreak); }

    // Memory held for the text and its line offsets, spare capacity included.
    qsizetype bytesHeld() const;
    // The same without the spare capacity: what the lines themselves take.
    qsizetype bytesUsed() const;

    // The fewest first lines whose removal leaves the other lines using at
    // most that many bytes; never the last line.
    qsizetype linesOver(qsizetype bytes) const;
    // Puts one line (without line breaks) in place of the first count lines,
    // the last line never among them. The rest moves into storage of its own
    // size, so the memory of the lines dropped goes back to the system.
    void replaceFirstLines(qsizetype count, QStringView line);

private:
    // Lines firstLine up to the next entry's firstLine all start at offset
    // in m_chars; all but the last of them are empty.
    struct Starts
    {
        qsizetype firstLine;
        qsizetype offset;
    };

    qsizetype startOffset(qsizetype index) const { return m_starts[entryOf(index)].offset; }
    qsizetype lineEndOffset(qsizetype index) const;
    size_t entryOf(qsizetype index) const;
    qsizetype lastLineOf(size_t entry) const;
    // Ends the last line; the next one starts at offset.
    void endLastLine(qsizetype offset, qsizetype count = 1);
    // Makes an entry begin at the line (the end of the text included) and
    // gives its index.
    size_t splitAt(qsizetype line);
    // Joins the entry with the one before it when both start at one offset.
    void joinBack(size_t entry);
    void shiftFrom(size_t entry, qsizetype lines, qsizetype chars);

    QString m_chars;
    // In line order; never empty, the first entry starts line 0 at offset 0.
    std::vector<Starts> m_starts{{0, 0}};
    qsizetype m_lines = 1;
};
