// How reads from clients are shown in the transcript: whole up to the limit,
// beyond it shortened with a marker giving the full size.
#include "wire/shownread.h"
#include "ui/transcriptview.h"

#include <QTest>

class TestShownRead : public QObject
{
    Q_OBJECT

private slots:
    void shown_data()
    {
        using ShownRead::MaxShownChars;
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");

        const QByteArray full(MaxShownChars, 'a');
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("chat line") << QByteArrayLiteral("merhaba d\xc3\xbcnya")
                                   << QStringLiteral("merhaba dünya");
        QTest::newRow("8-bit text") << QByteArrayLiteral("I\xfe\xfdk") << QStringLiteral("Işık");
        QTest::newRow("exactly the limit") << full << QString::fromLatin1(full);
        QTest::newRow("one past the limit")
            << full + 'b' << QString::fromLatin1(full) + QStringLiteral(" … (toplam 4097 bayt)");
        // Counted in characters, not bytes: two-byte letters are not cut early.
        const QByteArray letters = QByteArrayLiteral("\xc4\xb1").repeated(MaxShownChars);
        QTest::newRow("two-byte letters at the limit") << letters << QStringLiteral("ı").repeated(MaxShownChars);
        // A four-byte character across the cut stays whole or goes whole.
        const QByteArray straddling = QByteArray(MaxShownChars - 1, 'a') + "\xf0\x9f\x98\x80";
        QTest::newRow("surrogate pair across the cut")
            << straddling
            << QString::fromLatin1(QByteArray(MaxShownChars - 1, 'a')) + QStringLiteral(" … (toplam 4099 bayt)");
    }
    void shown()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(ShownRead::shown(bytes), expected);
    }

    // The transcript box shows a stored read whole, marker and all: its own
    // cut, which bounds the layout of any line, lies past the longest read.
    void markerOnScreen_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("marker");
        QTest::newRow("one past") << QByteArray(ShownRead::MaxShownChars + 1, 'a')
                                  << QStringLiteral(" … (toplam 4097 bayt)");
        QTest::newRow("a full read of 64 KiB")
                << QByteArray(64 * 1024, 'b') << QStringLiteral(" … (toplam 65536 bayt)");
        QTest::newRow("two-byte letters") << QByteArrayLiteral("\xc5\x9f").repeated(5000)
                                          << QStringLiteral(" … (toplam 10000 bayt)");
    }
    void markerOnScreen()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, marker);
        const QString stored = ShownRead::shown(bytes);
        QVERIFY(stored.endsWith(marker));
        QCOMPARE(TranscriptView::shownLine(stored), stored);
    }
};

QTEST_MAIN(TestShownRead)
#include "tst_shownread.moc"
