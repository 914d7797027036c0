// A browser user's session against stand-in channel listeners on the fixed
// ports: what it holds for a server that stops reading its chat connection.
#include "presence.h"
#include "usersession.h"

#include "wire/channelports.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class TestUserSession : public QObject
{
    Q_OBJECT

private slots:
    // Lines a browser sends faster than the server takes them wait in the
    // gateway up to a bound, then the browser is not read; they go on once
    // the server reads again.
    void aServerThatStopsReadingHoldsTheBrowserBack()
    {
        std::array<QTcpServer, ChannelPort::All.size()> listeners;
        for (size_t c = 0; c < listeners.size(); ++c)
            QVERIFY(listeners[c].listen(QHostAddress::LocalHost, quint16(ChannelPort::All[c])));
        SocketReactor reactor;
        Presence presence;
        UserSession session(reactor, presence);
        QSignalSpy backlog(&session, &UserSession::backlogChanged);
        session.connectTo(QStringLiteral("Ayşe"), QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(session.state(), UserSession::State::Connected);
        QTcpSocket *chat = listeners[0].nextPendingConnection();
        QVERIFY(chat);
        chat->setReadBufferSize(1);
        // Unread, the kernel's buffers fill first: a few megabytes at most.
        const QString line(8 * 1024, u'ş');
        for (int sent = 0; sent < 2000 && backlog.isEmpty(); ++sent) {
            session.say(line);
            QCoreApplication::processEvents();
        }
        QCOMPARE(backlog.size(), 1);
        QCOMPARE(backlog.first().first().toBool(), true);
        qint64 taken = 0;
        connect(chat, &QTcpSocket::readyRead, chat, [&] { taken += chat->readAll().size(); });
        chat->setReadBufferSize(0);
        taken += chat->readAll().size();
        QTRY_COMPARE(backlog.size(), 2);
        QCOMPARE(backlog.last().first().toBool(), false);
        QVERIFY(taken > UserSession::SayBacklogBytes);
    }
};

QTEST_MAIN(TestUserSession)
#include "tst_usersession.moc"
