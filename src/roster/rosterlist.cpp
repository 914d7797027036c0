#include "rosterlist.h"

#include "net/wiretext.h"

#include <QListWidget>

namespace RosterList {

void append(QListWidget &list, const QByteArray &entry)
{
    auto *item = new QListWidgetItem(WireText::decodeForDisplay(entry));
    item->setData(Qt::UserRole, entry);
    list.addItem(item); // the list owns the item
}

QByteArray entry(const QListWidget &list, int row)
{
    const QListWidgetItem *item = list.item(row);
    if (!item)
        return {};
    const QVariant bytes = item->data(Qt::UserRole);
    return bytes.isValid() ? bytes.toByteArray() : WireText::encode(item->text());
}

int rowOf(const QListWidget &list, const QByteArray &bytes)
{
    for (int row = 0; row < list.count(); ++row) {
        if (entry(list, row) == bytes)
            return row;
    }
    return -1;
}

int selectedRow(const QListWidget &list)
{
    const QList<QListWidgetItem *> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

void selectRow(QListWidget &list, int row)
{
    // ClearAndSelect also for -1, so an invalid row drops any selection
    // whatever the list's selection mode.
    list.setCurrentRow(row < list.count() ? row : -1, QItemSelectionModel::ClearAndSelect);
}

} // namespace RosterList
