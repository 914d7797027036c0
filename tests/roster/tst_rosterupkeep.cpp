// Roster upkeep: the count caption, the leave lookup and the deferred removal.
#include "rosterfixture.h"
#include "roster/rosterupkeep.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// The roster and its upkeep, as the core sets them up.
struct Roster
{
    explicit Roster(const QByteArrayList &initial = {}) { fill(List1, initial); }
    RosterModel List1;
    RosterUpkeep upkeep{List1};
    QTimer &Timer1 = upkeep.Timer1();
    QTimer &Timer2 = upkeep.Timer2();

    QByteArray selected() const
    {
        const int row = List1.selectedRow();
        return row < 0 ? QByteArray() : List1.entry(row);
    }
    // What the removal tick must leave behind, whatever it removed.
    bool idle() const { return upkeep.lookupText().isEmpty() && !Timer2.isActive() && selected().isNull(); }
};

} // namespace

class TestRosterUpkeep : public QObject
{
    Q_OBJECT

private slots:
    void captionCountsEntriesAfterTidying_data()
    {
        QTest::addColumn<QByteArrayList>("roster");
        QTest::addColumn<QString>("caption");
        QTest::newRow("empty") << QByteArrayList{} << QStringLiteral("0 Kullanıcı bağlı");
        QTest::newRow("operator only") << QByteArrayList{"SERVER"} << QStringLiteral("1 Kullanıcı bağlı");
        QTest::newRow("duplicates") << QByteArrayList{"A", "B", "A", "C", "B"} << QStringLiteral("3 Kullanıcı bağlı");
        QTest::newRow("empty entries count") << QByteArrayList{"", "", "x"} << QStringLiteral("2 Kullanıcı bağlı");
    }
    void captionCountsEntriesAfterTidying()
    {
        QFETCH(QByteArrayList, roster);
        Roster r(roster);
        r.upkeep.tidyTick();
        QTEST(r.upkeep.countCaption(), "caption");
    }

    void captionBeforeAnyTick()
    {
        Roster r;
        QCOMPARE(r.upkeep.countCaption(), QStringLiteral("0 Kullanıcı bağlı"));
    }

    void lookupSelects_data()
    {
        QTest::addColumn<QByteArrayList>("roster");
        QTest::addColumn<QString>("lookup");
        QTest::addColumn<int>("row");
        QTest::newRow("case ignored") << QByteArrayList{"Ali", "ALI"} << QStringLiteral("ali") << 0;
        QTest::newRow("exact case first") << QByteArrayList{"Ali", "ALI"} << QStringLiteral("ALI") << 1;
        QTest::newRow("whole name over prefix") << QByteArrayList{"SERVER", "Alice", "Ali"} << QStringLiteral("Ali") << 2;
        QTest::newRow("prefix fallback") << QByteArrayList{"SERVER", "Alice"} << QStringLiteral("Ali") << 1;
        QTest::newRow("empty text") << QByteArrayList{"SERVER", ""} << QString() << -1;
        QTest::newRow("no match") << QByteArrayList{"SERVER", "Ali"} << QStringLiteral("Zeynep") << -1;
        QTest::newRow("longer than entry") << QByteArrayList{"SERVER"} << QStringLiteral("SERVERX") << -1;
        QTest::newRow("Turkish letters") << QByteArrayList{"Ali", "ŞULE"} << QStringLiteral("şule") << 1;
        QTest::newRow("dotted capital I") << QByteArrayList{"Ali", "İLKER"} << QStringLiteral("ILKER") << 1;
        QTest::newRow("dotless small i") << QByteArrayList{"ILGAZ"} << QStringLiteral("ılgaz") << 0;
        QTest::newRow("Windows-1254 entry") << QByteArrayList{"Ali", "\xDEule"} << QStringLiteral("şu") << 1;
    }
    void lookupSelects()
    {
        QFETCH(QByteArrayList, roster);
        QFETCH(QString, lookup);
        Roster r(roster);
        r.List1.selectRow(0); // the lookup replaces any earlier selection
        r.upkeep.setLookupText(lookup);
        r.upkeep.lookupChanged(); // the empty text leaves Text4 unchanged
        QTEST(r.List1.selectedRow(), "row");
    }

    void leaveRemovesItsEntryAtTheTick_data()
    {
        QTest::addColumn<QByteArrayList>("roster");
        QTest::addColumn<QString>("leaver");
        QTest::addColumn<QByteArrayList>("after");
        QTest::newRow("Ali, not Alice") << QByteArrayList{"SERVER", "Alice", "Ali"} << QStringLiteral("Ali")
                                        << QByteArrayList{"SERVER", "Alice"};
        QTest::newRow("prefix fallback") << QByteArrayList{"SERVER", "Alice"} << QStringLiteral("Ali")
                                         << QByteArrayList{"SERVER"};
        QTest::newRow("not listed") << QByteArrayList{"SERVER", "Ali"} << QStringLiteral("Zeynep")
                                    << QByteArrayList{"SERVER", "Ali"};
        QTest::newRow("no nickname") << QByteArrayList{"SERVER", "Ali"} << QString()
                                     << QByteArrayList{"SERVER", "Ali"};
    }
    void leaveRemovesItsEntryAtTheTick()
    {
        QFETCH(QByteArrayList, roster);
        QFETCH(QString, leaver);
        Roster r(roster);
        r.upkeep.handOverLeaver(leaver);
        QVERIFY(r.Timer2.isActive());
        QCOMPARE(entries(r.List1), roster); // listed until the tick
        r.upkeep.removalTick();
        QTEST(entries(r.List1), "after");
        QVERIFY(r.idle());
    }

    void tickRemovesWhatTheOperatorSelected()
    {
        Roster r({"SERVER", "Ali", "Bob"});
        r.upkeep.handOverLeaver(QStringLiteral("Zeynep"));
        r.List1.selectRow(1);
        r.upkeep.removalTick();
        QCOMPARE(entries(r.List1), (QByteArrayList{"SERVER", "Bob"}));
    }

    void emptyHandOffLooksAgainAndDropsAClick()
    {
        Roster r({"SERVER", "Ali"});
        r.List1.selectRow(1);
        r.upkeep.handOverLeaver(QString()); // Text4 was empty already
        QVERIFY(r.selected().isNull());
        r.upkeep.removalTick();
        QCOMPARE(entries(r.List1), (QByteArrayList{"SERVER", "Ali"}));
    }

    void everyLeaverWithin2000msGoes_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<QByteArray>("selectedThen");
        QTest::addColumn<QByteArrayList>("after");
        QTest::newRow("second leaver") << QStringLiteral("Bob") << QByteArray("Bob")
                                       << QByteArrayList{"SERVER", "Cem"};
        QTest::newRow("leave without nickname") << QString() << QByteArray()
                                                << QByteArrayList{"SERVER", "Bob", "Cem"};
    }
    void everyLeaverWithin2000msGoes()
    {
        QFETCH(QString, second);
        Roster r({"SERVER", "SERVER", "Ali", "Bob", "Cem"});
        r.upkeep.handOverLeaver(QStringLiteral("Ali"));
        r.upkeep.handOverLeaver(second);
        QVERIFY(r.Timer2.isActive());
        r.upkeep.tidyTick(); // moves the entries up
        QTEST(r.selected(), "selectedThen");
        QVERIFY(entries(r.List1).contains("Ali"));
        r.upkeep.removalTick();
        QTEST(entries(r.List1), "after");
        QVERIFY(r.idle());
    }

    void stopHandOffThenClearRemovesNothingLater()
    {
        Roster r({"SERVER", "Ali"});
        r.upkeep.handOverLeaver(QStringLiteral("Ali"));
        r.upkeep.handOverLeaver(QStringLiteral("SERVER"));
        r.List1.clear();
        r.upkeep.removalTick();
        QCOMPARE(r.List1.count(), 0);
        QVERIFY(r.idle());
        r.upkeep.tidyTick();
        QCOMPARE(r.upkeep.countCaption(), QStringLiteral("0 Kullanıcı bağlı"));
    }

    void timersAndLookupBoxDriveTheHandlers()
    {
        Roster r({"SERVER", "Ali", "Ali"});
        r.upkeep.setLookupText(QStringLiteral("ali"));
        QCOMPARE(r.selected(), QByteArray("Ali"));
        r.Timer1.start(1);
        QTRY_COMPARE(r.upkeep.countCaption(), QStringLiteral("2 Kullanıcı bağlı"));
        r.Timer2.setInterval(1);
        QSignalSpy fired(&r.Timer2, &QTimer::timeout);
        r.upkeep.handOverLeaver(QStringLiteral("Ali"));
        QVERIFY(fired.wait());
        QCOMPARE(entries(r.List1), QByteArrayList{"SERVER"});
        QVERIFY(r.idle());
    }
};

QTEST_MAIN(TestRosterUpkeep)
#include "tst_rosterupkeep.moc"
