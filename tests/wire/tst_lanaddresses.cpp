// The addresses clients can type, listed from the interfaces of a private
// network namespace the test sets up itself.
#include "wire/lanaddresses.h"
#include "privatenetwork.h"

#include <QTest>

class TestLanAddresses : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!PrivateNetwork::enter())
            QSKIP("needs root: cannot make a private network namespace");
        // vt0 is up, vt1 (its peer) stays down.
        QVERIFY(PrivateNetwork::setUpVethPair());
        for (const char *add : {"addr add 10.231.17.1/24 dev vt0", "addr add 169.254.17.1/16 dev vt0",
                                "addr add fd5e:17::1/64 dev vt0 nodad", "addr add fe80::17/64 dev vt0 nodad",
                                "addr add 10.231.18.1/24 dev vt1"})
            QVERIFY(PrivateNetwork::ip(QString::fromLatin1(add)));
    }

    void listed_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<bool>("linkLocal");
        QTest::newRow("IPv4") << "10.231.17.1" << true << false;
        QTest::newRow("IPv4 link-local") << "169.254.17.1" << true << true;
        QTest::newRow("IPv6") << "fd5e:17::1" << true << false;
        QTest::newRow("IPv6 link-local, without a scope") << "fe80::17" << true << true;
        QTest::newRow("interface down") << "10.231.18.1" << false << false;
        QTest::newRow("loopback") << "127.0.0.1" << false << false;
        QTest::newRow("IPv6 loopback") << "::1" << false << false;
    }
    void listed()
    {
        QFETCH(QString, address);
        QFETCH(bool, listed);
        QFETCH(bool, linkLocal);
        const QList<LanAddress> all = lanAddresses();
        const auto found = std::find_if(all.begin(), all.end(), [&](const LanAddress &lan) {
            return lan.address.toString() == address;
        });
        QCOMPARE(found != all.end(), listed);
        if (!listed)
            return;
        QCOMPARE(found->interfaceName, QStringLiteral("vt0"));
        QCOMPARE(found->linkLocal, linkLocal);
        const QString line = address + QStringLiteral(" (vt0") + (linkLocal ? QStringLiteral(", bağlantı-yerel)")
                                                                             : QStringLiteral(")"));
        QVERIFY2(describeLanAddresses(all).split(u'\n').contains(line), qPrintable(describeLanAddresses(all)));
    }

    // A client is likelier to reach an IPv4 address: those are offered first.
    void ipv4First()
    {
        const QList<LanAddress> all = lanAddresses();
        QVERIFY(!all.isEmpty());
        const auto firstV6 = std::find_if(all.begin(), all.end(), [](const LanAddress &lan) {
            return lan.address.protocol() == QAbstractSocket::IPv6Protocol;
        });
        QVERIFY(std::none_of(firstV6, all.end(), [](const LanAddress &lan) {
            return lan.address.protocol() == QAbstractSocket::IPv4Protocol;
        }));
    }
};

QTEST_GUILESS_MAIN(TestLanAddresses)
#include "tst_lanaddresses.moc"
