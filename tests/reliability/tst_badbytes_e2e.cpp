// Bytes that are not tidy text, from clients on all four channels, against
// the whole operator window on the fixed ports: they reach the other clients
// byte for byte, and the transcript and the roster show them without a crash
// or a long freeze, a 16 MiB send included (shown shortened, read by read),
// and control characters as symbols a font draws.
#include "net/tcpendpoint.h"
#include "wire/visibletext.h"
#include "wire/wiretext.h"
#include "wire/shownread.h"
#include "reliability/harness.h"
#include "roster/rostermodel.h"

#include <QElapsedTimer>
#include <QGlyphRun>
#include <QTextLayout>
#include <QListView>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace Reliability;

namespace {

constexpr qint64 BigSend = 16 * 1024 * 1024;
constexpr int TickMs = 10;
// How long the window may go without handling its events.
constexpr qint64 MaxStallMs = Sanitized ? 3000 : 750;
constexpr int BigDeadlineMs = 90 * 1000;

const QByteArray Joined = QByteArrayLiteral(" sohbete katıldı.");

} // namespace

class TestBadBytesE2e : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<RunningServer> m_server;

    // Two new clients on all four channels, every connection accepted.
    void connectPair(std::unique_ptr<FourChannelClient> &from, std::unique_ptr<FourChannelClient> &to)
    {
        const int accepted = m_server->window.Winsock().highestIndex();
        from = std::make_unique<FourChannelClient>();
        to = std::make_unique<FourChannelClient>();
        from->connectAll();
        to->connectAll();
        QTRY_VERIFY(from->connected() && to->connected());
        QTRY_VERIFY(m_server->hasClients(accepted + 2));
    }

private slots:
    void initTestCase()
    {
        m_server = std::make_unique<RunningServer>();
        QVERIFY2(m_server->running(), qPrintable(m_server->dialogs.failures.join(u'\n')));
        m_server->window.show();
    }
    void cleanupTestCase()
    {
        m_server->stop();
        QVERIFY(m_server->dialogs.failures.isEmpty());
        m_server.reset();
    }

    void relayedByteForByteAndShown_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("NUL") << QByteArray("a\0b\0", 4);
        QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe\xc3(\xe2\x82", 6);
        QTest::newRow("lone CR") << QByteArrayLiteral("sat\xc4\xb1r\rsonu");
        QTest::newRow("4-byte UTF-8") << QByteArrayLiteral("g\xc3\xbcl \xf0\x9f\x98\x80 \xf0\x9d\x84\x9e");
        QTest::newRow("Windows-1254") << QByteArrayLiteral("I\xfe\xfdk \xd0\xdd\xde\xf0");
        QTest::newRow("control bytes") << QByteArrayLiteral("\x01\x1b[2J\x7f\x08\x0c\n");
    }
    void relayedByteForByteAndShown()
    {
        QFETCH(QByteArray, bytes);
        std::unique_ptr<FourChannelClient> x, y;
        connectPair(x, y);
        Form1 &window = m_server->window;
        const QString shown = WireText::decodeForDisplay(bytes);

        // Roster: the entry keeps the bytes and goes out as it came; its row
        // shows the controls as visible stand-ins.
        (*x)[Roster].send(bytes);
        QTRY_VERIFY(window.core().roster().rowOf(bytes) >= 0);
        const QModelIndex row = window.List1()->model()->index(window.core().roster().rowOf(bytes), 0);
        QCOMPARE(row.data().toString(), VisibleText::shown(shown));
        QTRY_VERIFY((*y)[Roster].got.endsWith(bytes));

        // Join: announced with the bytes in front of the fixed text.
        (*x)[Join].send(bytes);
        QTRY_COMPARE((*y)[Join].got, bytes + Joined);
        QVERIFY(window.Text1()->text().endsWith(QString::fromUtf8(Joined) + QStringLiteral("\r\n")));

        // Message: relayed unchanged to both, the sender included.
        (*x)[Message].send(bytes);
        QTRY_COMPARE((*y)[Message].got, bytes);
        QTRY_COMPARE((*x)[Message].got, bytes);

        // Leave: the bytes go back unchanged.
        (*x)[Leave].send(bytes);
        QTRY_COMPARE((*y)[Leave].got, bytes);

        QVERIFY(m_server->dialogs.failures.isEmpty());
    }

    // NUL, BEL and ESC show as their symbols, drawn from a font that has
    // them: a glyph 0 is the empty box of a character no font could draw.
    void standInsAreDrawn()
    {
        std::unique_ptr<FourChannelClient> x, y;
        connectPair(x, y);
        TranscriptView &transcript = *m_server->window.Text1();
        (*x)[Message].send(QByteArray("\0\a\x1b", 3));
        const QString sent = QString(QChar(u'\0')) + QChar(u'\a') + QChar(u'\x1b');
        QTRY_VERIFY(transcript.text().contains(sent + QStringLiteral("\r\n")));
        const QString shown = TranscriptView::shownLine(sent);
        QCOMPARE(shown, QStringLiteral("␀␇␛"));
        QTextLayout layout(shown, transcript.font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        qsizetype glyphs = 0;
        for (const QGlyphRun &run : layout.glyphRuns()) {
            const QList<quint32> indexes = run.glyphIndexes();
            QVERIFY2(!indexes.contains(0u), qPrintable(run.rawFont().familyName()));
            glyphs += indexes.size();
        }
        QCOMPARE(glyphs, shown.size());
    }

    // 16 MiB in one send: every byte reaches both clients in order, and the
    // window keeps handling its events while the transcript takes it all.
    void sixteenMebibytesInOneSend()
    {
        std::unique_ptr<FourChannelClient> x, y;
        connectPair(x, y);
        StreamCheck atX, atY;
        (*x)[Message].onBytes = [&atX](const QByteArray &bytes) { atX.feed(bytes); };
        (*y)[Message].onBytes = [&atY](const QByteArray &bytes) { atY.feed(bytes); };

        QElapsedTimer sinceTick;
        qint64 longestStall = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, &ticker, [&] {
            longestStall = std::max(longestStall, sinceTick.restart());
        });
        sinceTick.start();
        ticker.start(TickMs);

        QElapsedTimer took;
        took.start();
        (*x)[Message].send(streamBytes(2, 0, BigSend));
        const bool done = QTest::qWaitFor(
            [&] { return atX.from(2) == BigSend && atY.from(2) == BigSend; }, BigDeadlineMs);
        ticker.stop();
        qInfo("16 MiB: relayed in %lld ms, longest stall of the event loop %lld ms; transcript"
              " %lld chars",
              took.elapsed(), longestStall,
              qlonglong(m_server->window.Text1()->textLength()));
        QVERIFY(done);
        QVERIFY(atX.intact());
        QVERIFY(atY.intact());
        // Every read is shown, each at most the shown length and a marker.
        const QStringList lines = m_server->window.Text1()->text().split(QStringLiteral("\r\n"));
        const QRegularExpression shortened(QStringLiteral(" … \\(toplam \\d+ bayt\\)$"));
        QVERIFY(lines.filter(shortened).size() >= BigSend / EndpointLimits::MaxReadBuffer);
        for (const QString &line : lines)
            QVERIFY(line.size() <= ShownRead::MaxShownChars + 32);
        QVERIFY2(longestStall < MaxStallMs, qPrintable(QString::number(longestStall)));
        QVERIFY(m_server->dialogs.failures.isEmpty());
    }
};

QTEST_MAIN(TestBadBytesE2e)
#include "tst_badbytes_e2e.moc"
