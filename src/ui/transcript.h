#pragma once

#include <QString>

class QPlainTextEdit;

// The transcript box Text1. A line is added as the line and a CR LF after the
// existing text; the view then shows the end of the text (see Form1).
// Appends insert at the end of the document instead of replacing the whole
// text, so a line costs the same in a transcript of a million lines as in an
// empty one; the resulting text is the same.
class Transcript
{
public:
    explicit Transcript(QPlainTextEdit &box) : m_box(box) {}

    void appendLine(const QString &line);
    void clear();
    // The whole text with CR LF line ends, as the operator would copy it.
    QString text() const;
    QPlainTextEdit &box() { return m_box; }

private:
    QPlainTextEdit &m_box;
};
