#include "transcript.h"

#include "ui/transcriptview.h"

void Transcript::appendLine(const QString &line)
{
    m_box.appendLine(line);
}

void Transcript::clear()
{
    m_box.clear();
}

QString Transcript::text() const
{
    return m_box.text();
}
