// The gateway's HTTP front on a free port: what each kind of request is
// answered, the Origin rule before the upgrade, and the per-address limit.
#include "httpfront.h"

#include <QDir>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Front
{
    explicit Front(const QString &root, AdmissionLimits limits = {}) : front(PageFiles(root), limits)
    {
        front.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&front, &HttpFront::upgraded, [this](int fd) { upgraded.push_back(fd); });
    }
    ~Front()
    {
        for (const int fd : upgraded)
            ::close(fd);
    }
    HttpFront front;
    std::vector<int> upgraded;
};

// Sends request and gives back what came before the connection closed, or
// what came within a while for a connection the front keeps open.
QByteArray exchange(quint16 port, const QByteArray &request, QTcpSocket &socket)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    QByteArray answer;
    std::ignore = QTest::qWaitFor([&] {
        answer += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState || answer.contains("\r\n\r\n");
    });
    return answer;
}

} // namespace

class TestHttpFront : public QObject
{
    Q_OBJECT

private slots:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("request"); // PORT stands for the front's port
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("contentType"); // of a 200

        const QByteArray upgrade = "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:PORT\r\nUpgrade: websocket\r\n"
                                   "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                   "Sec-WebSocket-Version: 13\r\n";
        QTest::newRow("the page") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("200")
                                  << QByteArray("text/html; charset=utf-8");
        QTest::newRow("a style sheet, with a query") << QByteArray("GET /a.css?v=2 HTTP/1.1\r\n\r\n")
                                                     << QByteArray("200") << QByteArray("text/css; charset=utf-8");
        QTest::newRow("a file beside the folder") << QByteArray("GET /../secret HTTP/1.1\r\n\r\n")
                                                  << QByteArray("404") << QByteArray();
        QTest::newRow("a hidden file") << QByteArray("GET /.hidden HTTP/1.1\r\n\r\n") << QByteArray("404")
                                       << QByteArray();
        QTest::newRow("not a GET") << QByteArray("POST / HTTP/1.1\r\n\r\n") << QByteArray("405") << QByteArray();
        QTest::newRow("a head over 8 KiB") << "GET / HTTP/1.1\r\nX: " + QByteArray(9000, 'x') << QByteArray("431")
                                           << QByteArray();
        QTest::newRow("WebSocket without Origin") << upgrade + "\r\n" << QByteArray("101") << QByteArray();
        QTest::newRow("WebSocket from its own page") << upgrade + "Origin: http://127.0.0.1:PORT\r\n\r\n"
                                                     << QByteArray("101") << QByteArray();
        QTest::newRow("its own page, the address typed in capitals")
            << "GET /ws HTTP/1.1\r\nHost: SINIF-PC:PORT" + upgrade.mid(upgrade.indexOf("\r\nUpgrade"))
                   + "Origin: http://sinif-pc:PORT\r\n\r\n"
            << QByteArray("101") << QByteArray();
        QTest::newRow("Origin elsewhere") << upgrade + "Origin: http://okul.example\r\n\r\n" << QByteArray("403")
                                          << QByteArray();
        QTest::newRow("Origin without the port") << upgrade + "Origin: http://127.0.0.1\r\n\r\n"
                                                 << QByteArray("403") << QByteArray();
        QTest::newRow("Origin with the page's as a prefix")
            << upgrade + "Origin: http://127.0.0.1:PORT.okul.example\r\n\r\n" << QByteArray("403") << QByteArray();
        QTest::newRow("Origin over https") << upgrade + "Origin: https://127.0.0.1:PORT\r\n\r\n"
                                           << QByteArray("403") << QByteArray();
        QTest::newRow("WebSocket of another version")
            << QByteArray(upgrade).replace("Version: 13", "Version: 8") + "\r\n" << QByteArray("426") << QByteArray();
    }

    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, contentType);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"page"_s));
        for (const auto &[name, text] : {std::pair{"page/index.html", "<p>merhaba</p>"}, {"page/a.css", "p{}"},
                                         {"page/.hidden", "x"}, {"secret", "gizli"}}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        Front front(dir.filePath(u"page"_s));
        QTcpSocket socket;
        const QByteArray answer = exchange(front.front.port(), request.replace("PORT", QByteArray::number(front.front.port())), socket);
        QVERIFY2(answer.startsWith(QByteArray("HTTP/1.1 " + status)), answer.left(200).constData());
        if (status == "200") {
            QVERIFY(answer.contains(QByteArray("\r\nContent-Type: " + contentType + "\r\n")));
            QVERIFY(answer.contains("\r\nCache-Control: no-cache\r\n"));
            QVERIFY(answer.contains("\r\nContent-Security-Policy: default-src 'self';"));
        }
        QVERIFY(!answer.contains("gizli"));
        // The key's answer, as the protocol's own example gives it.
        QVERIFY2(answer.contains("\r\nSec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n") == (status == "101"), answer.constData());
        QCOMPARE(front.upgraded.size(), size_t(status == "101"));
    }

    void oneAddressHoldsNoMoreThanItsShare()
    {
        QTemporaryDir dir;
        QFile page(dir.filePath(u"index.html"_s));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<p>merhaba</p>");
        page.close();
        AdmissionLimits limits;
        limits.perAddress = 2;
        limits.limitLoopback = true;
        Front front(dir.path(), limits);
        QTcpSocket held[3];
        for (QTcpSocket &socket : held)
            socket.connectToHost(QHostAddress::LocalHost, front.front.port());
        QTRY_COMPARE(held[2].state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(held[0].state(), QAbstractSocket::ConnectedState);
        held[0].abort();
        QTcpSocket later;
        // A place came free once the front saw the first one go.
        QTRY_VERIFY(exchange(front.front.port(), "GET / HTTP/1.1\r\n\r\n", later).startsWith("HTTP/1.1 200"));
    }
};

QTEST_MAIN(TestHttpFront)
#include "tst_httpfront.moc"
