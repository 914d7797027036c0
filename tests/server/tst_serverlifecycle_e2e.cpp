// The lifecycle on real sockets: the server listens on its four fixed ports,
// loopback clients connect, and the stop reaches them; a port that another
// program holds is reported.
#include "fakedialogs.h"

#include "net/endpoint.h"
#include "server/serverlifecycle.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"
#include "wire/channelports.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <array>

namespace {

const QByteArray Notice = QStringLiteral("<SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.").toUtf8();

// Real endpoints and the event-loop yield; only the message boxes are answered.
struct Server
{
    FakeDialogs dialogs;
    Form1 form{Form1::Services{nullptr, nullptr, &dialogs}};
    ServerLifecycle &lifecycle = form.core().lifecycle();
};

} // namespace

class TestServerLifecycleE2e : public QObject
{
    Q_OBJECT

private slots:
    void stopReachesConnectedClients()
    {
        Server s;
        s.lifecycle.start();
        QCOMPARE(s.dialogs.failures, QStringList());
        QVERIFY(!s.form.Text3()->text().isEmpty());

        const std::array<SocketPool *, 4> pools{&s.form.Winsock(), &s.form.Winusers(),
                                                &s.form.Winjoin(), &s.form.Winleft()};
        std::array<QTcpSocket, 4> clients;
        for (size_t k = 0; k < clients.size(); ++k)
            clients[k].connectToHost(QHostAddress::LocalHost, ChannelPort::All[k]);
        for (size_t k = 0; k < clients.size(); ++k) {
            QTRY_COMPARE(pools[k]->highestIndex(), 1);
            QTRY_COMPARE(pools[k]->state(1), EndpointState::Connected);
        }

        // An event that is pending when the stop begins is handled before the
        // stop writes its lines.
        QString transcriptWhenHandled = QStringLiteral("not handled");
        s.dialogs.whileOpen = [&] {
            QMetaObject::invokeMethod(
                &s.form, [&] { transcriptWhenHandled = s.form.Text1()->text(); },
                Qt::QueuedConnection);
        };
        s.lifecycle.stop();
        QCOMPARE(s.dialogs.questions.size(), 1);
        QCOMPARE(transcriptWhenHandled, QString());
        for (QTcpSocket &client : clients)
            QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(clients[0].readAll(), Notice);
        for (size_t k = 1; k < clients.size(); ++k)
            QCOMPARE(clients[k].readAll(), QByteArray());
        QCOMPARE(s.form.List1()->model()->rowCount(), 0);
        QVERIFY(s.form.mnuexit()->isEnabled());

        // Nobody listens any more.
        QTcpSocket late;
        QSignalSpy refused(&late, &QAbstractSocket::errorOccurred);
        late.connectToHost(QHostAddress::LocalHost, ChannelPort::Message);
        QVERIFY(refused.wait());
        QCOMPARE(late.error(), QAbstractSocket::ConnectionRefusedError);
    }

    void takenRosterPortIsReported()
    {
        QTcpServer otherProgram;
        QVERIFY(otherProgram.listen(QHostAddress::LocalHost, ChannelPort::Roster));
        Server s;
        s.lifecycle.start();
        QCOMPARE(s.dialogs.failures.size(), 1);
        // Turkish only, and it names the port and its channel.
        QCOMPARE(s.dialogs.failures[0],
                 QStringLiteral("10048: Adres kullanımda: 4201 numaralı portu (kullanıcı "
                                "listesi) başka bir program tutuyor"));
        QVERIFY(s.form.mnustart()->isEnabled());
        QCOMPARE(s.form.Winusers().state(0), EndpointState::Closed);

        // The message channel listened before the roster channel failed.
        QCOMPARE(s.form.Winsock().state(0), EndpointState::Listening);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, ChannelPort::Message);
        QTRY_COMPARE(s.form.Winsock().highestIndex(), 1);
    }
};

QTEST_MAIN(TestServerLifecycleE2e)
#include "tst_serverlifecycle_e2e.moc"
