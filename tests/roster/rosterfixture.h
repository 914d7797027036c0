#pragma once

#include "roster/rosterlist.h"

#include <QByteArrayList>
#include <QListWidget>

// The roster as the window sets it up: single selection, entries as bytes.
inline void fill(QListWidget &list, const QByteArrayList &entries)
{
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    for (const QByteArray &entry : entries)
        RosterList::append(list, entry);
}

inline QByteArrayList entries(const QListWidget &list)
{
    QByteArrayList result;
    for (int row = 0; row < list.count(); ++row)
        result.append(RosterList::entry(list, row));
    return result;
}

// "0", "1", ... : a roster long enough for the bulk paths.
inline QByteArrayList numbered(int count, int distinct)
{
    QByteArrayList result;
    for (int i = 0; i < count; ++i)
        result.append(QByteArray::number(i % distinct));
    return result;
}
