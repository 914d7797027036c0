// The desktop client against the real server over loopback, on the
// channels' fixed ports: the whole road of two users, the server's stop, and
// text that arrives split or with control bytes in it.
#include "chatwindow.h"
#include "fourchannelclient.h"
#include "runningserver.h"
#include "wire/channeltext.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using State = ChatSession::State;

namespace {

// One user's window, with settings of its own in a folder of the test's.
struct User
{
    User(const QTemporaryDir &dir, const QString &nickname)
        : settings(dir.filePath(nickname + QStringLiteral(".conf")), QSettings::IniFormat), window(settings)
    {
        child<QLineEdit>("nicknameEdit")->setText(nickname);
        child<QLineEdit>("addressEdit")->setText(QStringLiteral("127.0.0.1"));
        window.show();
    }
    template<typename W>
    W *child(const char *name)
    {
        return window.findChild<W *>(QLatin1String(name));
    }
    void connect() { child<QPushButton>("connectButton")->click(); }
    void say(const QString &line)
    {
        child<QLineEdit>("inputEdit")->setText(line);
        QTest::keyClick(child<QLineEdit>("inputEdit"), Qt::Key_Return);
    }
    QStringList lines() { return child<QPlainTextEdit>("conversationView")->toPlainText().split(u'\n'); }
    QString count() { return child<QLabel>("countLabel")->text(); }
    QString status() { return child<QLabel>("statusLabel")->text(); }

    QSettings settings;
    ChatWindow window;
};

} // namespace

class TestClientE2e : public QObject
{
    Q_OBJECT

private slots:
    void noServerThenConnectAgain()
    {
        QTemporaryDir dir;
        User ali(dir, QStringLiteral("Ali"));
        ali.connect();
        QTRY_COMPARE(ali.window.session().state(), State::Disconnected);
        QVERIFY2(ali.status().contains(QStringLiteral("bağlantıyı kabul etmedi")), qPrintable(ali.status()));
        QVERIFY(ali.child<QPushButton>("connectButton")->isEnabled());

        RunningServer server;
        QVERIFY(server.running());
        ali.connect();
        QTRY_COMPARE(ali.window.session().state(), State::Connected);
        QTRY_VERIFY(server.window.Text1()->text().contains(QStringLiteral("Ali sohbete katıldı.")));
        server.stop();
    }

    void twoUsersChatAndOneLeaves()
    {
        QTemporaryDir dir;
        RunningServer server;
        QVERIFY(server.running());
        User ali(dir, QStringLiteral("Ali"));
        ali.connect();
        QTRY_COMPARE(ali.window.session().state(), State::Connected);
        QTRY_VERIFY(server.window.Text1()->text().contains(QStringLiteral("Ali sohbete katıldı.")));
        User veli(dir, QStringLiteral("Veli"));
        veli.connect();
        QTRY_VERIFY(ali.lines().contains(QStringLiteral("Veli sohbete katıldı.")));

        ali.say(QStringLiteral("merhaba, nasılsın?"));
        QTRY_VERIFY(veli.lines().contains(QStringLiteral("<Ali> merhaba, nasılsın?")));
        QTRY_VERIFY(ali.lines().contains(QStringLiteral("<Ali> merhaba, nasılsın?")));
        QVERIFY(ali.child<QLineEdit>("inputEdit")->text().isEmpty());
        veli.say(QStringLiteral("iyiyim"));
        QTRY_VERIFY(ali.lines().contains(QStringLiteral("<Veli> iyiyim")));
        // The line reached a window that was not active: marked unread.
        QVERIFY(ali.window.windowTitle().startsWith(QStringLiteral("(")));

        // The operator's default nickname is known from the start, so both
        // lists are known once the roster is read.
        server.window.Text2()->setText(QStringLiteral("hoş geldiniz"));
        server.window.Command1()->click();
        const QStringList three = {QStringLiteral("SERVER"), QStringLiteral("Ali"), QStringLiteral("Veli")};
        QTRY_COMPARE(ali.window.people().names(), three);
        QTRY_COMPARE(veli.window.people().names(), three);
        QCOMPARE(ali.count(), QStringLiteral("3 kişi bağlı"));
        QVERIFY(ali.lines().contains(QStringLiteral("<SERVER> hoş geldiniz")));

        veli.child<QPushButton>("leaveButton")->click();
        QTRY_COMPARE(veli.window.session().state(), State::Disconnected);
        // Whoever was there is not shown as present after leaving.
        QCOMPARE(veli.child<QListView>("peopleView")->model()->rowCount(), 0);
        QCOMPARE(veli.count(), QString());
        QTRY_VERIFY(ali.lines().contains(QStringLiteral("Veli sohbetten ayrıldı.")));
        QTRY_COMPARE(ali.count(), QStringLiteral("2 kişi bağlı"));
        QVERIFY(server.window.Text1()->text().contains(QStringLiteral("Veli sohbetten ayrıldı.\r\n")));

        // Closing the window leaves first.
        ali.window.close();
        QTRY_VERIFY(server.window.Text1()->text().contains(QStringLiteral("Ali sohbetten ayrıldı.\r\n")));
        QTRY_VERIFY(!ali.window.isVisible());

        // Only the last nickname and address are kept.
        QCOMPARE(veli.settings.allKeys(), (QStringList{QStringLiteral("adres"), QStringLiteral("lakap")}));
        QSettings again(veli.settings.fileName(), QSettings::IniFormat);
        ChatWindow next(again);
        QCOMPARE(next.findChild<QLineEdit *>(QStringLiteral("nicknameEdit"))->text(), QStringLiteral("Veli"));
        server.stop();
    }

    void stopNoticeEndsTheSession()
    {
        QTemporaryDir dir;
        RunningServer server;
        User ali(dir, QStringLiteral("Ali"));
        ali.connect();
        QTRY_COMPARE(ali.window.session().state(), State::Connected);
        server.stop();
        QTRY_COMPARE(ali.window.session().state(), State::Disconnected);
        QVERIFY(ali.lines().contains(QStringLiteral("<SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.")));
        QVERIFY2(ali.status().startsWith(QStringLiteral("Sunucu durduruldu.")), qPrintable(ali.status()));
        QVERIFY(ali.child<QPushButton>("connectButton")->isEnabled());
        QVERIFY(!ali.child<QLineEdit>("inputEdit")->isEnabled());
    }

    // A connection reset by the far end (here a stand-in server on the same
    // ports that resets the chat connection) ends the session with a reason
    // and closes the other three.
    void resetEndsTheSession()
    {
        std::array<std::unique_ptr<QTcpServer>, 4> listeners;
        for (size_t c = 0; c < listeners.size(); ++c) {
            listeners[c] = std::make_unique<QTcpServer>();
            QVERIFY(listeners[c]->listen(QHostAddress::LocalHost, ChannelPort::All[c]));
        }
        QTemporaryDir dir;
        User ali(dir, QStringLiteral("Ali"));
        ali.connect();
        QTRY_COMPARE(ali.window.session().state(), State::Connected);
        QTRY_VERIFY(listeners[Message]->hasPendingConnections());
        QTcpSocket *chat = listeners[Message]->nextPendingConnection();
        const linger hard{1, 0};
        ::setsockopt(int(chat->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        chat->abort();
        QTRY_COMPARE(ali.window.session().state(), State::Disconnected);
        QVERIFY2(ali.status().startsWith(QStringLiteral("Sunucu")), qPrintable(ali.status()));
        QVERIFY(ali.status().endsWith(QStringLiteral("Yeniden bağlanmak için “Bağlan”a basın.")));
        QVERIFY(ali.child<QPushButton>("connectButton")->isEnabled());
        // The other channels' connections were closed too.
        QTcpSocket *roster = listeners[Roster]->nextPendingConnection();
        QVERIFY(roster);
        QTRY_COMPARE(roster->state(), QAbstractSocket::UnconnectedState);
    }

    void splitLetterAndControlBytes()
    {
        QTemporaryDir dir;
        RunningServer server;
        User ali(dir, QStringLiteral("Ali"));
        ali.connect();
        QTRY_COMPARE(ali.window.session().state(), State::Connected);
        ChannelClient raw(Message);
        raw.open();
        QTRY_VERIFY(raw.connected());
        QTRY_COMPARE(int(server.window.Winsock().highestIndex()), 2);

        // "ağ" cut inside the "ğ" (C4 9F): the server relays two reads, and
        // the letter is put back together. The second half goes as soon as
        // the first is relayed; a busy machine can take longer than a
        // network would, so the client waits for it long enough here.
        for (ChannelText *text : ali.window.session().findChildren<ChannelText *>())
            text->setHoldMs(60 * 1000);
        QSignalSpy relayed(&raw.socket, &QIODevice::readyRead);
        raw.send(QByteArray("a\xc4", 2));
        QVERIFY(relayed.wait());
        raw.send(QByteArray("\x9f\x07z\r\n", 5));
        QTRY_VERIFY(ali.lines().contains(QStringLiteral("ğ␇z␍␊")));
        QVERIFY(ali.lines().contains(QStringLiteral("a")));
        server.stop();
    }
};

QTEST_MAIN(TestClientE2e)
#include "tst_client_e2e.moc"
