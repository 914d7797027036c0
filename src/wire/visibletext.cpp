#include "visibletext.h"

namespace VisibleText {

QChar shownChar(QChar c)
{
    constexpr char16_t ControlPictures = 0x2400; // "␀" for NUL, "␍" for CR, ...
    const char16_t u = c.unicode();
    if (u == u'\t')
        return u' ';
    if (u < 0x20)
        return QChar(char16_t(ControlPictures + u));
    if (u == 0x7f)
        return QChar(char16_t(0x2421)); // "␡"
    if (u >= 0x80 && u < 0xa0)
        return QChar(QChar::ReplacementCharacter);
    if (u == QChar::LineSeparator || u == QChar::ParagraphSeparator)
        return QChar(char16_t(0x2424)); // "␤"
    // Marks and embeddings, overrides and isolates: shown as "⸮", which reads
    // as "something invisible stood here" and does not itself steer the text.
    if (u == 0x061c || u == 0x200e || u == 0x200f || (u >= 0x202a && u <= 0x202e)
        || (u >= 0x2066 && u <= 0x2069))
        return QChar(char16_t(0x2E2E));
    return c;
}

QString shown(QStringView text)
{
    QString out = text.toString();
    for (QChar &c : out)
        c = shownChar(c);
    return out;
}

} // namespace VisibleText
