// The gateway against the real server on loopback, on the channels' fixed
// ports, with QWebSocket pages and raw clients on the channels: what a page
// is sent for what arrives, what a page's line becomes on the wire, the
// limits on what a browser may send or leave waiting, and the leave of a
// browser that went away.
#include "gateway.h"
#include "net/channeltext.h"
#include "page.h"
#include "reliability/harness.h"

#include <QSignalSpy>
#include <QTest>

using namespace Reliability;

namespace {

Gateway::Options withLimits(Bridge::Limits limits)
{
    Gateway::Options options;
    options.bridge = limits;
    return options;
}

struct Running
{
    explicit Running(Bridge::Limits limits = {}) : gateway(withLimits(limits))
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
    Gateway gateway;
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
        Client raw(Message);
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
};

QTEST_MAIN(TestGatewayE2e)
#include "tst_gateway_e2e.moc"
