// The gateway against the real server on loopback, on the channels' fixed
// ports, with QWebSocket pages and raw clients on the channels: what a page
// is sent for what arrives, what a page's line becomes on the wire, the
// limits on what a browser may send or leave waiting, and the leave of a
// browser that went away.
#include "gateway.h"
#include "wire/channeltext.h"
#include "wire/failuretext.h"
#include "page.h"
#include "reliability/harness.h"

#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace Reliability;

namespace {

Gateway::Options withLimits(Bridge::Limits limits, const QString &server)
{
    Gateway::Options options;
    options.bridge = limits;
    options.server = server;
    return options;
}

struct Running
{
    explicit Running(Bridge::Limits limits = {}, const QString &serverHost = QStringLiteral("127.0.0.1"))
        : held(std::in_place, withLimits(limits, serverHost)), gateway(*held)
    {
        gateway.listen(QHostAddress::LocalHost, 0);
    }
    Page *joined(const QString &nickname, const QString &id = QStringLiteral("sayfa-1"))
    {
        auto *page = new Page(gateway.port());
        pages.emplace_back(page);
        if (QTest::qWaitFor([page] { return page->open(); })) {
            page->join(nickname, id);
            std::ignore = QTest::qWaitFor([page] { return page->lastState() == QLatin1String("joined"); });
        }
        return page;
    }

    RunningServer server;
    // Reset to end the gateway as its program does once it has stopped.
    std::optional<Gateway> held;
    Gateway &gateway;
    std::vector<std::unique_ptr<Page>> pages;
};

} // namespace

class TestGatewayE2e : public QObject
{
    Q_OBJECT

private slots:
    void whatThePageIsSent_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second"); // sent once the first is relayed
        QTest::addColumn<QStringList>("chat");
        QTest::newRow("a chat line") << QByteArray("<Ali> merhaba") << QByteArray()
                                     << QStringList{QStringLiteral("<Ali> merhaba")};
        // "ğ" is C4 9F: cut inside it, and put back together.
        QTest::newRow("a letter split across reads") << QByteArray("a\xc4") << QByteArray("\x9fz")
                                                     << QStringList{QStringLiteral("a"), QStringLiteral("ğz")};
        QTest::newRow("Windows-1254") << QByteArray("\xfe\xf0\xfd") << QByteArray()
                                      << QStringList{QStringLiteral("şğı")};
        QTest::newRow("control and bidi characters") << QByteArray("x\x07\r\n\xe2\x80\xae") << QByteArray()
                                                     << QStringList{QStringLiteral("x␇␍␊⸮")};
    }

    void whatThePageIsSent()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QStringList, chat);
        Running running;
        QVERIFY(running.server.running());
        Page *page = running.joined(QStringLiteral("Ayşe"));
        QCOMPARE(page->lastState(), QStringLiteral("joined"));
        // A busy machine may take longer than a network between the halves.
        for (ChannelText *text : running.gateway.findChildren<ChannelText *>())
            text->setHoldMs(60 * 1000);
        ChannelClient raw(Message);
        raw.open();
        QTRY_VERIFY(raw.connected());
        QTRY_COMPARE(int(running.server.window.Winsock().highestIndex()), 2);
        raw.send(first);
        if (!second.isEmpty()) {
            QTRY_COMPARE(raw.got.size(), first.size());
            raw.send(second);
        }
        QTRY_COMPARE(page->said(QStringLiteral("chat")), chat);
        running.server.stop();
    }

    void aLineGoesOutAsTheDesktopClientSendsItAndTheLeaveFollows()
    {
        Running running;
        ChannelClient message(Message), leave(Leave);
        message.open();
        leave.open();
        QTRY_VERIFY(message.connected() && leave.connected());
        Page *page = running.joined(QStringLiteral("Ayşe"));
        QCOMPARE(page->lastState(), QStringLiteral("joined"));
        page->say(QStringLiteral("Merhaba dünya <b>"));
        QTRY_COMPARE(message.got, QStringLiteral("<Ayşe> Merhaba dünya <b>").toUtf8());
        page->send({{u"t"_s, u"leave"_s}});
        QTRY_COMPARE(leave.got, QStringLiteral("Ayşe").toUtf8());
        QTRY_COMPARE(page->socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(page->socket.closeCode(), QWebSocketProtocol::CloseCodeNormal);
        QCOMPARE(page->lastState(), QStringLiteral("ended"));
        QCOMPARE(page->got.last().value(u"retry"), QJsonValue(false));
        QTRY_COMPARE(running.gateway.sessions(), 0);
        running.server.stop();
    }

    // One session reads who is present for all; when it leaves, another reads
    // on, and every page still hears each arrival once.
    void whoIsPresentOutlivesItsReader()
    {
        Running running;
        Page *first = running.joined(QStringLiteral("Ayşe"), QStringLiteral("a"));
        Page *second = running.joined(QStringLiteral("Mehmet"), QStringLiteral("b"));
        QCOMPARE(second->lastState(), QStringLiteral("joined"));
        first->send({{u"t"_s, u"leave"_s}});
        QTRY_COMPARE(running.gateway.sessions(), 1);
        Page *third = running.joined(QStringLiteral("Zeynep"), QStringLiteral("c"));
        QCOMPARE(third->lastState(), QStringLiteral("joined"));
        const QJsonArray present{u"SERVER"_s, u"Mehmet"_s, u"Zeynep"_s};
        const auto lastPeople = [](const Page *page) {
            QJsonArray names;
            for (const QJsonObject &message : page->got) {
                if (message.value(u"t") == u"people"_s)
                    names = message.value(u"names").toArray();
            }
            return names;
        };
        for (const Page *page : {second, third}) {
            QTRY_COMPARE(lastPeople(page), present);
            QCOMPARE(page->said(QStringLiteral("joined")).count(QStringLiteral("Zeynep sohbete katıldı.")), 1);
        }
        QCOMPARE(second->said(QStringLiteral("left"), QStringLiteral("names")).size(), 1);
        running.server.stop();
    }

    void aBrowserThatWentAwayLeaves_data()
    {
        QTest::addColumn<bool>("abrupt");
        QTest::newRow("closed without a word") << true;
        QTest::newRow("silent") << false;
    }

    void aBrowserThatWentAwayLeaves()
    {
        QFETCH(bool, abrupt);
        Running running(Bridge::Limits{.silenceMs = 500});
        ChannelClient leave(Leave);
        leave.open();
        QTRY_VERIFY(leave.connected());
        Page *page = running.joined(QStringLiteral("Ayşe"));
        QCOMPARE(page->lastState(), QStringLiteral("joined"));
        if (abrupt)
            page->socket.abort();
        QTRY_COMPARE(leave.got, QStringLiteral("Ayşe").toUtf8());
        QTRY_COMPARE(page->socket.state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(running.gateway.sessions(), 0);
        running.server.stop();
    }

    void aReconnectingPageTakesItsSessionOver_data()
    {
        QTest::addColumn<bool>("dropped");
        QTest::newRow("after its WebSocket dropped") << true;
        QTest::newRow("while the old WebSocket still looks open") << false;
    }

    void aReconnectingPageTakesItsSessionOver()
    {
        QFETCH(bool, dropped);
        Running running;
        ChannelClient message(Message), join(Join), leave(Leave);
        for (ChannelClient *client : {&message, &join, &leave})
            client->open();
        QTRY_VERIFY(message.connected() && join.connected() && leave.connected());
        Page *first = running.joined(QStringLiteral("Ayşe"), QStringLiteral("kimlik"));
        QTRY_COMPARE(join.got, QStringLiteral("Ayşe sohbete katıldı.").toUtf8());
        if (dropped)
            first->socket.abort();
        Page *again = running.joined(QStringLiteral("Ayşe"), QStringLiteral("kimlik"));
        QCOMPARE(again->lastState(), QStringLiteral("joined"));
        QTRY_VERIFY(!again->said(QStringLiteral("people"), QStringLiteral("sure")).isEmpty());
        again->say(QStringLiteral("yine ben"));
        QTRY_COMPARE(message.got, QStringLiteral("<Ayşe> yine ben").toUtf8());
        QTRY_COMPARE(first->socket.state(), QAbstractSocket::UnconnectedState);
        // No second arrival, no leave: the same person all along.
        QCOMPARE(join.got, QStringLiteral("Ayşe sohbete katıldı.").toUtf8());
        QCOMPARE(leave.got, QByteArray());
        QCOMPARE(running.gateway.sessions(), 1);
        running.server.stop();
    }

    // The session's own connections say why it could not go on, in the words
    // every client uses.
    void whyThePageIsToldItEnded_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("joinFirst");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no server") << u"127.0.0.1"_s << false
                                   << FailureText::connectFailed(QAbstractSocket::ConnectionRefusedError,
                                                                 u"127.0.0.1"_s, {});
        QTest::newRow("no server, by name") << u"localhost"_s << false
                                            << FailureText::connectFailed(QAbstractSocket::ConnectionRefusedError,
                                                                          u"localhost"_s, {});
        QTest::newRow("a name nobody has") << u"sunucu.invalid"_s << true
                                           << FailureText::connectFailed(QAbstractSocket::HostNotFoundError,
                                                                         u"sunucu.invalid"_s, {});
        QTest::newRow("the server stopped") << u"127.0.0.1"_s << true << FailureText::serverClosed(true);
    }

    void whyThePageIsToldItEnded()
    {
        QFETCH(QString, server);
        QFETCH(bool, joinFirst);
        QFETCH(QString, reason);
        Running running({}, server);
        if (!joinFirst)
            running.server.stop();
        Page *page = running.joined(QStringLiteral("Ayşe"));
        if (joinFirst && reason == FailureText::serverClosed(true)) {
            QCOMPARE(page->lastState(), QStringLiteral("joined"));
            running.server.stop();
        }
        QTRY_COMPARE(page->lastState(), QStringLiteral("ended"));
        QCOMPARE(page->said(QStringLiteral("state"), QStringLiteral("reason")).last(), reason);
        QCOMPARE(page->got.last().value(u"retry"), QJsonValue(true));
    }

    // Stopping the gateway takes everyone out of the chat, and tells every
    // page to come back rather than that its user left.
    void theGatewayStops_data()
    {
        QTest::addColumn<bool>("serverUp");
        QTest::newRow("in the chat") << true;
        QTest::newRow("waiting for a server that stopped") << false;
    }
    void theGatewayStops()
    {
        QFETCH(bool, serverUp);
        Running running;
        ChannelClient leave(Leave);
        leave.open();
        QTRY_VERIFY(leave.connected());
        Page *page = running.joined(QStringLiteral("Ayşe"));
        QCOMPARE(page->lastState(), QStringLiteral("joined"));
        if (!serverUp) {
            running.server.stop();
            QTRY_COMPARE(page->lastState(), QStringLiteral("ended"));
        }
        QSignalSpy stopped(&running.gateway, &Gateway::stopped);
        running.gateway.stop();
        QTRY_COMPARE(stopped.count(), 1);
        // What the gateway owed was written before it said it stopped.
        running.held.reset();
        QTRY_COMPARE(page->socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(page->socket.closeCode(), QWebSocketProtocol::CloseCodeGoingAway);
        if (serverUp)
            QTRY_COMPARE(leave.got, QStringLiteral("Ayşe").toUtf8());
        for (const QJsonObject &message : page->got)
            QVERIFY(message.value(u"retry") != QJsonValue(false));
    }

    void whatABrowserMayNotSend_data()
    {
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("binary"); // sent after the messages
        QTest::addColumn<int>("closeCode");
        const QString join = uR"({"t":"join","id":"k","nick":"%1"})"_s;
        QTest::newRow("over 8 KiB") << QStringList{join.arg(u"Veli"), uR"({"t":"say","text":"%1"})"_s.arg(QString(8200, u'x'))}
                                    << QByteArray() << int(QWebSocketProtocol::CloseCodeTooMuchData);
        QTest::newRow("a line before the join") << QStringList{uR"({"t":"say","text":"a"})"_s} << QByteArray()
                                                << int(QWebSocketProtocol::CloseCodePolicyViolated);
        QTest::newRow("an empty nickname") << QStringList{join.arg(u"  ")} << QByteArray()
                                           << int(QWebSocketProtocol::CloseCodePolicyViolated);
        QTest::newRow("an over-long nickname") << QStringList{join.arg(QString(Bridge::MaxNicknameChars + 1, u'ş'))}
                                               << QByteArray() << int(QWebSocketProtocol::CloseCodePolicyViolated);
        QTest::newRow("binary data") << QStringList{join.arg(u"Veli")} << QByteArray("\x01\x02")
                                     << int(QWebSocketProtocol::CloseCodeDatatypeNotSupported);
    }

    void whatABrowserMayNotSend()
    {
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, binary);
        QFETCH(int, closeCode);
        Running running;
        Page *bystander = running.joined(QStringLiteral("Ayşe"));
        QCOMPARE(bystander->lastState(), QStringLiteral("joined"));
        Page page(running.gateway.port());
        QTRY_VERIFY(page.open());
        for (const QString &message : messages)
            page.socket.sendTextMessage(message);
        if (!binary.isEmpty())
            page.socket.sendBinaryMessage(binary);
        QTRY_COMPARE(page.socket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(int(page.socket.closeCode()), closeCode);
        // The bystander is still served (the roster may tell it of the other
        // page too, before or after the answer).
        bystander->send({{u"t"_s, u"ping"_s}});
        QTRY_COMPARE(bystander->said(QStringLiteral("pong")).size(), 1);
        QCOMPARE(bystander->lastState(), QStringLiteral("joined"));
        running.server.stop();
    }

    void aBrowserBehind_data()
    {
        QTest::addColumn<bool>("catchesUp");
        QTest::newRow("reads nothing: closed, and its user leaves") << false;
        QTest::newRow("reads again: caught up, and stays") << true;
    }

    void aBrowserBehind()
    {
        QFETCH(bool, catchesUp);
        const Bridge::Limits limits{.stuckMs = 1000};
        Running running(limits);
        ChannelClient message(Message), leave(Leave);
        message.onBytes = [](const QByteArray &) {};
        message.open();
        leave.open();
        QTRY_VERIFY(message.connected() && leave.connected());
        DeafPage deaf(running.gateway.port());
        QTRY_VERIFY(deaf.upgraded());
        deaf.send(R"({"t":"join","id":"d","nick":"Sağır"})");
        QTRY_COMPARE(running.gateway.sessions(), 1);
        QTRY_COMPARE(int(running.server.window.Winsock().highestIndex()), 2);
        // Far more than any buffer between the server and the browser holds,
        // in characters each shown as three bytes.
        const QByteArray flood(16 * 1024 * 1024, '\x01');
        message.send(flood);
        qint64 mostWaiting = 0;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     for (const BrowserLink *socket : running.gateway.findChildren<BrowserLink *>())
                                         mostWaiting = std::max(mostWaiting, socket->bytesToWrite());
                                     if (catchesUp && mostWaiting > limits.behindBytes)
                                         deaf.startReading();
                                     return catchesUp ? message.received == flood.size()
                                                      : leave.got == QStringLiteral("Sağır").toUtf8();
                                 }()),
                                 30000);
        QVERIFY(mostWaiting > limits.behindBytes);
        QVERIFY2(mostWaiting < limits.behindBytes + 4 * ChatSession::HeldReadBytes, qPrintable(QString::number(mostWaiting)));
        if (catchesUp) {
            QCOMPARE(running.gateway.sessions(), 1);
            QCOMPARE(leave.got, QByteArray());
            QVERIFY(!deaf.sawEnded);
        } else {
            QTRY_COMPARE(running.gateway.sessions(), 0);
        }
        running.server.stop();
    }
};

QTEST_MAIN(TestGatewayE2e)
#include "tst_gateway_e2e.moc"
