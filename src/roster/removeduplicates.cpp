#include "removeduplicates.h"

#include "roster/rostermodel.h"

#include <QByteArrayList>
#include <QByteArrayView>
#include <QHash>

#include <algorithm>
#include <vector>

namespace {

// Up to this many duplicates are taken out one by one, which keeps every other
// row as the views have it. Each removal shifts the rows below it and signals
// every view, so beyond this a single reset of the roster is cheaper.
constexpr qsizetype MaxSingleRemovals = 256;

// Hash key over an entry's bytes. The entries come from clients, who could pick
// nicknames that collide under a fixed seed; yet Qt's seeded byte hash costs
// about ten times the unseeded one here, which alone would take most of a
// pass's budget, and every nickname a client sends already makes Counter send
// the whole roster to every client: far more work than a longer probe chain.
struct EntryKey
{
    QByteArrayView bytes;
    friend bool operator==(EntryKey a, EntryKey b) noexcept { return a.bytes == b.bytes; }
};

size_t qHash(EntryKey key, size_t = 0) noexcept
{
    return qHash(key.bytes, 0);
}

void removeOneByOne(RosterModel &roster, const std::vector<int> &firstOf)
{
    // From the bottom up, so the rows still to be visited keep their numbers.
    for (int row = int(firstOf.size()) - 1; row > 0; --row) {
        if (firstOf.at(row) != row)
            roster.removeEntry(row);
    }
}

void rebuild(RosterModel &roster, const std::vector<int> &firstOf)
{
    QByteArrayList kept;
    for (int row = 0; row < int(firstOf.size()); ++row) {
        if (firstOf.at(row) == row)
            kept.append(roster.entry(row));
    }
    roster.replaceAll(kept);
}

// Where a kept row ends up once the duplicates above it are gone.
int rowAfterRemoval(const std::vector<int> &firstOf, int row)
{
    if (row < 0)
        return -1;
    int kept = 0;
    for (int above = 0; above < row; ++above)
        kept += firstOf.at(above) == above ? 1 : 0;
    return kept;
}

} // namespace

void RemoveDuplicates(RosterModel &roster)
{
    const int count = roster.count();
    const QByteArrayList entries = roster.entries(); // owns the bytes the keys look at

    QHash<EntryKey, int> firstRow;
    firstRow.reserve(count);
    std::vector<int> firstOf(size_t(std::max(count, 0))); // each row's first occurrence
    qsizetype duplicates = 0;
    for (int row = 0; row < count; ++row) {
        const qsizetype known = firstRow.size();
        int &first = firstRow[EntryKey{entries.at(row)}];
        if (firstRow.size() != known)
            first = row;
        else
            ++duplicates;
        firstOf[row] = first;
    }
    if (duplicates == 0)
        return;

    const int selected = roster.selectedRow();
    const int keepSelected = rowAfterRemoval(firstOf, selected < 0 ? -1 : firstOf.at(selected));
    if (duplicates <= MaxSingleRemovals)
        removeOneByOne(roster, firstOf);
    else
        rebuild(roster, firstOf);
    // Removing the current row moves a view's current row to a neighbour, and
    // a reset drops the selection; neither may invent or lose a selection for
    // the removal tick.
    roster.selectRow(keepSelected);
}
