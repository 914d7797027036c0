#include "people.h"

#include "wire/servernotice.h"
#include "wire/visibletext.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace {

// The server keeps at most 256 bytes of one nickname, so no roster entry is
// longer; it also bounds the work of reading a long roster.
constexpr qsizetype LongestName = 256;

const QString DefaultOperator = QStringLiteral("SERVER");

// Where text shows a boundary between two names by the case of its letters:
// before an upper-case letter that follows a lower-case one ("AyşeMehmet"),
// or before the last capital of a run when a lower-case letter follows it
// ("HOCAAyşe").
bool caseBoundary(QStringView text, qsizetype at)
{
    if (at <= 0 || at >= text.size())
        return false;
    const QChar before = text.at(at - 1);
    const QChar here = text.at(at);
    if (!here.isUpper())
        return false;
    if (before.isLower())
        return true;
    return before.isUpper() && at + 1 < text.size() && text.at(at + 1).isLower();
}

// A cut between two lower-case letters, or a letter and the lower-case one
// after it, splits a word: names seldom meet there.
bool insideWord(QStringView text, qsizetype at)
{
    return at > 0 && at < text.size() && text.at(at).isLower() && text.at(at - 1).isLetter();
}

// The lengths of the known names, longest first: a name is looked up by
// each length there is, of which there are few, so a roster of hundreds of
// names costs a few look-ups a character, not hundreds.
QList<qsizetype> lengthsOf(const QSet<QString> &known)
{
    QList<qsizetype> lengths;
    for (const QString &name : known) {
        if (!name.isEmpty() && !lengths.contains(name.size()))
            lengths.append(name.size());
    }
    std::sort(lengths.begin(), lengths.end(), std::greater<>());
    return lengths;
}

bool knownAt(QStringView text, qsizetype at, qsizetype length, const QSet<QString> &known)
{
    return at + length <= text.size() && known.contains(text.mid(at, length).toString());
}

} // namespace

People::People(QObject *parent) : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(RosterQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, &People::settleRoster);
}

void People::reset(const QString &nickname)
{
    clear();
    learn(nickname);
    // The operator's nickname comes first in every roster, and most servers
    // keep the one it starts with.
    learn(DefaultOperator);
    update();
}

void People::rosterText(const QString &text)
{
    m_gathering += text;
    m_quiet.start();
}

void People::settleRoster()
{
    m_quiet.stop();
    if (m_gathering.isEmpty())
        return;
    m_roster = std::exchange(m_gathering, {});
    m_haveRoster = true;
    m_joinedSince.clear();
    update();
}

void People::joined(const QString &nickname)
{
    // An empty nickname leaves an empty roster entry, which shows as nothing.
    if (nickname.isEmpty())
        return;
    learn(nickname);
    m_gone.remove(nickname);
    if (!m_joinedSince.contains(nickname))
        m_joinedSince.append(nickname);
    update();
}

QStringList People::leaveText(const QString &text)
{
    QStringList names = m_known.contains(text) ? QStringList{text} : split(text, m_known);
    if (names.isEmpty() && !text.isEmpty())
        names = {text};
    for (const QString &name : names) {
        learn(name);
        m_gone.insert(name);
        m_joinedSince.removeAll(name);
    }
    update();
    return names;
}

void People::chatText(const QString &text)
{
    if (!text.startsWith(u'<'))
        return;
    const qsizetype end = text.indexOf(QStringLiteral("> "));
    if (end <= 1)
        return;
    const QString name = text.mid(1, end - 1);
    if (name == ServerNotice::Sender || m_known.contains(name))
        return;
    learn(name);
    update();
}

void People::know(const QString &name)
{
    if (name.isEmpty() || m_known.contains(name))
        return;
    learn(name);
    update();
}

void People::learn(const QString &name)
{
    if (!name.isEmpty())
        m_known.insert(name);
}

QStringList People::split(const QString &text, const QSet<QString> &known)
{
    // ways[i]: in how many ways text from i on splits into known names,
    // counted up to 2; next[i]: the name that starts the split from i.
    const QList<qsizetype> lengths = lengthsOf(known);
    const qsizetype n = text.size();
    std::vector<int> ways(size_t(n) + 1, 0);
    std::vector<qsizetype> next(size_t(n) + 1, 0);
    ways[size_t(n)] = 1;
    for (qsizetype i = n - 1; i >= 0; --i) {
        for (const qsizetype length : lengths) {
            if (!knownAt(text, i, length, known))
                continue;
            const int after = ways[size_t(i + length)];
            if (after == 0)
                continue;
            ways[size_t(i)] = std::min(2, ways[size_t(i)] + after);
            next[size_t(i)] = length;
        }
    }
    if (n == 0 || ways[0] != 1)
        return {};
    QStringList names;
    for (qsizetype i = 0; i < n; i += next[size_t(i)])
        names.append(text.mid(i, next[size_t(i)]));
    return names;
}

QStringList People::likelySplit(const QString &text, const QSet<QString> &known)
{
    // Chosen from the end backwards: each reading of text from i on has a
    // cost, the pieces no known name explains plus the cuts that split a word,
    // and among equal costs the one that explains more letters by known names.
    // An unknown piece runs to the next case boundary at most, and ends early
    // only where a known name starts, so the work stays near linear.
    struct Best
    {
        int cost = 0;
        qsizetype knownLetters = 0;
        qsizetype length = 0;
    };
    const qsizetype n = text.size();
    const QStringView view(text);
    const QList<qsizetype> lengths = lengthsOf(known);
    std::vector<bool> nameStarts(size_t(n) + 1, false);
    for (qsizetype i = 0; i < n; ++i)
        nameStarts[size_t(i)] = std::any_of(lengths.begin(), lengths.end(), [&](qsizetype length) {
            return knownAt(view, i, length, known);
        });
    std::vector<Best> best(size_t(n) + 1);
    const auto better = [](const Best &a, const Best &b) {
        return a.cost != b.cost ? a.cost < b.cost : a.knownLetters > b.knownLetters;
    };
    for (qsizetype i = n - 1; i >= 0; --i) {
        std::optional<Best> chosen;
        const auto consider = [&](qsizetype end, int cost, qsizetype knownLetters) {
            const Best &after = best[size_t(end)];
            const Best candidate{cost + after.cost + (insideWord(view, end) ? 1 : 0),
                                 knownLetters + after.knownLetters, end - i};
            if (!chosen || better(candidate, *chosen))
                chosen = candidate;
        };
        for (const qsizetype length : lengths) {
            if (knownAt(view, i, length, known))
                consider(i + length, 0, length);
        }
        const qsizetype last = std::min(n, i + LongestName);
        for (qsizetype end = i + 1; end <= last; ++end) {
            const bool boundary = caseBoundary(view, end);
            if (end == last || boundary || nameStarts[size_t(end)])
                consider(end, 1, 0);
            if (boundary)
                break;
        }
        best[size_t(i)] = *chosen;
    }
    QStringList names;
    for (qsizetype i = 0; i < n; i += best[size_t(i)].length)
        names.append(text.mid(i, best[size_t(i)].length));
    return names;
}

void People::clear()
{
    m_quiet.stop();
    m_known.clear();
    m_roster.clear();
    m_gathering.clear();
    m_haveRoster = false;
    m_joinedSince.clear();
    m_gone.clear();
    update();
}

void People::update()
{
    QStringList names;
    bool sure = false;
    bool likely = false;
    if (m_haveRoster) {
        QStringList pieces = People::split(m_roster, m_known);
        sure = !pieces.isEmpty();
        if (!sure) {
            pieces = likelySplit(m_roster, m_known);
            // One piece that no known name explains is the text as received.
            likely = pieces.size() > 1;
            if (!likely)
                pieces.clear();
        }
        for (const QString &name : pieces + m_joinedSince) {
            if (!m_gone.contains(name) && !names.contains(name))
                names.append(name);
        }
    }
    QStringList rows = names;
    if (m_haveRoster && !sure && !likely)
        rows = {VisibleText::shown(m_roster)};
    else
        for (QString &row : rows)
            row = VisibleText::shown(row);
    if (sure == m_sure && likely == m_likely && names == m_names && rows == m_rows.stringList())
        return;
    m_sure = sure;
    m_likely = likely;
    m_names = names;
    m_rows.setStringList(rows);
    emit changed();
}
