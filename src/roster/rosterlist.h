#pragma once

#include <QByteArray>

class QListWidget;

// Roster entries keep the very bytes a client sent (Qt::UserRole), so the
// roster goes back out unchanged; the item's text is only how it is shown.
namespace RosterList {

void append(QListWidget &list, const QByteArray &entry);
// The entry's bytes; the empty text for an index outside the list.
QByteArray entry(const QListWidget &list, int row);

} // namespace RosterList
