#include "removeduplicates.h"

#include "roster/rosterlist.h"

#include <QByteArrayList>
#include <QByteArrayView>
#include <QHash>
#include <QListWidget>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Up to this many duplicates are taken out one by one, which keeps every other
// item as it is. Each removal shifts the rows below it and signals the view, so
// beyond this a single rebuild of the list is cheaper.
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

void removeOneByOne(QListWidget &list, const std::vector<int> &firstOf, int keepSelected)
{
    QListWidgetItem *stay = keepSelected < 0 ? nullptr : list.item(keepSelected);
    // From the bottom up, so the rows still to be visited keep their numbers.
    for (int row = int(firstOf.size()) - 1; row > 0; --row) {
        if (firstOf.at(row) != row)
            delete list.takeItem(row); // takeItem hands the item over to us
    }
    // Removing the current row of a single-selection view selects its
    // neighbour; that must not invent a selection for the removal tick.
    if (stay)
        list.setCurrentItem(stay, QItemSelectionModel::ClearAndSelect);
    else
        list.clearSelection();
}

void rebuild(QListWidget &list, const std::vector<int> &firstOf, int keepSelected)
{
    // Copies first: a failure here leaves the list untouched.
    std::vector<std::unique_ptr<QListWidgetItem>> kept;
    int newSelected = -1;
    for (int row = 0; row < int(firstOf.size()); ++row) {
        if (firstOf.at(row) != row)
            continue;
        if (row == keepSelected)
            newSelected = int(kept.size());
        kept.emplace_back(list.item(row)->clone());
    }
    list.clear();
    for (std::unique_ptr<QListWidgetItem> &item : kept)
        list.addItem(item.release()); // the list owns it from here
    RosterList::selectRow(list, newSelected);
}

} // namespace

void RemoveDuplicates(QListWidget &list)
{
    const int count = list.count();
    QByteArrayList entries; // owns the bytes the keys look at
    entries.reserve(count);
    for (int row = 0; row < count; ++row)
        entries.append(RosterList::entry(list, row));

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

    const int selected = RosterList::selectedRow(list);
    const int keepSelected = selected < 0 ? -1 : firstOf.at(selected);
    if (duplicates <= MaxSingleRemovals)
        removeOneByOne(list, firstOf, keepSelected);
    else
        rebuild(list, firstOf, keepSelected);
}
