#include "shownread.h"

#include "wire/visibletext.h"
#include "wire/wiretext.h"

namespace ShownRead {

QString shown(const QByteArray &bytes)
{
    // Decoded whole, then cut: cutting the bytes could split a UTF-8
    // sequence and turn the whole line into the 8-bit reading.
    return cut(WireText::decodeForDisplay(bytes), bytes.size(), u"bayt");
}

QString shownText(const QString &text)
{
    // The marker added by the cut has no character that needs a stand-in.
    return VisibleText::shown(cut(text, text.size(), u"karakter"));
}

QString cut(const QString &text, qsizetype size, QStringView unit)
{
    if (text.size() <= MaxShownChars)
        return text;
    qsizetype kept = MaxShownChars;
    if (text.at(kept - 1).isHighSurrogate())
        --kept;
    return text.left(kept) + QStringLiteral(" … (toplam %1 %2)").arg(size).arg(unit);
}

} // namespace ShownRead
