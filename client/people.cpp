#include "people.h"

#include "net/visibletext.h"

#include <vector>

namespace {

// The operator's stop notice looks like a chat line but names nobody.
const QString ServerNotice = QStringLiteral("SUNUCU MESAJI");

} // namespace

People::People(QObject *parent) : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(RosterQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, &People::settleRoster);
}

void People::reset(const QString &nickname)
{
    m_quiet.stop();
    m_known.clear();
    m_roster.clear();
    m_gathering.clear();
    m_haveRoster = false;
    m_joinedSince.clear();
    m_gone.clear();
    learn(nickname);
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
    if (name == ServerNotice || m_known.contains(name))
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
    // counted up to 2; next[i]: the name that starts the split from i. Names
    // are looked up by their lengths, of which there are few, so a roster of
    // hundreds of names costs a few lookups a character, not hundreds.
    QList<qsizetype> lengths;
    for (const QString &name : known) {
        if (!name.isEmpty() && !lengths.contains(name.size()))
            lengths.append(name.size());
    }
    const qsizetype n = text.size();
    std::vector<int> ways(size_t(n) + 1, 0);
    std::vector<qsizetype> next(size_t(n) + 1, 0);
    ways[size_t(n)] = 1;
    for (qsizetype i = n - 1; i >= 0; --i) {
        for (const qsizetype length : lengths) {
            if (i + length > n)
                continue;
            const int after = ways[size_t(i + length)];
            if (after == 0 || !known.contains(QStringView(text).mid(i, length).toString()))
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

void People::update()
{
    QStringList names;
    bool sure = false;
    if (m_haveRoster) {
        const QStringList split = People::split(m_roster, m_known);
        sure = !split.isEmpty();
        for (const QString &name : split + m_joinedSince) {
            if (!m_gone.contains(name) && !names.contains(name))
                names.append(name);
        }
    }
    QStringList rows = names;
    if (m_haveRoster && !sure)
        rows = {VisibleText::shown(m_roster)};
    else
        for (QString &row : rows)
            row = VisibleText::shown(row);
    if (sure == m_sure && names == m_names && rows == m_rows.stringList())
        return;
    m_sure = sure;
    m_names = names;
    m_rows.setStringList(rows);
    emit changed();
}
