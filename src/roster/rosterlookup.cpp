#include "rosterlookup.h"

#include "roster/rostermodel.h"

namespace RosterLookup {

namespace {
constexpr char16_t CapitalDottedI = 0x0130; // İ
constexpr char16_t SmallDotlessI = 0x0131;  // ı
} // namespace

QString folded(const QString &text)
{
    // Unicode case folding pairs Ş/ş, Ğ/ğ, Ç/ç, Ö/ö, Ü/ü but treats İ and ı
    // as letters of their own (and folds I to i). A nickname may have been
    // upper-cased with or without Turkish rules (ALI or ALİ) and typed on
    // either keyboard, so all four i letters count as one here. Only the
    // leave lookup compares this way; the duplicate removal stays exact.
    QString result = text.toCaseFolded();
    for (QChar &c : result) {
        if (c == QChar(CapitalDottedI) || c == QChar(SmallDotlessI))
            c = QLatin1Char('i');
    }
    return result;
}

int find(const RosterModel &roster, const QString &nickname)
{
    if (nickname.isEmpty())
        return -1;
    // A prefix match alone would take Alice off the roster when Ali leaves,
    // so a whole-name match wins over a prefix anywhere in the roster, and an
    // exact one over one that differs in case (Ali and ALI are two users: the
    // duplicate removal keeps both).
    const QString wanted = folded(nickname);
    int firstEqual = -1;
    int firstPrefix = -1;
    for (int row = 0; row < roster.count(); ++row) {
        const QString text = roster.text(row);
        if (text == nickname)
            return row;
        const QString candidate = folded(text);
        if (firstEqual < 0 && candidate == wanted)
            firstEqual = row;
        else if (firstPrefix < 0 && candidate.startsWith(wanted))
            firstPrefix = row;
    }
    return firstEqual >= 0 ? firstEqual : firstPrefix;
}

} // namespace RosterLookup
