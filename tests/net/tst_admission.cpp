// Connections per source address: the rule on a clock the test sets, and a
// churning address refused on a real listener while another still gets on.
#include "loopbackpool.h"
#include "wire/admission.h"
#include "wire/channelports.h"
#include "rawsocket.h"

#include <QTest>

#include <arpa/inet.h>

namespace {

Admission::Address v4(quint8 last)
{
    Admission::Address address{};
    address[10] = address[11] = 0xff;
    address[12] = 10;
    address[15] = last;
    return address;
}

// A client bound to source before it connects to 127.0.0.1:port; invalid
// when the connect failed.
RawFd connectFrom(const char *source, quint16 port)
{
    RawFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &address.sin_addr);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return {};
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return {};
    RawSocket::setNonBlocking(fd.get());
    return fd;
}

} // namespace

Q_DECLARE_METATYPE(Admission::Address)

class TestAdmission : public QObject
{
    Q_OBJECT

private slots:
    void connectionsInARow_data()
    {
        QTest::addColumn<int>("perAddress");
        QTest::addColumn<int>("burst");
        QTest::addColumn<int>("pauseMs"); // after the first refusal
        QTest::addColumn<bool>("leaveOne"); // after the first refusal
        QTest::addColumn<int>("admittedFirst");
        QTest::addColumn<int>("admittedAfter");

        // Four a second: a quarter second's pause earns one more, not two.
        QTest::newRow("burst, then the rate") << 100 << 5 << 250 << false << 5 << 1;
        QTest::newRow("the rate does not save up past the burst") << 100 << 5 << 60000 << false << 5 << 5;
        // Open connections: a place comes free only when one ends.
        QTest::newRow("open at once") << 3 << 100 << 60000 << false << 3 << 0;
        QTest::newRow("one ends") << 3 << 100 << 0 << true << 3 << 1;
    }

    void connectionsInARow()
    {
        QFETCH(int, perAddress);
        QFETCH(int, burst);
        QFETCH(int, pauseMs);
        QFETCH(bool, leaveOne);
        QFETCH(int, admittedFirst);
        QFETCH(int, admittedAfter);
        qint64 now = 1000;
        Admission admission({perAddress, burst, 4}, [&now] { return now; });
        const auto inARow = [&](std::vector<Admission::Ticket> &held) {
            int admitted = 0;
            while (Admission::Ticket ticket = admission.admitAddress(ChannelPort::Message, v4(7))) {
                held.push_back(ticket);
                if (++admitted > 1000)
                    break;
            }
            return admitted;
        };
        std::vector<Admission::Ticket> held;
        QCOMPARE(inARow(held), admittedFirst);
        now += pauseMs;
        if (leaveOne)
            admission.leave(held.front());
        QCOMPARE(inARow(held), admittedAfter);
    }

    void portsAndAddressesAreCountedApart()
    {
        qint64 now = 0;
        Admission admission({1000, 100, 4}, [&now] { return now; });
        for (int i = 0; i < 100; ++i)
            admission.leave(admission.admitAddress(ChannelPort::Message, v4(1))); // connect and reset
        QVERIFY(!admission.admitAddress(ChannelPort::Message, v4(1)));
        QVERIFY(admission.admitAddress(4201, v4(1)));
        QVERIFY(admission.admitAddress(ChannelPort::Message, v4(2)));
        // Idle addresses are forgotten after a while, but not one whose rate
        // is still spent: that would hand the churner a fresh burst.
        now += 11 * 1000;
        QVERIFY(admission.admitAddress(ChannelPort::Message, v4(3))); // forgets what it may
        int again = 0;
        while (again <= 100 && admission.admitAddress(ChannelPort::Message, v4(1)))
            ++again;
        QCOMPARE(again, 11 * 4);
    }

    void loopbackIsNotLimited_data()
    {
        QTest::addColumn<Admission::Address>("address");
        QTest::addColumn<bool>("limited");
        Admission::Address v6{};
        v6[15] = 1;
        Admission::Address mapped = v4(1);
        mapped[12] = 127;
        QTest::newRow("::1") << v6 << false;
        QTest::newRow("127.0.0.1") << mapped << false;
        mapped[13] = 5;
        QTest::newRow("127.5.0.1") << mapped << false;
        QTest::newRow("10.0.0.1") << v4(1) << true;
        v6[14] = 1;
        QTest::newRow("::101") << v6 << true;
        Admission::Address notMapped = mapped;
        notMapped[11] = 0;
        QTest::newRow("127.5.0.1 without the mapped prefix") << notMapped << true;
    }

    void loopbackIsNotLimited()
    {
        QFETCH(Admission::Address, address);
        QFETCH(bool, limited);
        qint64 now = 0;
        Admission admission({3, 3, 4}, [&now] { return now; });
        int admitted = 0;
        while (admitted < 10 && admission.admitAddress(ChannelPort::Message, address))
            ++admitted;
        QCOMPARE(admitted, limited ? 3 : 10);
    }

    void aChurningAddressIsRefusedWhileAnotherGetsOn()
    {
        // The product's own limits, applied to this machine's addresses too
        // so that a loopback client can stand for one on the network.
        AdmissionLimits limits;
        limits.limitLoopback = true;
        LoopbackPool server(0, limits);
        QVERIFY(!server.pool.listen());
        int admitted = 0;
        bool refused = false;
        // Bounded: the burst and what the rate refills meanwhile are far
        // below this, however slow the machine.
        for (int cycle = 0; cycle < 4000 && !refused; ++cycle) {
            RawFd churner = connectFrom("127.0.0.2", server.port());
            QVERIFY(churner.get() >= 0);
            const int before = server.pool.count();
            QByteArray ignored;
            QVERIFY(QTest::qWaitFor([&] {
                refused = RawSocket::readAvailable(churner.get(), ignored);
                return refused || server.pool.count() > before;
            }));
            if (server.pool.count() > before)
                ++admitted;
            RawSocket::resetOnClose(churner.get());
        }
        QVERIFY(refused);
        QVERIFY(admitted >= AdmissionLimits{}.burst);
        // A refused connection made no element.
        QCOMPARE(server.pool.count(), 1 + admitted);

        RawFd other = connectFrom("127.0.0.3", server.port());
        QVERIFY(other.get() >= 0);
        QTRY_COMPARE(server.pool.count(), 2 + admitted);
        const int top = server.pool.highestIndex();
        QCOMPARE(server.pool.state(top), EndpointState::Connected);
        QCOMPARE(RawSocket::writeAvailable(other.get(), "merhaba"), 7);
        QByteArray got;
        const auto take = [&] {
            QByteArray part;
            std::ignore = server.pool.getData(top, part);
            return got += part;
        };
        QTRY_COMPARE(take(), QByteArrayLiteral("merhaba"));
    }
};

QTEST_MAIN(TestAdmission)
#include "tst_admission.moc"
