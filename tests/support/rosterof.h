#pragma once

#include <QAbstractItemView>
#include <QStringList>

// The roster as the operator sees it.
inline QStringList rosterOf(const QAbstractItemView &view)
{
    QStringList entries;
    const QAbstractItemModel *model = view.model();
    for (int row = 0; row < model->rowCount(); ++row)
        entries.append(model->index(row, 0).data().toString());
    return entries;
}
