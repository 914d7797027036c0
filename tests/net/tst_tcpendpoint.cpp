// The TCP endpoints over real loopback sockets, on a free port.
#include "loopbackpool.h"
#include "net/channels.h"
#include "net/tcpendpoint.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

using Server = LoopbackPool;

} // namespace

class TestTcpEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void acceptsReadsAndSendsBytesUnchanged_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("IPv4") << QStringLiteral("127.0.0.1");
        QTest::newRow("IPv6") << QStringLiteral("::1");
    }
    void acceptsReadsAndSendsBytesUnchanged()
    {
        QFETCH(QString, address);
        Server server;
        QVERIFY(!server.pool.listen());
        QCOMPARE(server.pool.state(0), EndpointState::Listening);

        QTcpSocket client;
        client.connectToHost(QHostAddress(address), server.port());
        if (!client.waitForConnected(5000) && address.contains(QLatin1Char(':')))
            QSKIP("no IPv6 loopback on this machine");
        QTRY_COMPARE(server.pool.highestIndex(), 1);
        QCOMPARE(server.pool.state(1), EndpointState::Connected);

        QSignalSpy arrivals(&server.pool, &SocketPool::dataArrival);
        const QByteArray raw("\x00\xfd\xfe\r\xf0\x9f\x98\x80 ı", 12);
        client.write(raw);
        QVERIFY(arrivals.wait());
        QCOMPARE(arrivals.first().at(0).value<qint16>(), 1);
        QByteArray got, all;
        QTRY_COMPARE((server.pool.getData(1, got), all += got).size(), raw.size());
        QCOMPARE(all, raw);
        QVERIFY(!server.pool.getData(1, got));
        QVERIFY(got.isEmpty());

        QVERIFY(!server.pool.sendData(1, raw));
        QVERIFY(!server.pool.sendData(1, QByteArray()));
        QTRY_COMPARE(client.bytesAvailable(), raw.size());
        QCOMPARE(client.readAll(), raw);
    }

    void peerThatLeavesKeepsItsLastBytesAndIndex()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        QTcpSocket a, b;
        a.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 1);
        b.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 2);

        a.write("bye");
        a.disconnectFromHost();
        QTRY_COMPARE(server.pool.state(1), EndpointState::Closed);
        QByteArray got;
        QVERIFY(!server.pool.getData(1, got));
        QCOMPARE(got, QByteArrayLiteral("bye"));
        QVERIFY(server.pool.sendData(1, "x")); // not connected: a failure

        QTcpSocket c;
        c.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 3);
        QCOMPARE(server.pool.state(2), EndpointState::Connected);
    }

    void closeDeliversWhatWasQueuedThenDisconnects()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 1);
        QSignalSpy gone(&client, &QTcpSocket::disconnected);
        QVERIFY(!server.pool.sendData(1, "notice"));
        for (int i = 0; i <= server.pool.highestIndex(); ++i)
            server.pool.close(i);
        server.pool.close(1); // closing twice does nothing
        QCOMPARE(server.pool.state(0), EndpointState::Closed);
        QCOMPARE(server.pool.state(1), EndpointState::Closed);
        QVERIFY(gone.wait());
        QCOMPARE(client.readAll(), QByteArrayLiteral("notice"));
        QCOMPARE(server.pool.count(), 2);
    }

    void takenPortIsReportedAsAddressInUse()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        QObject owner;
        TcpEndpointFactory factory(&owner);
        SocketPool pool(QStringLiteral("taken"), squatter.serverPort(), factory);
        const Outcome failed = pool.listen();
        QVERIFY(failed);
        QCOMPARE(failed->number, FailureNumber::AddressInUse);
        QVERIFY(!failed->description.isEmpty());
        QCOMPARE(pool.state(0), EndpointState::Closed);
    }

    void unclaimedRequestsLeakNoDescriptor()
    {
        QObject owner;
        TcpEndpointFactory factory(&owner);
        SocketPool pool(QStringLiteral("nobody"), 0, factory); // no accept handler
        QVERIFY(!pool.listen());
        const int before = openDescriptors();
        QTcpSocket client;
        QSignalSpy gone(&client, &QTcpSocket::disconnected);
        client.connectToHost(QHostAddress::LocalHost, pool.endpoint(0)->localPort());
        QVERIFY(gone.wait());
        QCOMPARE(pool.count(), 1);
        QTRY_COMPARE(openDescriptors(), before + 0);
    }

    void peerThatStopsReadingIsDroppedWithoutFailingTheSend()
    {
        Server server;
        QVERIFY(!server.pool.listen());
        QTcpSocket sleeper;
        sleeper.setReadBufferSize(1); // reads next to nothing: the kernel buffers fill
        sleeper.connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE(server.pool.highestIndex(), 1);

        const QByteArray chunk(64 * 1024, 'x');
        int sends = 0;
        // Bounded: the kernel buffers plus the cap are far below 256 MiB.
        while (server.pool.state(1) == EndpointState::Connected && sends < 4096) {
            QVERIFY(!server.pool.sendData(1, chunk));
            ++sends;
        }
        QCOMPARE(server.pool.state(1), EndpointState::Closed);
        QVERIFY(qint64(sends) * chunk.size() > EndpointLimits::MaxUnsentBytes);
    }
};

QTEST_GUILESS_MAIN(TestTcpEndpoint)
#include "tst_tcpendpoint.moc"
