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

} // namespace RosterList
