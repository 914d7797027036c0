// The road of clients from connection to departure, over real loopback
// sockets on the channels' fixed ports, against the whole operator window.
#include "fakedialogs.h"
#include "fourchannelclient.h"
#include "rosterof.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <array>
#include <memory>

class TestRoadE2e : public QObject
{
    Q_OBJECT

private slots:
    void oneClientFromConnectionToDeparture()
    {
        FakeDialogs dialogs;
        Form1 window(Form1::Services{nullptr, nullptr, &dialogs});
        window.show();
        window.Cmdconnct()->click();
        QVERIFY(dialogs.failures.isEmpty());
        QCOMPARE(rosterOf(*window.List1()), QStringList{QStringLiteral("SERVER")});

        FourChannelClient ali, veli;
        ali.connectAll();
        QTRY_VERIFY(window.Winsock().highestIndex() == 1 && window.Winusers().highestIndex() == 1
                    && window.Winjoin().highestIndex() == 1 && window.Winleft().highestIndex() == 1);
        veli.connectAll();
        QTRY_VERIFY(window.Winsock().highestIndex() == 2 && window.Winusers().highestIndex() == 2
                    && window.Winjoin().highestIndex() == 2 && window.Winleft().highestIndex() == 2);

        // Roster: every roster client gets each entry, back to back.
        ali[Roster].send("Ali");
        QTRY_COMPARE(ali[Roster].got, QByteArrayLiteral("SERVERAli"));
        QTRY_COMPARE(veli[Roster].got, QByteArrayLiteral("SERVERAli"));
        QCOMPARE(rosterOf(*window.List1()), (QStringList{QStringLiteral("SERVER"), QStringLiteral("Ali")}));
        QTRY_COMPARE(window.Label4()->text(), QStringLiteral("2 Kullanıcı bağlı"));

        // Join: announced to every join client, without a line end.
        ali[Join].send("Ali");
        const QByteArray joined = QByteArrayLiteral("Ali sohbete katıldı.");
        QTRY_COMPARE(ali[Join].got, joined);
        QTRY_COMPARE(veli[Join].got, joined);

        // Chat: relayed unchanged to every message client, the sender included;
        // one transcript line per message element read (Veli's is empty).
        ali[Message].send("merhaba");
        QTRY_COMPARE(veli[Message].got, QByteArrayLiteral("merhaba"));
        QTRY_COMPARE(ali[Message].got, QByteArrayLiteral("merhaba"));

        // Leave: the nickname goes back unchanged; the entry goes 2 s later.
        ali[Leave].send("Ali");
        QTRY_COMPARE(veli[Leave].got, QByteArrayLiteral("Ali"));
        QTRY_COMPARE(ali[Leave].got, QByteArrayLiteral("Ali"));
        QCOMPARE(window.Text4()->text(), QStringLiteral("Ali"));
        QVERIFY(window.Timer2()->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(rosterOf(*window.List1()), QStringList{QStringLiteral("SERVER")}, 5000);
        QTRY_COMPARE(window.Label4()->text(), QStringLiteral("1 Kullanıcı bağlı"));

        QCOMPARE(window.Text1()->text(),
                 QStringLiteral("Ali sohbete katıldı.\r\nmerhaba\r\n\r\nAli sohbetten ayrıldı.\r\n"));

        // The operator's own line reaches every message client.
        window.Text2()->setText(QStringLiteral("hoş geldiniz"));
        window.Command1()->click();
        const QByteArray operatorLine = QByteArrayLiteral("<SERVER> hoş geldiniz");
        QTRY_COMPARE(veli[Message].got, QByteArrayLiteral("merhaba") + operatorLine);
        QVERIFY(window.Text1()->text().endsWith(QStringLiteral("<SERVER> hoş geldiniz\r\n")));
        QVERIFY(window.Text2()->text().isEmpty());
        QVERIFY(dialogs.failures.isEmpty());

        // Nothing else reached anyone.
        QCOMPARE(veli[Roster].got, QByteArrayLiteral("SERVERAli"));
        QCOMPARE(veli[Join].got, joined);

        dialogs.answer = true;
        window.mnudisconnect()->trigger();
    }

    void eightBitClientsReachEachOtherIntact()
    {
        FakeDialogs dialogs;
        Form1 window(Form1::Services{nullptr, nullptr, &dialogs});
        window.Cmdconnct()->click();
        FourChannelClient a, b;
        a.connectAll();
        b.connectAll();
        QTRY_COMPARE(int(window.Winsock().highestIndex()), 2);
        QTRY_COMPARE(int(window.Winjoin().highestIndex()), 2);
        // "Işık" in Windows-1254, and a name the window shows decoded as such.
        const QByteArray cp1254("I\xfe\xfdk", 4);
        a[Message].send(cp1254);
        QTRY_COMPARE(b[Message].got, cp1254);
        a[Join].send(cp1254);
        QTRY_COMPARE(b[Join].got, cp1254 + QByteArrayLiteral(" sohbete katıldı."));
        QVERIFY(window.Text1()->text().contains(QStringLiteral("Işık sohbete katıldı.")));
        dialogs.answer = true;
        window.mnudisconnect()->trigger();
    }
};

QTEST_MAIN(TestRoadE2e)
#include "tst_road_e2e.moc"
