#pragma once

#include <QListWidget>
#include <QStringList>

// The roster as the operator sees it.
inline QStringList rosterOf(const QListWidget &list)
{
    QStringList entries;
    for (int i = 0; i < list.count(); ++i)
        entries.append(list.item(i)->text());
    return entries;
}
