// The server's life in the operator window over fake endpoints: the input
// checks of the start, the listen order and a taken port, the stop with its
// notice, lines and close order, the three states, and the close rule.
#include "fakedialogs.h"
#include "server/loggedendpoint.h"

#include "roster/rostermodel.h"
#include "ui/closeguard.h"
#include "server/serverlifecycle.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

namespace {

const QString NoNickname = QStringLiteral("İsminizi giriniz.");
const QString NoHost = QStringLiteral("Yerel bilgisayar adını yada IP sini giriniz.");
const QString Warning =
    QStringLiteral("Sunucuyu durdurursanız tüm kullanıcıların bağlantısı durur! Emin misiniz?");
const QByteArray Notice = QStringLiteral("<SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.").toUtf8();
const QString ServerLines =
    QStringLiteral("<SUNUCU> Sunucu bağlantıları kesiliyor...Lütfen bekleyiniz.\r\n"
                   "<SUNUCU> Sunucu bağlantısı kapatıldı.\r\n");

const QString NotStarted = QStringLiteral("mnustart mnuexit Frame1");
const QString Running = QStringLiteral("mnudisconnect Frame2");
const QString Stopped = QStringLiteral("mnuexit");
const QString AllListening = QStringLiteral("Winsock Winusers Winleft Winjoin");

// A window with its lifecycle, loaded as at program start.
struct Server
{
    LoggedEndpointFactory endpoints;
    ControlledYield yield;
    FakeDialogs dialogs;
    Form1 form{Form1::Services{&endpoints, &yield, &dialogs}};
    // The window's own upkeep and lifecycle, loaded by its constructor.
    RosterUpkeep &upkeep = form.core().rosterUpkeep();
    ServerLifecycle &lifecycle = form.core().lifecycle();
    int terminations = 0;

    Server()
    {
        lifecycle.setTerminate([this] { ++terminations; });
    }

    std::vector<SocketPool *> pools()
    {
        return {&form.Winsock(), &form.Winusers(), &form.Winleft(), &form.Winjoin()};
    }

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

    QString listening()
    {
        QStringList names;
        for (SocketPool *pool : pools()) {
            if (pool->state(0) == EndpointState::Listening)
                names.append(pool->name());
        }
        return names.join(QLatin1Char(' '));
    }

    // "Winsock 2" for each close, in order.
    QStringList closeOrder()
    {
        QStringList order;
        for (const Endpoint *closed : endpoints.closes) {
            for (SocketPool *pool : pools()) {
                for (int i = 0; i <= pool->highestIndex(); ++i) {
                    if (pool->endpoint(i) == closed)
                        order.append(pool->name() + QLatin1Char(' ') + QString::number(i));
                }
            }
        }
        return order;
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

class TestServerLifecycle : public QObject
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
        s.form.Text3()->setText(QStringLiteral("eski"));
        s.lifecycle.load();
        QCOMPARE(s.form.Text3()->text(), QStringLiteral("lab-pc"));
        QCOMPARE(s.form.findChildren<CloseGuard *>().size(), 1);

        const Qt::WindowFlags flags = s.form.windowFlags();
        QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        // Maximizing is the layout's choice (it offers none); load keeps it.
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(s.commands(), NotStarted);
        QCOMPARE(s.listening(), QString());
    }

    void startChecksNicknameAsTyped_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown"); // empty: refused
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("one blank") << QStringLiteral(" ") << QString();
        QTest::newRow("two blanks") << QStringLiteral("  ") << QStringLiteral("  ");
        QTest::newRow("blanks around") << QStringLiteral(" burak ") << QStringLiteral(" BURAK ");
    }
    void startChecksNicknameAsTyped()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        Server s;
        s.form.Txtnick()->setText(typed);
        s.form.Text3()->setFocus();
        s.lifecycle.start();

        if (shown.isEmpty()) {
            QCOMPARE(s.dialogs.inputProblems, QStringList{NoNickname});
            QCOMPARE(s.form.focusWidget(), s.form.Txtnick());
            QCOMPARE(s.form.Txtnick()->text(), typed);
            QCOMPARE(s.commands(), NotStarted);
            QCOMPARE(s.listening(), QString());
            QCOMPARE(s.form.List1()->model()->rowCount(), 0);
        } else {
            QCOMPARE(s.dialogs.inputProblems, QStringList());
            QCOMPARE(s.form.Txtnick()->text(), shown);
            QCOMPARE(s.commands(), Running);
        }
    }

    void emptyHostIsRefilledAndNextStartStarts()
    {
        Server s;
        s.form.Text3()->clear();
        s.lifecycle.start();
        QCOMPARE(s.dialogs.inputProblems, QStringList{NoHost});
        QCOMPARE(s.form.Text3()->text(), QStringLiteral("lab-pc"));
        QCOMPARE(s.commands(), NotStarted);
        QCOMPARE(s.listening(), QString());

        // Any host text will do: the channels listen on their fixed ports.
        s.form.Text3()->setText(QStringLiteral("böyle-bir-makine-yok"));
        s.lifecycle.start();
        QCOMPARE(s.dialogs.inputProblems.size(), 1);
        QCOMPARE(s.commands(), Running);
        QCOMPARE(s.listening(), AllListening);
        const std::vector<quint16> ports{10420, 4201, 10081, 10082};
        for (size_t k = 0; k < ports.size(); ++k)
            QCOMPARE(element(*s.pools()[k], 0).listenedOn, ports[k]);
    }

    void nicknameIsUpperCasedAndFirstInRoster_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        // The locale's own rules: a Turkish operator's i gets its dot.
        const bool turkish = QLocale::system().language() == QLocale::Turkish;
        QTest::newRow("ali") << QStringLiteral("ali")
                             << (turkish ? QStringLiteral("ALİ") : QStringLiteral("ALI"));
        QTest::newRow("Turkish letters") << QStringLiteral("çağrı öğüş")
                                         << QStringLiteral("ÇAĞRI ÖĞÜŞ");
    }
    void nicknameIsUpperCasedAndFirstInRoster()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        Server s;
        s.form.Txtnick()->setText(typed);
        s.lifecycle.start();
        QCOMPARE(s.form.Txtnick()->text(), shown);
        QCOMPARE(s.form.List1()->model()->rowCount(), 1);
        QCOMPARE(s.form.core().roster().entry(0), shown.toUtf8());
        QCOMPARE(s.form.List1()->model()->index(0, 0).data().toString(), shown);
        QCOMPARE(s.form.focusWidget(), s.form.Text2());
    }

    void listenOrderAndTakenPort_data()
    {
        QTest::addColumn<int>("taken"); // index into pools(), -1 for none
        QTest::addColumn<QString>("listeningAfter");
        QTest::newRow("all free") << -1 << AllListening;
        QTest::newRow("message port taken") << 0 << QString();
        QTest::newRow("roster port taken") << 1 << QStringLiteral("Winsock");
        QTest::newRow("leave port taken") << 2 << QStringLiteral("Winsock Winusers");
        QTest::newRow("join port taken") << 3 << QStringLiteral("Winsock Winusers Winleft");
    }
    void listenOrderAndTakenPort()
    {
        QFETCH(int, taken);
        QFETCH(QString, listeningAfter);
        Server s;
        s.form.Txtnick()->setText(QStringLiteral("ali"));
        const Failure inUse{FailureNumber::AddressInUse, QStringLiteral("Adres kullanımda")};
        if (taken >= 0)
            element(*s.pools()[size_t(taken)], 0).listenFailure = inUse;
        QString listeningDuringReport;
        s.dialogs.whileOpen = [&] { listeningDuringReport = s.listening(); };
        s.lifecycle.start();
        QCOMPARE(s.listening(), listeningAfter);
        if (taken < 0) {
            QCOMPARE(s.dialogs.failures, QStringList());
            QCOMPARE(s.commands(), Running);
            return;
        }
        QCOMPARE(s.dialogs.failures, QStringList{QStringLiteral("10048: Adres kullanımda")});
        QCOMPARE(listeningDuringReport, listeningAfter);
        QCOMPARE(s.commands(), NotStarted);
        QCOMPARE(s.form.Txtnick()->text(), QStringLiteral("ali"));
        QCOMPARE(s.form.List1()->model()->rowCount(), 0);

        // Once the port is free, the next start starts.
        element(*s.pools()[size_t(taken)], 0).listenFailure.reset();
        s.lifecycle.start();
        QCOMPARE(s.listening(), AllListening);
        QCOMPARE(s.commands(), Running);
    }

    void stopAnsweredNoChangesNothing()
    {
        Server s;
        s.lifecycle.start();
        FakeEndpoint &client = connectTo(s.form.Winsock());
        s.form.Text1()->appendLine(QStringLiteral("merhaba"));
        const QString transcript = s.form.Text1()->text();
        s.dialogs.answer = false;
        s.lifecycle.stop();

        QCOMPARE(s.dialogs.questions, QStringList{Warning});
        QCOMPARE(client.sent, QByteArrayList());
        QCOMPARE(client.state(), EndpointState::Connected);
        QCOMPARE(s.yield.count, 0);
        QVERIFY(s.endpoints.closes.empty());
        QCOMPARE(s.commands(), Running);
        QCOMPARE(s.listening(), AllListening);
        QCOMPARE(s.form.Text1()->text(), transcript);
        QCOMPARE(s.form.List1()->model()->rowCount(), 1);
        QVERIFY(!s.form.Timer2()->isActive());
    }

    void stopClosesEveryElementInOrder()
    {
        Server s;
        s.lifecycle.start();
        for (int k = 0; k < 3; ++k)
            connectTo(s.form.Winsock());
        for (int k = 0; k < 2; ++k)
            connectTo(s.form.Winusers());
        connectTo(s.form.Winjoin());
        // Clients still arriving while the notice goes out are closed as well.
        s.yield.at(1, [&] {
            for (int k = 0; k < 4; ++k)
                connectTo(s.form.Winleft());
        });
        s.lifecycle.stop();

        const QStringList expected = QStringLiteral(
            "Winsock 0,Winleft 0,Winjoin 0,Winusers 0,"
            "Winsock 1,Winleft 1,Winjoin 1,Winusers 1,"
            "Winsock 2,Winleft 2,Winusers 2,"
            "Winsock 3,Winleft 3,"
            "Winleft 4").split(QLatin1Char(','));
        QCOMPARE(s.closeOrder(), expected);
        for (SocketPool *pool : s.pools()) {
            for (int i = 0; i <= pool->highestIndex(); ++i)
                QCOMPARE(pool->state(i), EndpointState::Closed);
        }
        // The elements stay in their pools.
        QCOMPARE(s.form.Winsock().count(), 4);
        QCOMPARE(s.form.Winleft().count(), 5);
    }

    void stopTellsClientsAndEmptiesRoster()
    {
        Server s;
        s.form.Txtnick()->setText(QStringLiteral("burak"));
        s.lifecycle.start();
        std::vector<FakeEndpoint *> messageClients;
        for (int k = 0; k < 3; ++k)
            messageClients.push_back(&connectTo(s.form.Winsock()));
        FakeEndpoint &rosterClient = connectTo(s.form.Winusers());
        s.form.core().roster().append("ayşe");
        s.form.Text1()->appendLine(QStringLiteral("ayşe: selam"));

        // The stop's own yield follows the three sends of the notice.
        QString transcriptAtOwnYield;
        bool stopStillOffered = false;
        s.yield.at(4, [&] {
            transcriptAtOwnYield = s.form.Text1()->text();
            stopStillOffered = s.form.mnudisconnect()->isEnabled();
        });
        s.lifecycle.stop();

        for (FakeEndpoint *client : messageClients)
            QCOMPARE(client->sent, QByteArrayList{Notice});
        QCOMPARE(rosterClient.sent, QByteArrayList());
        QCOMPARE(s.yield.count, 4);
        QCOMPARE(transcriptAtOwnYield, QStringLiteral("ayşe: selam\r\n"));
        QVERIFY(stopStillOffered);
        QCOMPARE(s.form.Text1()->text(), QStringLiteral("ayşe: selam\r\n") + ServerLines);
        QCOMPARE(s.form.List1()->model()->rowCount(), 0);
        QCOMPARE(s.form.Text4()->text(), QStringLiteral("BURAK"));
        QVERIFY(s.form.Timer2()->isActive());
        QCOMPARE(s.commands(), Stopped);
    }

    void failingNoticeStillStops()
    {
        Server s;
        FakeEndpoint *clients[3];
        s.lifecycle.start();
        for (FakeEndpoint *&client : clients)
            client = &connectTo(s.form.Winsock());
        clients[1]->sendFailure = Failure{FailureNumber::ConnectionReset, QStringLiteral("koptu")};
        s.lifecycle.stop();

        QCOMPARE(clients[0]->sent, QByteArrayList{Notice});
        QCOMPARE(clients[2]->sent, QByteArrayList());
        QCOMPARE(s.dialogs.failures, QStringList());
        QVERIFY(s.form.Text1()->text().endsWith(ServerLines));
        QCOMPARE(s.closeOrder().size(), 4 + 1 + 1 + 1);
        QCOMPARE(s.listening(), QString());
        QCOMPARE(s.form.List1()->model()->rowCount(), 0);
        QCOMPARE(s.commands(), Stopped);
    }

    void secondStopWhileStoppingDoesNothing()
    {
        Server s;
        s.lifecycle.start();
        FakeEndpoint &first = connectTo(s.form.Winsock());
        FakeEndpoint &second = connectTo(s.form.Winsock());
        s.yield.at(1, [&] { s.lifecycle.stop(); });
        s.yield.at(3, [&] { s.lifecycle.stop(); });
        s.lifecycle.stop();

        QCOMPARE(s.dialogs.questions.size(), 1);
        QCOMPARE(first.sent, QByteArrayList{Notice});
        QCOMPARE(second.sent, QByteArrayList{Notice});
        QCOMPARE(s.yield.count, 3);
        QCOMPARE(s.form.Text1()->text(), ServerLines);
        QCOMPARE(s.closeOrder().size(), 3 + 1 + 1 + 1);
    }

    void stateTable_data()
    {
        QTest::addColumn<int>("steps"); // 0 load, 1 start, 2 stop
        QTest::addColumn<QString>("commands");
        QTest::addColumn<QString>("listening");
        QTest::addColumn<int>("rosterEntries");
        QTest::addColumn<int>("exits");
        QTest::newRow("Not started") << 0 << NotStarted << QString() << 0 << 1;
        QTest::newRow("Running") << 1 << Running << AllListening << 1 << 0;
        QTest::newRow("Stopped") << 2 << Stopped << QString() << 0 << 1;
    }
    void stateTable()
    {
        QFETCH(int, steps);
        QFETCH(QString, commands);
        QFETCH(QString, listening);
        QFETCH(int, rosterEntries);
        QFETCH(int, exits);
        Server s;
        if (steps >= 1)
            s.lifecycle.start();
        if (steps >= 2)
            s.lifecycle.stop();
        QCOMPARE(s.commands(), commands);
        QCOMPARE(s.listening(), listening);
        QCOMPARE(s.form.List1()->model()->rowCount(), rosterEntries);

        // Stopped is final: start does nothing any more.
        s.lifecycle.start();
        QCOMPARE(s.commands(), steps == 0 ? Running : commands);

        // Exit ends the program unless the server runs.
        Server fresh;
        if (steps >= 1)
            fresh.lifecycle.start();
        if (steps >= 2)
            fresh.lifecycle.stop();
        fresh.lifecycle.exit();
        QCOMPARE(fresh.terminations, exits);
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

QTEST_MAIN(TestServerLifecycle)
#include "tst_serverlifecycle.moc"
