#include "transcript.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace {
// A line as the document holds it: its own line ends become paragraph breaks,
// and a lone CR would otherwise be kept as an invisible control character.
QString asDocumentText(const QString &line)
{
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}
} // namespace

void Transcript::appendLine(const QString &line)
{
    QTextCursor end(m_box.document());
    end.movePosition(QTextCursor::End);
    // One paragraph separator per CR LF: the document keeps the text as it
    // would read with the CR LF line ends.
    end.insertText(asDocumentText(line) + QLatin1Char('\n'));
}

void Transcript::clear()
{
    m_box.clear();
}

QString Transcript::text() const
{
    QString plain = m_box.document()->toPlainText();
    plain.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return plain;
}
