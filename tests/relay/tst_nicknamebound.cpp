// What one roster or join read may add: cut at the bound, never inside a
// UTF-8 character, and untouched below it.
#include "relay/nicknamebound.h"

#include <QTest>

using NicknameBound::MaxBytes;

class TestNicknameBound : public QObject
{
    Q_OBJECT

private slots:
    void cut_data()
    {
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QByteArray>("kept");
        const QByteArray a(MaxBytes, 'a');
        // "ş" is two bytes in UTF-8, "€" three: placed so that the bound
        // falls inside them.
        const QByteArray sh = QStringLiteral("ş").toUtf8();
        const QByteArray euro = QStringLiteral("€").toUtf8();
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("real nickname") << QStringLiteral("Ayşegül").toUtf8()
                                       << QStringLiteral("Ayşegül").toUtf8();
        QTest::newRow("exactly the bound") << a << a;
        QTest::newRow("one byte over") << a + 'b' << a;
        QTest::newRow("1 MiB") << QByteArray(1024 * 1024, 'x') << QByteArray(MaxBytes, 'x');
        QTest::newRow("two-byte letter across the bound")
            << a.first(MaxBytes - 1) + sh + "zz" << a.first(MaxBytes - 1);
        QTest::newRow("two-byte letter just inside")
            << a.first(MaxBytes - 2) + sh + "zz" << a.first(MaxBytes - 2) + sh;
        QTest::newRow("three-byte sign across the bound")
            << a.first(MaxBytes - 2) + euro + "zz" << a.first(MaxBytes - 2);
        // Windows-1254 bytes are no UTF-8: a run of would-be continuation
        // bytes is cut where the bound falls.
        QTest::newRow("not UTF-8") << QByteArray(MaxBytes + 10, '\x9f') << QByteArray(MaxBytes, '\x9f');
    }

    void cut()
    {
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, kept);
        QCOMPARE(NicknameBound::cut(read), kept);
    }
};

QTEST_APPLESS_MAIN(TestNicknameBound)
#include "tst_nicknamebound.moc"
