// The message channel over fake endpoints: what reaches the transcript and the
// clients on an arrival, the operator's send, error reports, the window kept on
// top, and arrivals that come in while the handler runs.
#include "fakeendpoint.h"
#include "fakeoperator.h"
#include "net/channels.h"
#include "relay/messagerelay.h"
#include "relay/typedtext.h"

#include <QTest>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace {

// What the server core wires together for the message channel.
struct Rig
{
    Rig()
    {
        QObject::connect(&pool(), &SocketPool::dataArrival, &relay, &MessageRelay::dataArrival);
        QObject::connect(&pool(), &SocketPool::socketError, &relay,
                         [this](qint16, const Failure &failure) { relay.socketError(failure); });
        Txtnick.setText(QStringLiteral("SERVER"));
    }
    SocketPool &pool() { return channels.Winsock(); }
    FakeEndpoint &client(int index) { return fake(pool(), index); }
    void connectClients(int n)
    {
        for (int i = 0; i < n; ++i)
            connectClient(pool());
    }

    FakeEndpointFactory factory;
    ControlledYield yield;
    Channels channels{factory, yield};
    TypedText Txtnick;
    TypedText Text2;
    FakeOperator transcript;
    MessageRelay relay{channels, transcript};
};

} // namespace

class TestMessageRelay : public QObject
{
    Q_OBJECT

private slots:
    void arrivalReadsEveryElement_data()
    {
        QTest::addColumn<int>("clients");
        QTest::addColumn<int>("dropped");     // element whose client went away, 0 for none
        QTest::addColumn<int>("failingRead"); // element whose read fails, 0 for none
        QTest::addColumn<int>("sender");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("transcript");

        QTest::newRow("A sends, B silent") << 2 << 0 << 0 << 1 << QByteArray("T") << u"T\r\n\r\n"_s;
        QTest::newRow("B sends") << 2 << 0 << 0 << 2 << QByteArray("T") << u"\r\nT\r\n"_s;
        QTest::newRow("one client") << 1 << 0 << 0 << 1 << QByteArray("T") << u"T\r\n"_s;
        QTest::newRow("disconnected element keeps its line")
            << 3 << 1 << 0 << 2 << QByteArray("T") << u"\r\nT\r\n\r\n"_s;
        QTest::newRow("failed read counts as empty")
            << 3 << 0 << 2 << 3 << QByteArray("T") << u"\r\n\r\nT\r\n"_s;
        QTest::newRow("UTF-8 Turkish") << 2 << 0 << 0 << 1 << QByteArray("Günaydın şöför")
                                       << u"Günaydın şöför\r\n\r\n"_s;
        QTest::newRow("Windows-1254 bytes") << 2 << 0 << 0 << 2 << QByteArray("I\xfe\xfdk \xdd\xf0")
                                            << u"\r\nIşık İğ\r\n"_s;
        QTest::newRow("line ends inside the text")
            << 1 << 0 << 0 << 1 << QByteArray("a\r\nb") << u"a\r\nb\r\n"_s;
    }

    void arrivalReadsEveryElement()
    {
        QFETCH(int, clients);
        QFETCH(int, dropped);
        QFETCH(int, failingRead);
        QFETCH(int, sender);
        QFETCH(QByteArray, text);
        QFETCH(QString, transcript);

        Rig rig;
        rig.connectClients(clients);
        if (dropped)
            rig.client(dropped).drop();
        if (failingRead)
            rig.client(failingRead).readFailure = Failure{10057, QStringLiteral("bağlı değil")};
        rig.client(sender).arrive(text);

        QCOMPARE(rig.transcript.text(), transcript);
        for (int i = 1; i <= clients; ++i) {
            // The very bytes the sender sent, to everyone connected, itself included.
            QCOMPARE(rig.client(i).received(), i == dropped ? QByteArray() : text);
        }
        QVERIFY(rig.transcript.failures.isEmpty());
    }

    // Elements whose clients went away are passed over in runs; the
    // transcript, the relays and the yields are those of reading each one.
    void closedElementsAmongLiveOnes_data()
    {
        QTest::addColumn<QString>("elements");
        // One letter an element: c connected and silent, s connected and
        // sending, d gone, u gone with bytes it sent still unread, n never
        // connected (its accept failed).
        QTest::newRow("runs between senders") << u"sdddcdddds"_s;
        QTest::newRow("runs at both ends") << u"nnnnsccdddd"_s;
        QTest::newRow("single closed elements") << u"dsdcds"_s;
        QTest::newRow("unread bytes inside a run") << u"sdduddddc"_s;
        QTest::newRow("nobody connected is left") << u"dddduddd"_s;
    }

    void closedElementsAmongLiveOnes()
    {
        QFETCH(QString, elements);
        Rig rig;
        for (const QChar kind : elements) {
            if (kind == u'n') {
                QVERIFY(!rig.pool().createElement());
                continue;
            }
            FakeEndpoint &client = connectClient(rig.pool());
            if (kind == u'u')
                client.inbox = "u" + QByteArray::number(client.index());
            if (kind == u'd' || kind == u'u')
                client.drop();
        }
        const int connected = rig.pool().connectedCount();
        // Two arrivals: the first reads the unread bytes of the gone, the
        // second finds every gone element empty.
        const auto live = [&](int i) { return elements[i - 1] == u's' || elements[i - 1] == u'c'; };
        const auto closedReads = [&] {
            int reads = 0;
            for (int i = 1; i <= elements.size(); ++i)
                reads += live(i) ? 0 : rig.client(i).reads;
            return reads;
        };
        QString transcript;
        QByteArray relayed;
        int readsBefore = 0;
        for (const char *pass : {"s", "t"}) {
            readsBefore = closedReads();
            for (int i = 1; i <= elements.size(); ++i) {
                QByteArray expected = rig.client(i).inbox;
                if (elements[i - 1] == u's') {
                    expected = pass + QByteArray::number(i);
                    rig.client(i).inbox = expected;
                }
                transcript += QString::fromLatin1(expected) + u"\r\n"_s;
                relayed += expected;
            }
            rig.yield.reset();
            rig.relay.dataArrival();
            // Every element read is one broadcast, and every broadcast one
            // yield for each connected element, whether it sends or not.
            QCOMPARE(rig.yield.count, int(elements.size()) * connected);
        }
        QCOMPARE(rig.transcript.text(), transcript);
        for (int i = 1; i <= elements.size(); ++i)
            QCOMPARE(rig.client(i).received(), live(i) ? relayed : QByteArray());
        // Once read, the gone are not read one by one again: a run costs a
        // read or two however long it is.
        const int secondPassReads = closedReads() - readsBefore;
        QVERIFY2(secondPassReads <= 3, qPrintable(QString::number(secondPassReads)));
    }

    void failedBroadcastGoesOnWithNextElement()
    {
        Rig rig;
        rig.connectClients(3);
        rig.client(1).sendFailure = Failure{10054, QStringLiteral("koptu")};
        rig.client(2).inbox = "x";
        rig.client(3).arrive("y");
        // Element 1's failure ends each broadcast there, yet every element is read.
        QCOMPARE(rig.transcript.text(), u"\r\nx\r\ny\r\n"_s);
        QVERIFY(rig.client(2).sent.isEmpty());
        QVERIFY(rig.transcript.failures.isEmpty());
    }

    void clientAcceptedDuringBroadcastJoinsLater()
    {
        Rig rig;
        rig.connectClients(1);
        rig.yield.at(1, [&] { connectClient(rig.pool()); });
        rig.client(1).arrive("T");
        // The bound of the running arrival was fixed before the client came.
        QCOMPARE(rig.transcript.text(), u"T\r\n"_s);
        QVERIFY(rig.client(2).received().isEmpty());
        rig.client(1).arrive("U");
        QCOMPARE(rig.client(2).received(), QByteArray("U"));
        QCOMPARE(rig.transcript.text(), u"T\r\nU\r\n\r\n"_s);
    }

    void arrivalDuringOwnBroadcastIsHeldBack()
    {
        Rig rig;
        rig.connectClients(2);
        rig.yield.at(1, [&] {
            rig.client(1).arrive("U");
            // Held back: nothing of U has been handled inside the yield.
            QCOMPARE(rig.transcript.text(), u"T\r\n"_s);
        });
        rig.client(1).arrive("T");
        // Element 1 was read before U came, so a second pass relays U.
        QCOMPARE(rig.transcript.text(), u"T\r\n\r\nU\r\n\r\n"_s);
        QCOMPARE(rig.client(1).received(), QByteArray("TU"));
        QCOMPARE(rig.client(2).received(), QByteArray("TU"));
    }

    void continuousTrafficKeepsStackFlat()
    {
        Rig rig;
        rig.connectClients(2);
        constexpr int Texts = 200;

        // Every yield brings the next text, from A and B in turn, as a busy chat
        // would; count how deep yields run inside yields.
        int next = 1;
        int depth = 0;
        int deepest = 0;
        rig.yield.everyTime = [&] {
            ++depth;
            deepest = qMax(deepest, depth);
            if (next < Texts) {
                rig.client(1 + next % 2).arrive(QByteArray::number(next) + ';');
                ++next;
            }
            --depth;
        };
        rig.client(1).arrive("0;");

        QCOMPARE(deepest, 1);
        QCOMPARE(next, Texts);
        // Every text reached both clients and the transcript, each exactly once
        // (texts read together share a line).
        QByteArray inTranscript;
        for (const QString &line : rig.transcript.text().split(u"\r\n"_s))
            inTranscript += line.toLatin1();
        QCOMPARE(rig.client(1).received(), inTranscript);
        QCOMPARE(rig.client(2).received(), inTranscript);
        QList<int> numbers;
        for (const QByteArray &token : inTranscript.split(';'))
            if (!token.isEmpty())
                numbers.append(token.toInt());
        std::sort(numbers.begin(), numbers.end());
        QList<int> all(Texts);
        std::iota(all.begin(), all.end(), 0);
        QCOMPARE(numbers, all);
    }

    // Every arrival asks for the window on top, however many elements it reads.
    void arrivalKeepsTheWindowOnTop()
    {
        Rig rig;
        rig.connectClients(2);
        rig.client(1).arrive("T");
        QCOMPARE(rig.transcript.keptOnTop, 1);
        rig.client(2).arrive("U");
        QCOMPARE(rig.transcript.keptOnTop, 2);
    }

    void operatorSend_data()
    {
        QTest::addColumn<int>("clients");
        QTest::addColumn<int>("failing"); // element whose send fails, 0 for none
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("sent");         // what element 1 receives
        QTest::addColumn<QByteArray>("sentToLast");   // what the last element receives
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QString>("report");

        QTest::newRow("line to every client")
            << 2 << 0 << u"SERVER"_s << u"test"_s << QByteArray("<SERVER> test")
            << QByteArray("<SERVER> test") << u"<SERVER> test\r\n"_s << QString();
        QTest::newRow("empty line does nothing")
            << 2 << 0 << u"SERVER"_s << QString() << QByteArray() << QByteArray() << QString()
            << QString();
        QTest::newRow("blanks are a line") << 1 << 0 << u"SERVER"_s << u"  "_s
                                           << QByteArray("<SERVER>   ") << QByteArray("<SERVER>   ")
                                           << u"<SERVER>   \r\n"_s << QString();
        QTest::newRow("no clients") << 0 << 0 << u"SERVER"_s << u"test"_s << QByteArray()
                                    << QByteArray() << u"<SERVER> test\r\n"_s << QString();
        const QByteArray utf8("<\xc5\x9e\xc3\x9cKR\xc3\x9c> \xc3\xa7\xc4\xb1\xc4\x9f");
        QTest::newRow("Turkish goes out as UTF-8") << 1 << 0 << u"ŞÜKRÜ"_s << u"çığ"_s << utf8 << utf8
                                                   << u"<ŞÜKRÜ> çığ\r\n"_s << QString();
        QTest::newRow("failure on the second of four")
            << 4 << 2 << u"SERVER"_s << u"test"_s << QByteArray("<SERVER> test") << QByteArray()
            << QString() << u"10054: Bağlantı karşı taraftan kesildi"_s;
    }

    void operatorSend()
    {
        QFETCH(int, clients);
        QFETCH(int, failing);
        QFETCH(QString, nick);
        QFETCH(QString, line);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, sentToLast);
        QFETCH(QString, transcript);
        QFETCH(QString, report);

        Rig rig;
        rig.connectClients(clients);
        if (failing)
            rig.client(failing).sendFailure =
                Failure{10054, QStringLiteral("Bağlantı karşı taraftan kesildi")};
        rig.Txtnick.setText(nick);
        rig.Text2.setText(line);
        rig.relay.send(rig.Txtnick, rig.Text2);

        if (clients) {
            QCOMPARE(rig.client(1).received(), sent);
            QCOMPARE(rig.client(clients).received(), sentToLast);
        }
        QCOMPARE(rig.transcript.text(), transcript);
        QCOMPARE(rig.transcript.failures, report.isEmpty() ? QStringList() : QStringList{report});
        QVERIFY(rig.Text2.text().isEmpty());
    }

    void sendReadsBoxesAgainAfterItsYields()
    {
        Rig rig;
        rig.connectClients(1);
        rig.Text2.setText(u"ilk"_s);
        // Yield 1 follows the broadcast's send, during it selam is relayed
        // (yield 2), and yield 3 is the send's own.
        rig.yield.at(1, [&] { rig.client(1).arrive("selam"); });
        rig.yield.at(3, [&] { rig.Text2.setText(u"son"_s); });
        rig.relay.send(rig.Txtnick, rig.Text2);
        QCOMPARE(rig.yield.count, 3);
        // A relayed text comes before the operator's line, which shows the boxes
        // as they are after the yield.
        QCOMPARE(rig.transcript.text(), u"selam\r\n<SERVER> son\r\n"_s);
        QCOMPARE(rig.client(1).received(), QByteArray("<SERVER> ilkselam"));
        QVERIFY(rig.Text2.text().isEmpty());
    }

    void errorEventIsReported()
    {
        Rig rig;
        rig.connectClients(2);
        rig.client(2).fail(Failure{10053, QStringLiteral("Yazılım bağlantıyı kesti")});
        QCOMPARE(rig.transcript.failures, QStringList{u"10053: Yazılım bağlantıyı kesti"_s});
        QVERIFY(rig.transcript.text().isEmpty());
        QVERIFY(rig.client(1).sent.isEmpty());
        QCOMPARE(rig.pool().state(2), EndpointState::Connected);
    }
};

QTEST_MAIN(TestMessageRelay)
#include "tst_messagerelay.moc"
