// The operator window following the server's life, over fake endpoints: its
// menus and frames in each state, where the focus goes, the roster shown,
// and the close rule.
#include "fakedialogs.h"
#include "server/loggedendpoint.h"

#include "server/serverlifecycle.h"
#include "ui/closeguard.h"
#include "ui/form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

namespace {

const QString NotStarted = QStringLiteral("mnustart mnuexit Frame1");
const QString Running = QStringLiteral("mnudisconnect Frame2");
const QString Stopped = QStringLiteral("mnuexit");

// A window with its lifecycle, loaded as at program start.
struct Server
{
    LoggedEndpointFactory endpoints;
    ControlledYield yield;
    FakeDialogs dialogs;
    Form1 form{Form1::Services{&endpoints, &yield, &dialogs}};
    ServerLifecycle &lifecycle = form.core().lifecycle();
    int terminations = 0;

    Server() { lifecycle.setTerminate([this] { ++terminations; }); }

    // The usable server commands and frames, by name.
    QString commands()
    {
        QStringList on;
        for (const auto &[name, enabled] :
             {std::pair{"mnustart", form.mnustart()->isEnabled()},
              {"mnudisconnect", form.mnudisconnect()->isEnabled()},
              {"mnuexit", form.mnuexit()->isEnabled()}, {"Frame1", form.Frame1()->isEnabled()},
              {"Frame2", form.Frame2()->isEnabled()}}) {
            if (enabled)
                on.append(QLatin1String(name));
        }
        return on.join(QLatin1Char(' '));
    }
};

// A close request from the window system (title bar, window menu, Alt+F4).
bool windowManagerClose(Form1 &form)
{
    QCloseEvent close;
    QSpontaneKeyEvent::setSpontaneous(&close);
    QApplication::instance()->notify(&form, &close);
    return close.isAccepted();
}

} // namespace

class TestForm1Lifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Closing the window in a test must not end the test's event loops.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void loadFillsHostBoxAndDropsCloseButton()
    {
        Server s;
        QCOMPARE(s.form.Text3()->text(), QStringLiteral("lab-pc"));

        const Qt::WindowFlags flags = s.form.windowFlags();
        QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        // Maximizing is the layout's choice (it offers none); load keeps it.
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    }

    void commandsFollowTheState_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("commands");
        QTest::newRow("Not started") << QStringList() << NotStarted;
        QTest::newRow("Running") << QStringList{QStringLiteral("start")} << Running;
        QTest::newRow("Stopped") << QStringList{QStringLiteral("start"), QStringLiteral("stop")} << Stopped;
    }
    void commandsFollowTheState()
    {
        QFETCH(QStringList, steps);
        Server s;
        for (const QString &step : steps)
            step == QLatin1String("start") ? s.lifecycle.start() : s.lifecycle.stop();
        QTEST(s.commands(), "commands");
    }

    // A refused nickname takes the focus to its box; a start shows the
    // nickname as the server took it and gives the focus to the chat line.
    void focusAndRosterAfterStart()
    {
        Server s;
        s.form.Txtnick()->clear();
        s.form.Text3()->setFocus();
        s.lifecycle.start();
        QCOMPARE(s.form.focusWidget(), s.form.Txtnick());
        QCOMPARE(s.form.List1()->model()->rowCount(), 0);

        s.form.Txtnick()->setText(QStringLiteral("çağrı"));
        s.lifecycle.start();
        QCOMPARE(s.form.Txtnick()->text(), QStringLiteral("ÇAĞRI"));
        QCOMPARE(s.form.List1()->model()->index(0, 0).data().toString(), QStringLiteral("ÇAĞRI"));
        QCOMPARE(s.form.focusWidget(), s.form.Text2());
    }

    void closeRequests_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("fromWindowManager");
        QTest::addColumn<bool>("closes");
        QTest::newRow("window manager, not started") << QString() << true << false;
        QTest::newRow("window manager, running") << QStringLiteral("start") << true << false;
        QTest::newRow("window manager, stopped") << QStringLiteral("stop") << true << false;
        QTest::newRow("program's own close") << QString() << false << true;
        QTest::newRow("session ends") << QStringLiteral("session") << true << true;
        QTest::newRow("after exit") << QStringLiteral("exit") << true << true;
    }
    void closeRequests()
    {
        QFETCH(QString, before);
        QFETCH(bool, fromWindowManager);
        QFETCH(bool, closes);
        Server s;
        s.form.show();
        if (before == QLatin1String("start") || before == QLatin1String("stop"))
            s.lifecycle.start();
        if (before == QLatin1String("stop"))
            s.lifecycle.stop();
        if (before == QLatin1String("session"))
            s.form.findChild<CloseGuard *>()->endOfSession();
        if (before == QLatin1String("exit"))
            s.lifecycle.exit();

        if (fromWindowManager) {
            QCOMPARE(windowManagerClose(s.form), closes);
        } else {
            QCOMPARE(s.form.close(), closes);
            QCOMPARE(s.form.isVisible(), !closes);
        }
        QCOMPARE(s.terminations, before == QLatin1String("exit") ? 1 : 0);
    }
};

QTEST_MAIN(TestForm1Lifecycle)
#include "tst_form1lifecycle.moc"
