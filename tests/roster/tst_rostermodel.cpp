// The roster model: entries keep their bytes, one entry is one row, and what a
// view shows (and reads out) has every control and bidi character as a visible
// stand-in, so a nickname cannot break its row or turn the rows after it.
#include "roster/rostermodel.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace Qt::StringLiterals;

class TestRosterModel : public QObject
{
    Q_OBJECT

private slots:
    void entryShowsOnOneRow_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "Ali"_ba << u"Ali"_s;
        QTest::newRow("CR LF inside") << "Ali\r\nVeli"_ba << u"Ali\u240d\u240aVeli"_s;
        QTest::newRow("right-to-left override") << u"Ali\u202eilev"_s.toUtf8() << u"Ali\u2e2eilev"_s;
    }
    void entryShowsOnOneRow()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        RosterModel roster;
        QAbstractItemModelTester tester(&roster, QAbstractItemModelTester::FailureReportingMode::QtTest);
        roster.append("SERVER"_ba);
        roster.append(bytes);
        QCOMPARE(roster.count(), 2);
        QCOMPARE(roster.rowCount(), 2);
        const QModelIndex row = roster.index(1);
        QCOMPARE(row.data(Qt::DisplayRole).toString(), shown);
        QCOMPARE(row.data(Qt::AccessibleTextRole).toString(), shown);
        // Stored and sent as received; the lookup compares the decoded text.
        QCOMPARE(roster.entry(1), bytes);
        QCOMPARE(row.data(RosterModel::EntryRole).toByteArray(), bytes);
        QCOMPARE(roster.text(1), QString::fromUtf8(bytes));
    }

    void selectionFollowsRowsAndClears()
    {
        RosterModel roster;
        roster.replaceAll({"A"_ba, "B"_ba, "C"_ba});
        roster.selectRow(2);
        roster.removeEntry(0);
        QCOMPARE(roster.selectedRow(), 1);
        QCOMPARE(roster.entry(roster.selectedRow()), "C"_ba);
        roster.selectRow(5); // past the end
        QCOMPARE(roster.selectedRow(), -1);
        roster.selectRow(0);
        roster.clear();
        QCOMPARE(roster.selectedRow(), -1);
        QCOMPARE(roster.entry(0), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestRosterModel)
#include "tst_rostermodel.moc"
