// Who has vanished, from what the roster handler read, the roster connections
// that ended and the leaves that came. Each case ends with one more user who
// vanishes; users are judged in the order their connections ended, so once
// that one is announced every earlier one has been judged.
#include "relay/rosterholders.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
enum Step { Took, TookAfterEnd, Ended, Left, Cleared };
struct Event
{
    Step step;
    qint16 element;
    QByteArray nickname;
};
using Events = QList<Event>;
constexpr qint16 Ali = 1, AliToo = 2, Marker = 9;
} // namespace

Q_DECLARE_METATYPE(Events)

class TestRosterHolders : public QObject
{
    Q_OBJECT

private slots:
    void vanished_data()
    {
        QTest::addColumn<Events>("events");
        QTest::addColumn<QByteArrayList>("vanished");
        QTest::newRow("ended without a leave")
            << Events{{Took, Ali, "Ali"}, {Ended, Ali, {}}} << QByteArrayList{"Ali"};
        QTest::newRow("read after its connection ended")
            << Events{{TookAfterEnd, Ali, "Ali"}} << QByteArrayList{"Ali"};
        QTest::newRow("left, then ended")
            << Events{{Took, Ali, "Ali"}, {Left, 0, "Ali"}, {Ended, Ali, {}}} << QByteArrayList{};
        // The leave was read from its own socket after the roster one ended.
        QTest::newRow("ended, then left")
            << Events{{Took, Ali, "Ali"}, {Ended, Ali, {}}, {Left, 0, "Ali"}} << QByteArrayList{};
        QTest::newRow("another's leave")
            << Events{{Took, Ali, "Ali"}, {Left, 0, "Alice"}, {Ended, Ali, {}}}
            << QByteArrayList{"Ali"};
        QTest::newRow("the nickname still held by another")
            << Events{{Took, Ali, "Ali"}, {Took, AliToo, "Ali"}, {Ended, Ali, {}}}
            << QByteArrayList{};
        QTest::newRow("the latest nickname of a connection")
            << Events{{Took, Ali, "Ali"}, {Took, Ali, "Veli"}, {Ended, Ali, {}}}
            << QByteArrayList{"Veli"};
        QTest::newRow("server stopped")
            << Events{{Took, Ali, "Ali"}, {Ended, Ali, {}}, {Cleared, 0, {}}, {Ended, Ali, {}}}
            << QByteArrayList{};
    }

    void vanished()
    {
        QFETCH(Events, events);
        QFETCH(QByteArrayList, vanished);
        RosterHolders holders([] { return false; });
        QSignalSpy spy(&holders, &RosterHolders::vanished);
        for (const Event &event : events) {
            switch (event.step) {
            case Took: holders.took(event.element, event.nickname, true); break;
            case TookAfterEnd: holders.took(event.element, event.nickname, false); break;
            case Ended: holders.ended(event.element); break;
            case Left: holders.left(event.nickname); break;
            case Cleared: holders.clear(); break;
            }
        }
        holders.took(Marker, "Son", true);
        holders.ended(Marker);
        QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty() && spy.last().at(0) == QByteArray("Son"),
                                 3 * RosterHolders::GraceMs);
        QByteArrayList got;
        for (const QList<QVariant> &call : spy)
            got.append(call.at(0).toByteArray());
        got.removeLast();
        QCOMPARE(got, vanished);
    }

    void nobodyIsJudgedWhileALeaveIsHandled()
    {
        // When Ali is due, a leave run is still going on; it turns out to
        // be Ali's own.
        bool asked = false;
        std::unique_ptr<RosterHolders> holders;
        holders = std::make_unique<RosterHolders>([&] {
            if (asked)
                return false;
            asked = true;
            QTimer::singleShot(0, holders.get(), [&] { holders->left("Ali"); });
            return true;
        });
        QSignalSpy spy(holders.get(), &RosterHolders::vanished);
        holders->took(Ali, "Ali", true);
        holders->ended(Ali);
        holders->took(Marker, "Son", true);
        holders->ended(Marker);
        QVERIFY(spy.wait(3 * RosterHolders::GraceMs));
        QVERIFY(asked);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().at(0).toByteArray(), QByteArray("Son"));
    }
};

QTEST_MAIN(TestRosterHolders)
#include "tst_rosterholders.moc"
