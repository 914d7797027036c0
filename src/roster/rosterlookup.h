#pragma once

#include <QString>

class RosterModel;

// Finds a leaving user's roster entry by the nickname the leave carried.
namespace RosterLookup {

// The form in which two texts that differ only in letter case are equal.
QString folded(const QString &text);

// The row of the leaver's entry, -1 when there is none (and for the empty
// nickname): the first entry whose text is exactly the nickname, else the first
// equal to it apart from letter case, else the first that begins with it
// apart from letter case.
int find(const RosterModel &roster, const QString &nickname);

} // namespace RosterLookup
