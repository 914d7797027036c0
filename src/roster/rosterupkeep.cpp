#include "rosterupkeep.h"

#include "roster/guardedstep.h"
#include "roster/removeduplicates.h"
#include "roster/rosterlookup.h"
#include "roster/rostermodel.h"

#include <algorithm>
#include <utility>

namespace {

QString captionFor(int count)
{
    return QString::number(count) + QStringLiteral(" Kullanıcı bağlı");
}

} // namespace

RosterUpkeep::RosterUpkeep(RosterModel &roster, QObject *parent)
    : QObject(parent), m_roster(roster), m_caption(captionFor(roster.count()))
{
    m_Timer1.setObjectName(QStringLiteral("Timer1"));
    m_Timer1.setInterval(TidyIntervalMs);
    m_Timer2.setObjectName(QStringLiteral("Timer2"));
    m_Timer2.setInterval(RemovalIntervalMs);
    m_Timer2.setSingleShot(true);
    connect(&m_Timer1, &QTimer::timeout, this, &RosterUpkeep::tidyTick);
    connect(&m_Timer2, &QTimer::timeout, this, &RosterUpkeep::removalTick);
}

void RosterUpkeep::handOverLeaver(const QString &nickname)
{
    setLookupText(nickname);
    // Every hand-off's entry is remembered and goes at the next removal tick:
    // a second hand-off within 2000 ms moves the selection away from the
    // first leaver, whose entry would otherwise stay for ever.
    if (const int row = m_roster.selectedRow(); row >= 0)
        m_pendingLeavers.append(m_roster.entry(row));
    // Arming while armed restarts the delay: the latest leaver stays listed,
    // selected, for its full 2000 ms, and the earlier ones go with it.
    m_Timer2.start();
}

void RosterUpkeep::tidyTick()
{
    guardedStep([this] { RemoveDuplicates(m_roster); });
    guardedStep([this] {
        m_caption = captionFor(m_roster.count());
        emit countCaptionChanged(m_caption);
    });
}

void RosterUpkeep::lookupChanged()
{
    m_roster.selectRow(RosterLookup::find(m_roster, m_lookup));
}

void RosterUpkeep::removalTick()
{
    const QByteArrayList leavers = std::exchange(m_pendingLeavers, {});
    guardedStep([&] { removeLeavers(leavers); });
    guardedStep([this] { setLookupText(QString()); });
    guardedStep([this] { m_Timer2.stop(); });
}

void RosterUpkeep::setLookupText(const QString &text)
{
    // Set to the text it already holds, the lookup still runs: the roster or
    // the selection may have changed since.
    const bool changed = text != m_lookup;
    m_lookup = text;
    lookupChanged();
    if (changed)
        emit lookupTextChanged(m_lookup);
}

void RosterUpkeep::removeLeavers(const QByteArrayList &leavers)
{
    // The selected entry goes, whoever selected it; so does every entry a
    // hand-off found, unless the roster no longer has it (server stop).
    QList<int> rows;
    if (const int selected = m_roster.selectedRow(); selected >= 0)
        rows.append(selected);
    for (const QByteArray &leaver : leavers) {
        const int row = m_roster.rowOf(leaver);
        if (row >= 0 && !rows.contains(row))
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (const int row : rows)
        m_roster.removeEntry(row);
}
