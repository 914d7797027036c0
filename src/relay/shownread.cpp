#include "shownread.h"

#include "net/wiretext.h"

namespace ShownRead {

QString shown(const QByteArray &bytes)
{
    // Decoded whole, then cut: cutting the bytes could split a UTF-8
    // sequence and turn the whole line into the 8-bit reading.
    const QString text = WireText::decodeForDisplay(bytes);
    if (text.size() <= MaxShownChars)
        return text;
    qsizetype cut = MaxShownChars;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QStringLiteral(" … (toplam %1 bayt)").arg(bytes.size());
}

} // namespace ShownRead
