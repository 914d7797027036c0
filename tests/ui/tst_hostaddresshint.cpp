// The host box's tooltip and accessible description follow the interfaces
// of a private network namespace the test sets up and changes itself.
#include "privatenetwork.h"
#include "ui/hostaddresshint.h"

#include <QLineEdit>
#include <QTest>

#include <memory>

class TestHostAddressHint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!PrivateNetwork::enter())
            QSKIP("needs root: cannot make a private network namespace");
        QVERIFY(PrivateNetwork::setUpVethPair());
        // Made before the first change, as the window makes it with the
        // box; and inside the namespace, whose changes it hears.
        m_box = std::make_unique<QLineEdit>();
        new HostAddressHint(m_box.get());
    }

    void followsTheInterfaces_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("shown");
        // Rows run in order on the same box.
        QTest::newRow("address added") << "addr add 10.231.20.1/24 dev vt0" << "10.231.20.1" << true;
        QTest::newRow("IPv6 address added") << "addr add fd5e:20::1/64 dev vt0 nodad" << "fd5e:20::1" << true;
        QTest::newRow("address removed") << "addr del 10.231.20.1/24 dev vt0" << "10.231.20.1" << false;
        QTest::newRow("interface down") << "link set vt0 down" << "fd5e:20::1" << false;
    }
    void followsTheInterfaces()
    {
        QFETCH(QString, change);
        QFETCH(QString, address);
        QFETCH(bool, shown);
        QVERIFY(PrivateNetwork::ip(change));
        QTRY_COMPARE(m_box->toolTip().contains(address), shown);
        QCOMPARE(m_box->accessibleDescription(), m_box->toolTip());
    }

private:
    std::unique_ptr<QLineEdit> m_box;
};

QTEST_MAIN(TestHostAddressHint)
#include "tst_hostaddresshint.moc"
