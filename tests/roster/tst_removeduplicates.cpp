// Duplicate removal: the result, and the selection across it.
#include "rosterfixture.h"
#include "roster/removeduplicates.h"

#include <QTest>

class TestRemoveDuplicates : public QObject
{
    Q_OBJECT

private slots:
    void keepsFirstOccurrences_data()
    {
        QTest::addColumn<QByteArrayList>("roster");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::newRow("later copies go") << QByteArrayList{"A", "B", "A", "C", "B"}
                                         << QByteArrayList{"A", "B", "C"};
        QTest::newRow("case differs") << QByteArrayList{"Ali", "ALI"} << QByteArrayList{"Ali", "ALI"};
        QTest::newRow("blank differs") << QByteArrayList{"Ali", "Ali "} << QByteArrayList{"Ali", "Ali "};
        QTest::newRow("empty entries") << QByteArrayList{"", "", "x"} << QByteArrayList{"", "x"};
        // şule in UTF-8 and in Windows-1254 look alike but are other bytes.
        QTest::newRow("encoding differs")
            << QByteArrayList{"\xC5\x9Fule", "\xFEule", "\xFEule"} << QByteArrayList{"\xC5\x9Fule", "\xFEule"};
        QTest::newRow("nothing to remove") << QByteArrayList{"SERVER"} << QByteArrayList{"SERVER"};
        QTest::newRow("empty list") << QByteArrayList{} << QByteArrayList{};
        QTest::newRow("many copies, rebuilt") << numbered(900, 300) << numbered(300, 300);
    }
    void keepsFirstOccurrences()
    {
        QFETCH(QByteArrayList, roster);
        QFETCH(QByteArrayList, expected);
        RosterModel list;
        fill(list, roster);
        RemoveDuplicates(list);
        QCOMPARE(entries(list), expected);
    }

    // The removal tick removes whatever is selected, so the selection must
    // stay on its entry, and must not appear out of nothing.
    void selectionStaysOnItsEntry_data()
    {
        QTest::addColumn<QByteArrayList>("roster");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("currentOnly"); // current row without selection
        QTest::addColumn<QByteArray>("expected"); // empty: nothing selected
        QTest::newRow("rows above go") << QByteArrayList{"A", "B", "A", "B", "Ali"} << 4 << -1 << QByteArray("Ali");
        QTest::newRow("selected copy") << QByteArrayList{"A", "Ali", "B", "Ali"} << 3 << -1 << QByteArray("Ali");
        QTest::newRow("none selected") << QByteArrayList{"A", "B", "A", "C"} << -1 << 2 << QByteArray();
        QTest::newRow("rebuilt, rows above go") << (numbered(600, 300) << "Ali") << 600 << -1 << QByteArray("Ali");
        QTest::newRow("rebuilt, selected copy") << numbered(600, 300) << 450 << -1 << QByteArray("150");
        QTest::newRow("rebuilt, none selected") << numbered(600, 300) << -1 << 450 << QByteArray();
    }
    void selectionStaysOnItsEntry()
    {
        QFETCH(QByteArrayList, roster);
        QFETCH(int, selected);
        QFETCH(int, currentOnly);
        QFETCH(QByteArray, expected);
        RosterModel list;
        fill(list, roster);
        if (selected >= 0)
            list.selectRow(selected);
        else
            list.selection().setCurrentIndex(list.index(currentOnly), QItemSelectionModel::NoUpdate);
        RemoveDuplicates(list);
        const int row = list.selectedRow();
        QCOMPARE(row >= 0 ? list.entry(row) : QByteArray(), expected);
        QCOMPARE(list.selection().selectedIndexes().size(), expected.isEmpty() ? 0 : 1);
    }
};

QTEST_MAIN(TestRemoveDuplicates)
#include "tst_removeduplicates.moc"
