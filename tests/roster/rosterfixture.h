#pragma once

#include "roster/rostermodel.h"

#include <QByteArrayList>

inline void fill(RosterModel &roster, const QByteArrayList &entries)
{
    for (const QByteArray &entry : entries)
        roster.append(entry);
}

inline QByteArrayList entries(const RosterModel &roster)
{
    return roster.entries();
}

// "0", "1", ... : a roster long enough for the bulk paths.
inline QByteArrayList numbered(int count, int distinct)
{
    QByteArrayList result;
    for (int i = 0; i < count; ++i)
        result.append(QByteArray::number(i % distinct));
    return result;
}
