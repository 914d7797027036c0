// Times RemoveDuplicates on a roster of 30 000 entries and prints the median
// and the fastest of several passes for each shape of roster. Not a test: run
// it by hand.
#include "roster/removeduplicates.h"
#include "roster/rostermodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Entries = 30000;
constexpr int Runs = 21;

// Nicknames as clients send them; every step-th entry repeats an earlier one.
QByteArrayList roster(int duplicates)
{
    QByteArrayList result;
    const int step = duplicates > 0 ? Entries / duplicates : 0;
    for (int i = 0; i < Entries; ++i) {
        const bool copy = step > 0 && i % step == step - 1 && result.size() > 0;
        result.append(copy ? result.at(i / 2) : QStringLiteral("Kullanıcı%1").arg(i).toUtf8());
    }
    return result;
}

struct Timing
{
    double medianMs = 0;
    double fastestMs = 0;
};

Timing time(const QByteArrayList &entries)
{
    std::vector<double> times;
    for (int run = 0; run < Runs; ++run) {
        // The roster with a view on it, as in the window (not shown).
        RosterModel list;
        list.replaceAll(entries);
        QListView view;
        view.setSelectionMode(QAbstractItemView::SingleSelection);
        view.setModel(&list);
        view.setSelectionModel(&list.selection());
        list.selectRow(Entries - 1); // a leaver waiting at the bottom
        QElapsedTimer timer;
        timer.start();
        RemoveDuplicates(list);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[Runs / 2], times.front()};
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (const int duplicates : {0, 100, 10000}) {
        const Timing t = time(roster(duplicates));
        std::printf("RemoveDuplicates, %d entries, %5d duplicates: median %.2f ms, fastest %.2f ms of %d runs\n",
                    Entries, duplicates, t.medianMs, t.fastestMs, Runs);
    }
    return 0;
}
