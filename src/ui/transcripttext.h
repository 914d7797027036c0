#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// The transcript's text, kept compactly: the characters of every line run
// together in one string, with no line breaks stored, beside the offset at
// which each line starts. An empty line costs one offset (8 bytes); appending
// is amortised constant time however long the transcript grows. Edits in the
// middle (the operator typing into old text) shift the offsets after them,
// which is linear in the number of lines; that only happens on a keystroke.
//
// Positions count a line break as one character, as a caret walks them:
// position 0 is before the first character, length() after the last.
class TranscriptText
{
public:
    qsizetype lineCount() const { return qsizetype(m_starts.size()); }
    qsizetype length() const { return m_chars.size() + lineCount() - 1; }
    bool isEmpty() const { return length() == 0; }

    QStringView line(qsizetype index) const;
    // The position just before the first character of a line.
    qsizetype lineStart(qsizetype index) const { return m_starts[size_t(index)] + index; }
    qsizetype lineLength(qsizetype index) const { return line(index).size(); }
    // The line a position lies on; a position at a line break belongs to the
    // line the break ends.
    qsizetype lineOf(qsizetype position) const;

    // Adds the characters to the last line and then ends it. Only CR LF
    // inside the text breaks it further: a lone CR or LF is a character of
    // the line, as in a text box whose lines end in CR LF.
    void appendLine(QStringView text);
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

private:
    qsizetype lineEndOffset(qsizetype index) const;

    QString m_chars;
    // Offset in m_chars of each line's first character; never empty.
    std::vector<qsizetype> m_starts{0};
};
