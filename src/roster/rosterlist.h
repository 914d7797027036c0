#pragma once

#include <QByteArray>

class QListWidget;

// Roster entries keep the very bytes a client sent (Qt::UserRole), so the
// roster goes back out unchanged; the item's text is only how it is shown.
namespace RosterList {

void append(QListWidget &list, const QByteArray &entry);
// The entry's bytes; the empty text for an index outside the list.
QByteArray entry(const QListWidget &list, int row);
// The first row holding exactly these bytes, or -1.
int rowOf(const QListWidget &list, const QByteArray &entry);

// The roster's one selected entry, -1 when none is. Selecting -1 leaves
// nothing selected; the current item follows the selection.
int selectedRow(const QListWidget &list);
void selectRow(QListWidget &list, int row);

} // namespace RosterList
