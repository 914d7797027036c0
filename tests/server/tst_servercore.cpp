// The server core without a window, on fake endpoints and a recording
// operator: its state and the commands each state takes, the stop's own
// yields, and the road of a chat line and of the operator's own line.
#include "fakeendpoint.h"
#include "fakeoperator.h"
#include "server/servercore.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Core
{
    Core()
    {
        core.lifecycle().setTerminate([this] { ++terminations; });
        core.lifecycle().load();
    }
    // The states reported so far, by their initials: "R S".
    QString reported() const
    {
        QStringList states;
        for (const QList<QVariant> &signal : spy)
            states.append(signal.at(0).value<ServerState>() == ServerState::Running ? u"R"_s : u"S"_s);
        return states.join(u' ');
    }

    FakeEndpointFactory endpoints;
    ControlledYield yield;
    FakeOperator desk;
    ServerCore core{endpoints, yield, desk};
    QSignalSpy spy{&core.lifecycle(), &ServerLifecycle::stateChanged};
    int terminations = 0;
};

} // namespace

class TestServerCore : public QObject
{
    Q_OBJECT

private slots:
    void commandsFollowTheState_data()
    {
        QTest::addColumn<QString>("commands");
        QTest::addColumn<QString>("reported");
        QTest::addColumn<int>("terminations");
        QTest::newRow("start") << u"start"_s << u"R"_s << 0;
        QTest::newRow("second start does nothing") << u"start start"_s << u"R"_s << 0;
        QTest::newRow("stop before start") << u"stop"_s << QString() << 0;
        QTest::newRow("start, stop") << u"start stop"_s << u"R S"_s << 0;
        QTest::newRow("nothing after the stop") << u"start stop stop start"_s << u"R S"_s << 0;
        QTest::newRow("no exit while running") << u"start exit"_s << u"R"_s << 0;
        QTest::newRow("exit before start") << u"exit"_s << QString() << 1;
        QTest::newRow("exit after stop") << u"start stop exit"_s << u"R S"_s << 1;
    }
    void commandsFollowTheState()
    {
        QFETCH(QString, commands);
        Core c;
        for (const QString &command : commands.split(u' ')) {
            if (command == u"start")
                c.core.start();
            else if (command == u"stop")
                c.core.stop();
            else
                c.core.exit();
        }
        QTEST(c.reported(), "reported");
        QTEST(c.terminations, "terminations");
        const QString last = c.reported().right(1);
        QCOMPARE(c.core.state(), last == u"R" ? ServerState::Running
                                 : last == u"S" ? ServerState::Stopped
                                                : ServerState::NotStarted);
    }

    void stopChosenDuringItsYieldsRunsOnce()
    {
        Core c;
        c.core.start();
        c.yield.reset();
        c.yield.at(1, [&] { c.core.stop(); });
        c.core.stop();
        QCOMPARE(c.desk.questions.size(), 1);
        QCOMPARE(c.reported(), u"R S"_s);
        QCOMPARE(c.core.roster().count(), 0);
    }

    void missingNicknameIsReportedAndNothingStarts()
    {
        Core c;
        c.core.nickname().setText(u" "_s);
        c.core.start();
        QCOMPARE(c.desk.inputProblems, QStringList{u"İsminizi giriniz."_s});
        QCOMPARE(c.desk.problemFields, QList<Operator::Field>{Operator::Field::Nickname});
        QCOMPARE(c.core.state(), ServerState::NotStarted);
        QVERIFY(c.core.channels().Winsock().state(0) != EndpointState::Listening);
    }

    void chatLineReachesEveryoneAndTheOperator()
    {
        Core c;
        c.core.nickname().setText(u"bora"_s);
        c.core.start();
        QCOMPARE(c.core.roster().entries(), QByteArrayList{"BORA"_ba});
        FakeEndpoint &ali = connectClient(c.core.channels().Winsock());
        FakeEndpoint &veli = connectClient(c.core.channels().Winsock());

        ali.arrive("merhaba"_ba);
        // One line per element read: Veli's empty read makes the second.
        QCOMPARE(c.desk.text(), u"merhaba\r\n\r\n"_s);
        QCOMPARE(ali.received(), "merhaba"_ba);
        QCOMPARE(veli.received(), "merhaba"_ba);
        QCOMPARE(c.desk.keptOnTop, 1);

        c.core.line().setText(u"selam"_s);
        c.core.send();
        QCOMPARE(veli.received(), "merhaba<BORA> selam"_ba);
        QVERIFY(c.desk.text().endsWith(u"<BORA> selam\r\n"_s));
        QVERIFY(c.core.line().text().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestServerCore)
#include "tst_servercore.moc"
