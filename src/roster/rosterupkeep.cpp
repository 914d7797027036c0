#include "rosterupkeep.h"

#include "roster/guardedstep.h"
#include "roster/rosterlist.h"
#include "roster/rosterlookup.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

QString countCaption(int count)
{
    return QString::number(count) + QStringLiteral(" Kullanıcı bağlı");
}

} // namespace

RosterUpkeep::RosterUpkeep(QListWidget &List1, QLineEdit &Text4, QLabel &Label4, QTimer &Timer1,
                           QTimer &Timer2, QObject *parent)
    : QObject(parent), m_List1(List1), m_Text4(Text4), m_Label4(Label4), m_Timer2(Timer2)
{
    // The caption the window starts with; the tidy tick keeps it up to date.
    m_Label4.setText(countCaption(m_List1.count()));
    connect(&Timer1, &QTimer::timeout, this, &RosterUpkeep::tidyTick);
    connect(&m_Timer2, &QTimer::timeout, this, &RosterUpkeep::removalTick);
    connect(&m_Text4, &QLineEdit::textChanged, this, &RosterUpkeep::lookupChanged);
}

void RosterUpkeep::handOverLeaver(const QString &nickname)
{
    setLookupText(nickname);
    // Fault mended: a second hand-off within 2000 ms used to move the
    // selection away from the first leaver, whose entry then stayed for ever.
    // Every hand-off's entry is remembered and goes at the next removal tick.
    if (const int row = RosterList::selectedRow(m_List1); row >= 0)
        m_pendingLeavers.append(RosterList::entry(m_List1, row));
    // Arming while armed restarts the delay: the latest leaver stays listed,
    // selected, for its full 2000 ms, and the earlier ones go with it.
    m_Timer2.start();
}

void RosterUpkeep::tidyTick()
{
    guardedStep([this] { RemoveDuplicates(m_List1); });
    guardedStep([this] { m_Label4.setText(countCaption(m_List1.count())); });
}

void RosterUpkeep::lookupChanged()
{
    RosterList::selectRow(m_List1, RosterLookup::find(m_List1, m_Text4.text()));
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
    // QLineEdit is silent when the text does not change, yet the roster or the
    // selection may have changed since: look again all the same.
    const QString before = m_Text4.text();
    m_Text4.setText(text);
    if (m_Text4.text() == before)
        lookupChanged();
}

void RosterUpkeep::removeLeavers(const QByteArrayList &leavers)
{
    // The selected entry goes, whoever selected it; so does every entry a
    // hand-off found, unless the list no longer has it (server stop).
    QList<int> rows;
    if (const int selected = RosterList::selectedRow(m_List1); selected >= 0)
        rows.append(selected);
    for (const QByteArray &leaver : leavers) {
        const int row = RosterList::rowOf(m_List1, leaver);
        if (row >= 0 && !rows.contains(row))
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (const int row : rows)
        delete m_List1.takeItem(row); // takeItem hands the item over to us
}
