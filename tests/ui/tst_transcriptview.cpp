// The transcript box on its own: text in and out with CR LF line ends,
// editing at the caret, selection and the clipboard, clearing, a million
// lines, painting of odd lines, and a disabled box.
#include "ui/transcriptview.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

// Counts the paints a widget gets.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class TestTranscriptView : public QObject
{
    Q_OBJECT

    std::unique_ptr<TranscriptView> box;

    void showBox()
    {
        box->resize(400, 200);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    }

    // Where a click lands on a text position, in viewport coordinates.
    QPoint pointOf(qsizetype position)
    {
        const qsizetype caret = box->caretPosition();
        box->setCaretPosition(position);
        const QPoint point = box->caretRect().center();
        box->setCaretPosition(caret);
        return point;
    }

private slots:
    void init() { box = std::make_unique<TranscriptView>(); }
    void cleanup() { box.reset(); }

    void appendedLinesReadBackWithCrLf_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lineCount");
        QTest::newRow("none") << QStringList() << QString() << 1;
        QTest::newRow("two") << QStringList({QStringLiteral("Ayşe: selam"),
                                             QStringLiteral("Çağrı")})
                             << QStringLiteral("Ayşe: selam\r\nÇağrı\r\n") << 3;
        QTest::newRow("empty reads") << QStringList({QStringLiteral("T"), {}, {}})
                                     << QStringLiteral("T\r\n\r\n\r\n") << 4;
        QTest::newRow("CR LF inside breaks the line")
                << QStringList({QStringLiteral("a\r\nb")}) << QStringLiteral("a\r\nb\r\n") << 3;
        // Only CR LF ends a line; the rest stays in the line as sent.
        QTest::newRow("lone CR, LF, NUL, tab")
                << QStringList({QStringLiteral("a\rb\nc") + QChar(u'\0') + QStringLiteral("\td")})
                << QStringLiteral("a\rb\nc") + QChar(u'\0') + QStringLiteral("\td\r\n") << 2;
        QTest::newRow("CR LF split over two appends")
                << QStringList({QStringLiteral("a\r"), QStringLiteral("\nb")})
                << QStringLiteral("a\r\r\n\nb\r\n") << 3;
    }

    void appendedLinesReadBackWithCrLf()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, text);
        QFETCH(int, lineCount);
        QSignalSpy changed(box.get(), &TranscriptView::textChanged);
        for (const QString &line : lines)
            box->appendLine(line);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->lineCount(), lineCount);
        QCOMPARE(changed.size(), lines.size());
        box->selectAll();
        QCOMPARE(box->selectedText(), text);
    }

    void editingAtTheCaret_data()
    {
        QTest::addColumn<int>("caret");
        QTest::addColumn<QKeyCombination>("key"); // Key_unknown: type "x" instead
        QTest::addColumn<QString>("text");        // from "abc\r\ndef\r\n"
        QTest::addColumn<int>("caretAfter");
        const QKeyCombination typeX(Qt::Key_unknown);
        QTest::newRow("type in the middle") << 1 << typeX << QStringLiteral("axbc\r\ndef\r\n") << 2;
        QTest::newRow("type at the end") << 8 << typeX << QStringLiteral("abc\r\ndef\r\nx") << 9;
        QTest::newRow("Enter") << 1 << QKeyCombination(Qt::Key_Return)
                               << QStringLiteral("a\r\nbc\r\ndef\r\n") << 2;
        QTest::newRow("Backspace joins lines")
                << 4 << QKeyCombination(Qt::Key_Backspace) << QStringLiteral("abcdef\r\n") << 3;
        QTest::newRow("Backspace at the start")
                << 0 << QKeyCombination(Qt::Key_Backspace) << QStringLiteral("abc\r\ndef\r\n") << 0;
        QTest::newRow("Delete joins lines")
                << 3 << QKeyCombination(Qt::Key_Delete) << QStringLiteral("abcdef\r\n") << 3;
        QTest::newRow("Delete at the end")
                << 8 << QKeyCombination(Qt::Key_Delete) << QStringLiteral("abc\r\ndef\r\n") << 8;
        QTest::newRow("no undo") << 1 << (Qt::ControlModifier | Qt::Key_Z)
                                 << QStringLiteral("abc\r\ndef\r\n") << 1;
    }

    void editingAtTheCaret()
    {
        QFETCH(int, caret);
        QFETCH(QKeyCombination, key);
        QFETCH(QString, text);
        QFETCH(int, caretAfter);
        showBox();
        box->appendLine(QStringLiteral("abc"));
        box->appendLine(QStringLiteral("def"));
        box->setCaretPosition(caret);
        QSignalSpy changed(box.get(), &TranscriptView::textChanged);
        if (key.key() == Qt::Key_unknown)
            QTest::keyClicks(box.get(), QStringLiteral("x"));
        else
            QTest::keyClick(box.get(), key.key(), key.keyboardModifiers());
        QCOMPARE(box->text(), text);
        QCOMPARE(box->caretPosition(), caretAfter);
        QCOMPARE(changed.size(), text == QStringLiteral("abc\r\ndef\r\n") ? 0 : 1);
    }

    void surrogatePairsMoveAndDeleteWhole()
    {
        showBox();
        const QString smile = QStringLiteral("😀");
        box->appendLine(QStringLiteral("a") + smile + QStringLiteral("b"));
        box->setCaretPosition(1);
        QTest::keyClick(box.get(), Qt::Key_Right);
        QCOMPARE(box->caretPosition(), 3);
        QTest::keyClick(box.get(), Qt::Key_Backspace);
        QCOMPARE(box->text(), QStringLiteral("ab\r\n"));
    }

    void selectCopyAndPaste()
    {
        showBox();
        box->appendLine(QStringLiteral("Işık"));
        box->appendLine(QStringLiteral("Ömer"));
        QClipboard *clipboard = QGuiApplication::clipboard();

        // Mouse: from inside the first line to inside the second.
        const QPoint from = pointOf(1);
        const QPoint to = pointOf(7);
        QTest::mousePress(box->viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(box->viewport(), to);
        QTest::mouseRelease(box->viewport(), Qt::LeftButton, {}, to);
        QCOMPARE(box->selectedText(), QStringLiteral("şık\r\nÖm"));
        QTest::keyClick(box.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("şık\nÖm"));

        // Keys: Shift+arrows extend from the caret; a click drops the selection.
        box->setCaretPosition(5);
        QTest::keyClick(box.get(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(box.get(), Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(box->selectedText(), QStringLiteral("Ömer"));
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, from);
        QVERIFY(!box->hasSelection());
        QCOMPARE(box->caretPosition(), 1);

        // Paste replaces the selection; pasted line ends of any kind break lines.
        QTest::keyClick(box.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(box->selectedText(), box->text());
        clipboard->setText(QStringLiteral("1\r\n2\n3\r4"));
        QTest::keyClick(box.get(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box->text(), QStringLiteral("1\r\n2\r\n3\r\n4"));
        QCOMPARE(box->caretPosition(), box->textLength());
        QCOMPARE(box->lineCount(), 4);
    }

    void clearEmptiesAndSignalsOnce()
    {
        box->appendLine(QStringLiteral("bir"));
        box->setSelection(0, 2);
        QSignalSpy changed(box.get(), &TranscriptView::textChanged);
        box->clear();
        QCOMPARE(box->text(), QString());
        QCOMPARE(box->lineCount(), 1);
        QCOMPARE(box->caretPosition(), 0);
        QVERIFY(!box->hasSelection());
        QCOMPARE(changed.size(), 1);
        box->clear(); // nothing left to change
        QCOMPARE(changed.size(), 1);
    }

    void holdsAMillionLines()
    {
        constexpr int Lines = 1'000'000;
        showBox();
        for (int i = 0; i < Lines; ++i)
            box->appendLine(QString());
        QCOMPARE(box->lineCount(), Lines + 1);
        QCOMPARE(box->textLength(), Lines);
        // An empty line costs its offset plus the spare room of growth.
        QVERIFY2(box->bytesHeld() <= 64LL * Lines, QByteArray::number(box->bytesHeld()));

        box->appendLine(QStringLiteral("son satır"));
        box->setCaretPosition(box->textLength());
        QVERIFY(box->firstVisibleLine() > Lines - 100);
        QVERIFY(box->viewport()->rect().contains(box->caretRect()));
        QScrollBar *bar = box->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > Lines - 100);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(box->text().endsWith(QStringLiteral("\r\n\r\nson satır\r\n")));
        box->setCaretPosition(0);
        QCOMPARE(box->firstVisibleLine(), 0);
        // The operator scrolls away: the caret is above the view.
        QTRY_COMPARE(bar->value(), 0);
        bar->setValue(bar->maximum());
        QVERIFY(box->caretRect().bottom() < 0);
        QVERIFY(!box->grab().isNull());
        box->clear();
        QVERIFY(box->bytesHeld() < 64);
    }

    void oddLinesKeepToOneRow_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("plain"); // characters before the first odd one
        QTest::newRow("controls")
                << QStringLiteral("a\rb\nc") + QChar(u'\0') + QStringLiteral("\t\x7f\x1b[2J") << 1;
        QTest::newRow("separators") << QStringLiteral("a\u2028b\u2029c\u0085d") << 1;
        QTest::newRow("bidi override") << QStringLiteral("\u202Eters\u202C yazı") << 0;
        QTest::newRow("lone surrogate")
                << QString(QChar(char16_t(0xd800))) + QStringLiteral("x") << 0;
        QTest::newRow("very long") << QString(300'000, u'ş') << 0;
    }

    void oddLinesKeepToOneRow()
    {
        QFETCH(QString, line);
        QFETCH(int, plain);
        showBox();
        box->clearFocus(); // no caret drawn on the second row
        // The selection paints the whole width of what is laid out.
        auto paint = [this](const QString &text) {
            box->clear();
            box->appendLine(text);
            box->setSelection(0, box->textLength());
            return box->viewport()->grab().toImage();
        };
        const QImage plainPart = paint(line.left(plain));
        const QImage image = paint(line);
        const QRgb base = image.pixel(image.width() - 1, image.height() - 1);
        const int rowEnd = box->caretRect().top(); // the caret sits on row two
        QVERIFY(rowEnd > 0);
        // The rightmost ink of row one, or -1; any ink below it.
        auto inkRight = [&](const QImage &shot, bool &inkBelow) {
            int right = -1;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if (shot.pixel(x, y) != base) {
                        inkBelow = inkBelow || y >= rowEnd;
                        right = y < rowEnd ? qMax(right, x) : right;
                    }
            return right;
        };
        bool inkBelow = false;
        // Everything after the odd character is drawn, and on row one only.
        QVERIFY(inkRight(image, inkBelow) > inkRight(plainPart, inkBelow));
        QVERIFY(!inkBelow);
        // The line once painted widens the horizontal scroll range.
        if (line.size() > 1000)
            QTRY_VERIFY(box->horizontalScrollBar()->maximum() > 0);
        QCOMPARE(box->text(), line + QStringLiteral("\r\n"));
    }

    void readersSeeAnEditableText()
    {
        box->setAccessibleName(QStringLiteral("Yazışma"));
        box->appendLine(QStringLiteral("Ali sohbete katıldı."));
        box->appendLine(QStringLiteral("<SERVER> selam"));
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(box.get());
        QVERIFY(reader);
        QCOMPARE(reader->role(), QAccessible::EditableText);
        QCOMPARE(reader->text(QAccessible::Name), QStringLiteral("Yazışma"));
        QVERIFY(reader->state().editable);
        QAccessibleTextInterface *text = reader->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), int(box->textLength()));
        QCOMPARE(text->text(0, text->characterCount()),
                 QStringLiteral("Ali sohbete katıldı.\n<SERVER> selam\n"));
        int start = -1;
        int end = -1;
        QCOMPARE(text->textAtOffset(25, QAccessible::LineBoundary, &start, &end),
                 QStringLiteral("<SERVER> selam"));
        QCOMPARE(start, 21);
        QCOMPARE(end, 35);
        QCOMPARE(text->textBeforeOffset(25, QAccessible::LineBoundary, &start, &end),
                 QStringLiteral("Ali sohbete katıldı."));
        QCOMPARE(text->textAtOffset(5, QAccessible::WordBoundary, &start, &end),
                 QStringLiteral("sohbete"));
        text->setSelection(0, 4, 11);
        QCOMPARE(box->selectedText(), QStringLiteral("sohbete"));
        QCOMPARE(text->cursorPosition(), 11);
    }

    void disabledTakesNoInput()
    {
        showBox();
        for (int i = 0; i < 100; ++i)
            box->appendLine(QStringLiteral("satır %1").arg(i));
        box->setCaretPosition(box->textLength());
        QTRY_VERIFY(box->verticalScrollBar()->value() > 0);
        const int value = box->verticalScrollBar()->value();
        box->setEnabled(false);
        QTest::keyClicks(box.get(), QStringLiteral("x"));
        QTest::keyClick(box.get(), Qt::Key_Home, Qt::ControlModifier);
        QWheelEvent wheel(QPointF(50, 50), box->mapToGlobal(QPointF(50, 50)), {}, {0, 120},
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &wheel);
        QCOMPARE(box->verticalScrollBar()->value(), value);
        QVERIFY(!box->text().contains(u'x'));

        box->setEnabled(true);
        QApplication::sendEvent(box->viewport(), &wheel);
        QVERIFY(box->verticalScrollBar()->value() < value);
        QVERIFY(box->firstVisibleLine() < value);
    }
    void scrollBarsTrailStreamingText()
    {
        showBox();
        QScrollBar *bar = box->verticalScrollBar();
        QTRY_COMPARE(bar->maximum(), 0);
        QSignalSpy ranges(bar, &QScrollBar::rangeChanged);
        PaintCounter counter;
        box->viewport()->installEventFilter(&counter);
        QElapsedTimer clock;
        clock.start();
        int lines = 0;
        // Bounded: lines for 0.6 s, the event loop running after each.
        while (clock.elapsed() < 600) {
            box->appendLine(QStringLiteral("satır %1").arg(lines++));
            box->setCaretPosition(box->textLength());
            QCoreApplication::processEvents();
        }
        const qint64 spent = clock.elapsed();
        // The text is redrawn at its own pace, the scroll bars a few times a
        // second: they cost more to draw than the text.
        QVERIFY2(counter.paints >= 5, QByteArray::number(counter.paints));
        QVERIFY2(ranges.count() <= 2 + spent / 250,
                 QByteArray(QByteArray::number(ranges.count()) + " range changes in "
                            + QByteArray::number(spent) + " ms")
                     .constData());
        QVERIFY(ranges.count() < counter.paints);
        // Once the text stops they catch up with it.
        QTRY_VERIFY(bar->maximum() > lines - 50);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(box->firstVisibleLine(), bar->value());
    }
};

QTEST_MAIN(TestTranscriptView)
#include "tst_transcriptview.moc"
