#pragma once

#include <QString>

class TranscriptView;

// The transcript box Text1 as the handlers use it. A line is added as the
// line and a CR LF after the existing text; the view then shows the end of
// the text (see ViewCommands). The box keeps its text compactly, so a line
// costs the same in a transcript of a million lines as in an empty one.
class Transcript
{
public:
    explicit Transcript(TranscriptView &box) : m_box(box) {}

    void appendLine(const QString &line);
    void clear();
    // The whole text with CR LF line ends, as the operator would copy it.
    QString text() const;
    TranscriptView &box() { return m_box; }

private:
    TranscriptView &m_box;
};
