#pragma once

// Stand-in for the roster upkeep while it is built on another branch: only
// what the relay tests touch, the hand-off into Text4 and Timer2. Its
// definitions are weak, so the real RosterUpkeep takes their place as soon as
// it is linked into the program, and the tests then run against it unchanged.
// Include it from one test source only.
#include "roster/rosterupkeep.h"

#include <QLineEdit>
#include <QTimer>

#include <map>

namespace RosterUpkeepStandIn {
struct HandOff
{
    QLineEdit *Text4 = nullptr;
    QTimer *Timer2 = nullptr;
};
inline std::map<const RosterUpkeep *, HandOff> handOffs;
} // namespace RosterUpkeepStandIn

[[gnu::weak]] RosterUpkeep::RosterUpkeep(QListWidget &, QLineEdit &Text4, QLabel &, QTimer &,
                                         QTimer &Timer2, QObject *parent)
    : QObject(parent)
{
    RosterUpkeepStandIn::handOffs[this] = {&Text4, &Timer2};
}

[[gnu::weak]] void RosterUpkeep::handOverLeaver(const QString &nickname)
{
    const RosterUpkeepStandIn::HandOff &handOff = RosterUpkeepStandIn::handOffs.at(this);
    handOff.Text4->setText(nickname);
    handOff.Timer2->start();
}
