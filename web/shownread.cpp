#include "shownread.h"

#include "net/visibletext.h"

QString ShownRead::shown(const QString &text)
{
    if (text.size() <= MaxShownChars)
        return VisibleText::shown(text);
    qsizetype cut = MaxShownChars;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return VisibleText::shown(QStringView(text).left(cut))
           + QStringLiteral(" … (toplam %1 karakter)").arg(text.size());
}
