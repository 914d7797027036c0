// When a user has vanished, from the nicknames the roster handler read, the
// roster connections that ended and the leaves that came, in the orders they
// can come in. Each case ends with Son vanishing; users are judged in the
// order their connections ended, so by then every earlier one has been.
#include "relay/rosterholders.h"

#include <QSignalSpy>
#include <QTest>

namespace {
enum Step { Took, TookAfterItsEnd, Ended, Left, Stopped };
using Steps = QList<Step>;
} // namespace

class TestRosterHolders : public QObject
{
    Q_OBJECT

private slots:
    void vanished_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<bool>("vanished");
        QTest::newRow("ended without a leave") << Steps{Took, Ended} << true;
        QTest::newRow("read after its connection ended") << Steps{TookAfterItsEnd} << true;
        QTest::newRow("left, then ended") << Steps{Took, Left, Ended} << false;
        // The leave is read from its own socket after the roster one ended.
        QTest::newRow("ended, then left") << Steps{Took, Ended, Left} << false;
        QTest::newRow("server stopped") << Steps{Took, Stopped, Ended} << false;
    }

    void vanished()
    {
        QFETCH(Steps, steps);
        QFETCH(bool, vanished);
        RosterHolders holders([] { return false; });
        QSignalSpy spy(&holders, &RosterHolders::vanished);
        for (const Step step : steps) {
            switch (step) {
            case Took: holders.took(1, "Ali", true); break;
            case TookAfterItsEnd: holders.took(1, "Ali", false); break;
            case Ended: holders.ended(1); break;
            case Left: holders.left("Ali"); break;
            case Stopped: holders.clear(); break;
            }
        }
        holders.took(2, "Son", true);
        holders.ended(2);
        QTRY_COMPARE_WITH_TIMEOUT(spy.size(), vanished ? 2 : 1, 3 * RosterHolders::GraceMs);
        QCOMPARE(spy.last().at(0).toByteArray(), QByteArray("Son"));
    }
};

QTEST_MAIN(TestRosterHolders)
#include "tst_rosterholders.moc"
