// The transcript box on its own: text in and out with CR LF line ends,
// editing at the caret, selection and the clipboard, clearing, a million
// lines, painting of odd lines, wrapping of long ones, and a disabled box.
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

    // A line of words some rows long in the box's width.
    static QString words(int count)
    {
        return QStringLiteral("Çağrı: merhaba dünya, ").repeated(count).trimmed();
    }

    // Rows are this high, and the text starts this far from the edges.
    int rowHeight() const { return box->cursorRect(0).height(); }
    int margin() const { return box->cursorRect(0).left(); }
    // The row a position is drawn on, counted from the top of the view.
    int rowOf(qsizetype position) const
    {
        return (box->cursorRect(position).top() - margin()) / rowHeight();
    }
    bool inView(qsizetype position) const
    {
        return box->viewport()->rect().contains(box->cursorRect(position));
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

    // A line taller than the box: "önce", the tall line, then `empties`
    // empty lines and the empty last line. Returns where the tall line ends.
    qsizetype appendTallLine(int empties)
    {
        box->appendLine(QStringLiteral("önce"));
        box->appendLine(words(120));
        for (int i = 0; i < empties; ++i)
            box->appendLine(QString());
        return box->content().lineStart(1) + box->content().lineLength(1);
    }
    int pageRows() const { return (box->viewport()->height() - 2 * margin()) / rowHeight(); }
    // Rows of the tall line, counted with its first row in view.
    int tallRows()
    {
        box->setCaretPosition(0);
        const qsizetype start = box->content().lineStart(1);
        return rowOf(start + box->content().lineLength(1)) - rowOf(start) + 1;
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

    // Past its bound the box drops its oldest lines, down to half the bound,
    // for one line counting every line dropped since it was last emptied;
    // the caret stays on its character, or goes to the start with its line.
    void oldestLinesMakeWayForANotice_data()
    {
        QTest::addColumn<int>("caretLine");
        QTest::addColumn<int>("trims");
        QTest::addColumn<bool>("clearedBefore");
        QTest::addColumn<bool>("caretStays");
        // Of the first 80 lines, the first trim keeps the last score or so.
        QTest::newRow("caret on a line that stays") << 79 << 1 << false << true;
        QTest::newRow("caret on a line that goes") << 5 << 1 << false << false;
        QTest::newRow("passed again, the notice counts all") << 79 << 3 << false << false;
        QTest::newRow("emptied after a trim, counting starts again") << 79 << 1 << true << true;
    }

    void oldestLinesMakeWayForANotice()
    {
        QFETCH(int, caretLine);
        QFETCH(int, trims);
        QFETCH(bool, clearedBefore);
        QFETCH(bool, caretStays);
        box->setMaxHeldBytes(4096);
        const QString noticeStart = TranscriptView::TrimmedNotice.left(
                TranscriptView::TrimmedNotice.indexOf(u"%1"));
        int appended = 0; // since the box was last emptied
        const auto append = [&] { box->appendLine(QStringLiteral("satır %1").arg(appended++)); };
        // Appends until a new notice stands first, as after each trim.
        const auto passBound = [&] {
            const QString first = box->content().line(0).toString();
            while ((box->content().line(0) == first || !box->content().line(0).startsWith(noticeStart))
                   && appended < 10'000)
                append();
        };
        if (clearedBefore) {
            passBound();
            box->clear();
            appended = 0;
        }
        while (appended < 80)
            append();
        box->setCaretPosition(box->content().lineStart(caretLine) + 2);
        for (int i = 0; i < trims; ++i)
            passBound();

        const qsizetype kept = box->lineCount() - 2; // less the notice and the open last line
        const qsizetype dropped = appended - kept;
        QCOMPARE(box->content().line(0), TranscriptView::TrimmedNotice.arg(dropped));
        QCOMPARE(box->content().line(1), QStringLiteral("satır %1").arg(dropped));
        const qsizetype caretLineNow = caretLine - dropped + 1;
        QCOMPARE(caretLineNow >= 1, caretStays);
        QCOMPARE(box->caretPosition(), caretStays ? box->content().lineStart(caretLineNow) + 2 : 0);
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
        QCOMPARE(box->text(), line + QStringLiteral("\r\n"));
    }

    void longLinesWrapInsideTheBox_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("words") << words(12);
        QTest::newRow("a word wider than the box") << QString(400, u'ş');
        QTest::newRow("narrow letters") << QString(1000, u'l');
        // Shown up to MaxShownChars, then "…": it wraps into a bounded
        // number of rows.
        QTest::newRow("very long") << QString(300'000, u'ş');
    }

    void longLinesWrapInsideTheBox()
    {
        QFETCH(QString, line);
        showBox();
        box->clearFocus(); // no caret to paint
        box->appendLine(line);
        box->setCaretPosition(0);
        QCoreApplication::processEvents();
        QVERIFY(!box->horizontalScrollBar()->isVisible());
        QCOMPARE(box->text(), line + QStringLiteral("\r\n"));

        const QImage image = box->viewport()->grab().toImage();
        const QRgb base = image.pixel(image.width() - 1, image.height() - 1);
        // Glyphs leave the right margin and a caret's width before it.
        const int rightEdge = image.width() - margin() - 1;
        // The rightmost ink on each of the first three rows, or -1.
        int right[3] = {-1, -1, -1};
        for (int row = 0; row < 3; ++row)
            for (int y = margin() + row * rowHeight(); y < margin() + (row + 1) * rowHeight(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != base)
                        right[row] = qMax(right[row], x);
        for (int row = 0; row < 3; ++row) {
            QVERIFY2(right[row] >= 0, QByteArray::number(row));
            QVERIFY2(right[row] < rightEdge, QByteArray::number(right[row]));
        }
        // Rows are filled, not cut short: a broken word fills its row.
        QVERIFY(right[0] > image.width() * 2 / 3);
        // The end of the shown text is rows below, and still a few of them.
        const int lastRow = rowOf(std::min<qsizetype>(line.size(), TranscriptView::MaxShownChars));
        QVERIFY(lastRow >= 2);
        QVERIFY(lastRow < TranscriptView::MaxShownChars / 10);
        QVERIFY(!box->horizontalScrollBar()->isVisible());
    }

    // Wrapping breaks rows, not the text: the rows of a wrapped line are one
    // line, which Backspace at the start of the next joins to it.
    void wrappedLineIsOneLine()
    {
        showBox();
        box->appendLine(words(12));
        box->appendLine(QStringLiteral("son"));
        QCOMPARE(box->lineCount(), 3);
        QCOMPARE(box->text(), words(12) + QStringLiteral("\r\nson\r\n"));
        const qsizetype second = box->content().lineStart(1);
        QVERIFY(rowOf(second) >= 3);
        box->setCaretPosition(second);
        QTest::keyClick(box.get(), Qt::Key_Backspace);
        QCOMPARE(box->text(), words(12) + QStringLiteral("son\r\n"));
    }

    void caretRowComesIntoView_data()
    {
        QTest::addColumn<int>("lines");     // of words(4), some three rows each
        QTest::addColumn<int>("caretLine"); // -1: the end, as after every change
        QTest::addColumn<int>("from");      // the caret's line before; -1: the end
        QTest::newRow("end after one line") << 1 << -1 << -1;
        QTest::newRow("end after many lines") << 60 << -1 << -1;
        QTest::newRow("last row of a line below") << 60 << 30 << 0;
        QTest::newRow("first row of a line above") << 60 << 10 << 59;
    }

    void caretRowComesIntoView()
    {
        QFETCH(int, lines);
        QFETCH(int, caretLine);
        QFETCH(int, from);
        showBox();
        const QString line = lines == 1 ? words(30) : words(4);
        for (int i = 0; i < lines; ++i) {
            box->appendLine(line);
            box->setCaretPosition(box->textLength());
        }
        QVERIFY(rowOf(box->content().lineStart(1)) >= 3 || lines > 1);
        auto lineEnd = [this](int i) {
            return box->content().lineStart(i) + box->content().lineLength(i);
        };
        box->setCaretPosition(from < 0 ? box->textLength() : lineEnd(from));
        QScrollBar *bar = box->verticalScrollBar();
        if (caretLine < 0) {
            // The end is the last row of the last text line and the empty
            // line after it.
            QVERIFY(inView(box->textLength()));
            QVERIFY(inView(box->textLength() - 1));
            QTRY_COMPARE(bar->value(), box->firstVisibleLine());
            QCOMPARE(bar->value(), bar->maximum());
            if (lines > 1) {
                // The range ends where the end comes into view, not further.
                QVERIFY(bar->maximum() > 0);
                bar->setValue(bar->maximum() - 1);
                QVERIFY(!inView(box->textLength()));
            }
            return;
        }
        const bool below = caretLine > from;
        const qsizetype target = below ? lineEnd(caretLine) : box->content().lineStart(caretLine);
        box->setCaretPosition(target);
        QVERIFY(inView(target));
        QTRY_COMPARE(bar->value(), box->firstVisibleLine());
        if (below) {
            // Scrolled as little as shows the row: a line less and it is out.
            QVERIFY(bar->value() > 0);
            bar->setValue(bar->value() - 1);
            QVERIFY(!inView(target));
        } else {
            QCOMPARE(rowOf(target), 0);
            QCOMPARE(box->firstVisibleLine(), caretLine);
        }
    }

    void clicksRoundTripOnEveryRow_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("words") << words(12);
        QTest::newRow("a word wider than the box") << QString(300, u'ğ');
    }

    void clicksRoundTripOnEveryRow()
    {
        QFETCH(QString, line);
        showBox();
        box->appendLine(QStringLiteral("önce"));
        box->appendLine(line);
        box->setCaretPosition(0);
        const qsizetype start = box->content().lineStart(1);
        const qsizetype end = start + line.size();
        // The start of each row after the first: a position at a wrap point
        // begins the next row.
        QList<qsizetype> rowStarts;
        for (qsizetype p = start + 1; p <= end; ++p)
            if (rowOf(p) > rowOf(p - 1))
                rowStarts.append(p);
        QVERIFY(rowStarts.size() >= 2);
        for (const qsizetype p : rowStarts)
            QCOMPARE(box->cursorRect(p).left(), margin());
        const QList<qsizetype> positions = {start + 3, rowStarts.first(), rowStarts.first() + 2,
                                            rowStarts.last(), end - 1, end};
        for (const qsizetype p : positions) {
            QCOMPARE(box->positionAt(box->cursorRect(p).center()), p);
            QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->cursorRect(p).center());
            QCOMPARE(box->caretPosition(), p);
        }
        // Beyond the end of a wrapped row the click stays on that row.
        const QPoint pastRowEnd(box->viewport()->width() - 1, box->cursorRect(start).center().y());
        const qsizetype atRowEnd = box->positionAt(pastRowEnd);
        QCOMPARE(rowOf(atRowEnd), rowOf(start));
        QVERIFY(atRowEnd > start + 3);
    }

    // The end of the text stays at the bottom with the rows before it filling
    // the view, however tall the line before it is.
    void endShowsTheLastRowsOfATallLine_data()
    {
        QTest::addColumn<int>("empties");
        QTest::newRow("the tall line last") << 0;
        QTest::newRow("empty lines after it") << 3;
    }

    void endShowsTheLastRowsOfATallLine()
    {
        QFETCH(int, empties);
        showBox();
        box->clearFocus(); // no caret to paint
        const qsizetype tallEnd = appendTallLine(empties);
        const int page = pageRows();
        QVERIFY(tallRows() > 2 * page);
        box->setCaretPosition(box->textLength());
        QScrollBar *bar = box->verticalScrollBar();
        auto checkEnd = [&](int following) {
            QVERIFY(inView(box->textLength()));
            QCOMPARE(rowOf(box->textLength()), page - 1);
            QVERIFY(inView(tallEnd));
            QCOMPARE(rowOf(tallEnd), page - 2 - following);
            QCOMPARE(box->firstVisibleLine(), 1);
            QTRY_COMPARE(bar->value(), box->firstVisibleLine());
            QCOMPARE(bar->value(), bar->maximum());
        };
        checkEnd(empties);
        if (QTest::currentTestFailed())
            return;

        // The tall line's rows are drawn from the top of the view down.
        const QImage image = box->viewport()->grab().toImage();
        const QRgb base = image.pixel(image.width() - 1, image.height() - 1);
        auto inkOnRow = [&](int row) {
            for (int y = margin() + row * rowHeight(); y < margin() + (row + 1) * rowHeight(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != base)
                        return true;
            return false;
        };
        for (int row = 0; row <= page - 2 - empties; ++row)
            QVERIFY2(inkOnRow(row), QByteArray::number(row));
        // The rows scrolled out above leave the margin bare.
        for (int y = 0; y < margin(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(image.pixel(x, y) == base, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));

        // Dragged away and back to its end, the bar shows the end again.
        bar->setValue(0);
        QVERIFY(!inView(box->textLength()));
        bar->setValue(bar->maximum());
        checkEnd(empties);
        if (QTest::currentTestFailed())
            return;
        // Following the end as the text grows moves the tall line up a row;
        // a turn of the wheel down, with nowhere to go, leaves it following.
        box->setCaretPosition(box->textLength());
        QWheelEvent wheelDown(QPointF(50, 50), box->mapToGlobal(QPointF(50, 50)), {}, {0, -120},
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &wheelDown);
        box->appendLine(QString());
        checkEnd(empties + 1);
    }

    // A run of Up and Down keys keeps to the column it started from through
    // a shorter line; any other move starts a new run from where it leaves.
    void upAndDownKeepToTheirColumn()
    {
        showBox();
        const QString longLine(20, u'x');
        box->appendLine(longLine);
        box->appendLine(QStringLiteral("xx"));
        box->appendLine(longLine);
        const TranscriptText &text = box->content();
        auto column = [&] {
            const qsizetype caret = box->caretPosition();
            return caret - text.lineStart(text.lineOf(caret));
        };
        box->setCaretPosition(15);
        QTest::keyClick(box.get(), Qt::Key_Down);
        QCOMPARE(column(), 2);
        QTest::keyClick(box.get(), Qt::Key_Down);
        QCOMPARE(text.lineOf(box->caretPosition()), 2);
        QCOMPARE(column(), 15);
        QTest::keyClick(box.get(), Qt::Key_Up);
        QTest::keyClick(box.get(), Qt::Key_Up);
        QCOMPARE(box->caretPosition(), 15);

        QTest::keyClick(box.get(), Qt::Key_Down);
        QTest::keyClick(box.get(), Qt::Key_Left);
        QTest::keyClick(box.get(), Qt::Key_Down);
        QCOMPARE(text.lineOf(box->caretPosition()), 2);
        QCOMPARE(column(), 1);
    }

    // Any row of a tall line comes into view, scrolled as little as shows it.
    void tallLineRowsComeIntoView_data()
    {
        QTest::addColumn<bool>("fromEnd"); // the caret comes from the end, or from the start
        QTest::newRow("from above") << false;
        QTest::newRow("from below") << true;
    }

    void tallLineRowsComeIntoView()
    {
        QFETCH(bool, fromEnd);
        showBox();
        appendTallLine(1);
        const int page = pageRows();
        // Its middle eighths are over a page from either end.
        QVERIFY(tallRows() > 3 * page);
        const qsizetype start = box->content().lineStart(1);
        const qsizetype length = box->content().lineLength(1);
        for (int eighth = 3; eighth <= 5; ++eighth) {
            const qsizetype p = start + length * eighth / 8;
            box->setCaretPosition(fromEnd ? box->textLength() : 0);
            QVERIFY(!inView(p));
            box->setCaretPosition(p);
            QVERIFY2(inView(p), QByteArray::number(eighth));
            QCOMPARE(rowOf(p), fromEnd ? 0 : page - 1);
            const QPoint center = box->cursorRect(p).center();
            QCOMPARE(box->positionAt(center), p);
            // A click there, from elsewhere on the row, puts the caret back.
            QTest::keyClick(box.get(), Qt::Key_Home);
            QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, center);
            QCOMPARE(box->caretPosition(), p);
        }
    }

    // Up and Down step through every row of a tall line, the view following a
    // row at a time.
    void arrowsWalkATallLine_data()
    {
        QTest::addColumn<bool>("down");
        QTest::newRow("Down from its first row") << true;
        QTest::newRow("Up from its last row") << false;
    }

    void arrowsWalkATallLine()
    {
        QFETCH(bool, down);
        showBox();
        const qsizetype tallEnd = appendTallLine(1);
        const int page = pageRows();
        const int rows = tallRows();
        QVERIFY(rows > 2 * page);
        const qsizetype start = box->content().lineStart(1);
        box->setCaretPosition(down ? start : tallEnd);
        int steps = 0;
        while (box->caretPosition() >= start && box->caretPosition() <= tallEnd && steps <= rows) {
            const int row = rowOf(box->caretPosition());
            QTest::keyClick(box.get(), down ? Qt::Key_Down : Qt::Key_Up);
            ++steps;
            QVERIFY2(inView(box->caretPosition()), QByteArray::number(steps));
            QCOMPARE(rowOf(box->caretPosition()), down ? qMin(row + 1, page - 1) : qMax(row - 1, 0));
        }
        // One key a row, and the last one leaves the line.
        QCOMPARE(steps, rows);
    }

    // The wheel scrolls by rows, through a tall line and on to the end; the
    // bar, which counts lines, shows the end from its last line.
    void wheelReadsATallLineRowByRow()
    {
        showBox();
        appendTallLine(0);
        const int rows = tallRows();
        const int notchRows = QApplication::wheelScrollLines();
        QVERIFY(notchRows > 0);
        const qsizetype start = box->content().lineStart(1);
        QWheelEvent wheelDown(QPointF(50, 50), box->mapToGlobal(QPointF(50, 50)), {}, {0, -120},
                              Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &wheelDown); // "önce" and a tall row up
        QCOMPARE(box->firstVisibleLine(), 1);
        int top = box->cursorRect(start).top();
        QCOMPARE(top, margin() - (notchRows - 1) * rowHeight());
        for (int notch = 0; notch < rows && !inView(box->textLength()); ++notch) {
            QApplication::sendEvent(box->viewport(), &wheelDown);
            QVERIFY(box->cursorRect(start).top() < top);
            QVERIFY(box->cursorRect(start).top() >= top - notchRows * rowHeight());
            top = box->cursorRect(start).top();
        }
        QVERIFY(inView(box->textLength()));
        QCOMPARE(rowOf(box->textLength()), pageRows() - 1);
        QScrollBar *bar = box->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());

        // Up from the end scrolls the tall line's hidden rows into view, the
        // bar staying on its line; a step down the bar shows the end again.
        box->setCaretPosition(box->textLength());
        for (int i = 0; i < 2 * pageRows(); ++i)
            QTest::keyClick(box.get(), Qt::Key_Up);
        QTRY_COMPARE(bar->value(), bar->maximum());
        QVERIFY(!inView(box->textLength()));
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QVERIFY(inView(box->textLength()));
        QCOMPARE(rowOf(box->textLength()), pageRows() - 1);
    }

    void keysMoveByRows_data()
    {
        QTest::addColumn<int>("row");   // the caret's row from the top
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<int>("rowAfter");
        // The first line, of words, takes rows 0 to 3 or more; the second
        // starts at the row "next". The page holds a few rows.
        constexpr int Next = -1;
        constexpr int LastOfFirst = -2;
        constexpr int Page = -3;
        constexpr int LastOfPage = -4;
        QTest::newRow("Down within a line") << 0 << QKeyCombination(Qt::Key_Down) << 1;
        QTest::newRow("Up within a line") << 2 << QKeyCombination(Qt::Key_Up) << 1;
        QTest::newRow("Down into the next line")
                << LastOfFirst << QKeyCombination(Qt::Key_Down) << Next;
        QTest::newRow("Up into the previous line")
                << Next << QKeyCombination(Qt::Key_Up) << LastOfFirst;
        QTest::newRow("Shift+Down") << 1 << (Qt::ShiftModifier | Qt::Key_Down) << 2;
        QTest::newRow("Home") << 1 << QKeyCombination(Qt::Key_Home) << 1;
        QTest::newRow("End") << 1 << QKeyCombination(Qt::Key_End) << 1;
        QTest::newRow("Shift+End") << 2 << (Qt::ShiftModifier | Qt::Key_End) << 2;
        QTest::newRow("End of the last row") << LastOfFirst << QKeyCombination(Qt::Key_End)
                                             << LastOfFirst;
        QTest::newRow("PageDown") << 1 << QKeyCombination(Qt::Key_PageDown) << Page;
        QTest::newRow("PageUp") << LastOfPage << QKeyCombination(Qt::Key_PageUp) << 0;
    }

    void keysMoveByRows()
    {
        QFETCH(int, row);
        QFETCH(QKeyCombination, key);
        QFETCH(int, rowAfter);
        showBox();
        box->resize(400, 100); // a page of a few rows, fewer than the first line's
        const QString first = words(12);
        box->appendLine(first);
        box->appendLine(words(2));
        box->setCaretPosition(0);
        const qsizetype second = box->content().lineStart(1);
        const int next = rowOf(second);
        QVERIFY(next >= 4);
        const int page = (box->viewport()->height() - 2 * margin()) / rowHeight();
        QVERIFY(page > 1);
        const int special[] = {next, next - 1, page, page - 1};
        auto actual = [&special](int r) { return r < 0 ? special[-r - 1] : r; };
        const bool paging = rowAfter == -3;
        row = actual(row);
        rowAfter = actual(rowAfter);
        auto pointOnRow = [this](int r, int x) {
            return QPoint(x, margin() + r * rowHeight() + rowHeight() / 2);
        };
        const int x = box->viewport()->width() / 3;
        box->setCaretPosition(box->positionAt(pointOnRow(row, x)));
        const qsizetype before = box->caretPosition();
        QCOMPARE(rowOf(before), row);
        // A page down is out of view until the view follows.
        const qsizetype pageOn = box->positionAt(pointOnRow(row + page, box->caretRect().left()));

        QTest::keyClick(box.get(), key.key(), key.keyboardModifiers());
        const qsizetype after = box->caretPosition();
        const int left = box->caretRect().left();
        QVERIFY(inView(after));
        if (paging) {
            QCOMPARE(after, pageOn);
            // Scrolled by rows, as little as shows the caret: on the last.
            QCOMPARE(rowOf(after), page - 1);
            return;
        }
        QCOMPARE(box->firstVisibleLine(), 0);
        QCOMPARE(rowOf(after), rowAfter);
        QCOMPARE(box->hasSelection(), key.keyboardModifiers() == Qt::ShiftModifier);
        switch (key.key()) {
        case Qt::Key_Home:
            QCOMPARE(left, margin());
            QVERIFY(after > 0);
            QCOMPARE(rowOf(after - 1), row - 1);
            break;
        case Qt::Key_End:
            // The last position of the row: the next begins the next row.
            QVERIFY(after > before);
            QCOMPARE(rowOf(after + 1), row + 1);
            QVERIFY(after != second - 1 || row == next - 1);
            break;
        default: // the caret keeps to its x, within a character
            QVERIFY2(qAbs(left - x) < 2 * box->fontMetrics().averageCharWidth(),
                     QByteArray::number(left));
        }
    }

    void resizeRewrapsAndKeepsTheEnd_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<int>("rows"); // -1 more rows than before, 1 fewer, 0 as many
        QTest::newRow("narrower") << QSize(200, 200) << false << -1;
        // Not a whole number of rows high, so that the end is out of view a
        // line above the last top.
        QTest::newRow("wider") << QSize(700, 190) << false << 1;
        QTest::newRow("lower") << QSize(400, 90) << false << 0;
        QTest::newRow("bold and larger") << QSize(400, 200) << true << -1;
    }

    void resizeRewrapsAndKeepsTheEnd()
    {
        QFETCH(QSize, size);
        QFETCH(bool, bold);
        QFETCH(int, rows);
        showBox();
        for (int i = 0; i < 40; ++i) {
            box->appendLine(words(4));
            box->setCaretPosition(box->textLength());
        }
        const qsizetype last = box->content().lineStart(box->lineCount() - 2);
        auto rowsOfLast = [&] { return rowOf(box->textLength()) - rowOf(last); };
        const int before = rowsOfLast();
        if (bold) {
            QFont font = box->font();
            font.setBold(true);
            font.setPointSizeF(font.pointSizeF() * 1.5);
            box->setFont(font);
        } else {
            box->resize(size);
        }
        const int after = rowsOfLast();
        QVERIFY2(rows < 0 ? after > before : rows > 0 ? after < before : after == before,
                 QByteArray(QByteArray::number(before) + " -> " + QByteArray::number(after))
                         .constData());
        QVERIFY(inView(box->textLength()));
        QVERIFY(inView(last));
        QScrollBar *bar = box->verticalScrollBar();
        QTRY_COMPARE(bar->value(), box->firstVisibleLine());
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(bar->maximum() - 1);
        QVERIFY(!inView(box->textLength()));
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
