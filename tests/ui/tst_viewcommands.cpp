// The transcript's view commands: the style toggles and "Normal" with their
// check marks, emptying, following the end of the text, and opening the
// about window. They run as the operator runs them: by triggering the menu
// items, with the chat frame disabled as it is before the server starts.
#include "fakeendpoint.h"
#include "ui/form1.h"
#include "ui/frmabout.h"
#include "ui/transcriptview.h"
#include "ui/viewcommands.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// Check marks of Kalın, Yatık, Altı çizgili, Normal, then the transcript's
// bold, italic and underline, as a string of 0s and 1s ("0001 100").
using Style = QString;

class TestViewCommands : public QObject
{
    Q_OBJECT

    FakeEndpointFactory factory;
    ControlledYield yield;
    std::unique_ptr<Form1> window;

    Style style() const
    {
        auto bit = [](bool on) { return on ? u'1' : u'0'; };
        const QFont font = window->Text1()->font();
        Style s;
        for (bool on : {window->mnubold()->isChecked(), window->mnuitallic()->isChecked(),
                        window->mnuunderlined()->isChecked(), window->mnunone()->isChecked()})
            s += bit(on);
        s += u' ';
        for (bool on : {font.bold(), font.italic(), font.underline()})
            s += bit(on);
        return s;
    }

    QAction *item(QChar code) const
    {
        switch (code.unicode()) {
        case 'K': return window->mnubold();
        case 'Y': return window->mnuitallic();
        case 'A': return window->mnuunderlined();
        default: return window->mnunone();
        }
    }

    bool caretAtEnd() const
    {
        const TranscriptView *box = window->Text1();
        return !box->hasSelection() && box->caretPosition() == box->textLength();
    }

    // The caret, at the end of the text, lies wholly inside the visible part.
    bool endInView() const
    {
        const TranscriptView *box = window->Text1();
        return box->viewport()->rect().contains(box->caretRect());
    }

private slots:
    void init() { window = std::make_unique<Form1>(Form1::Services{&factory, &yield, nullptr}); }
    void cleanup() { window.reset(); }

    void styleCommands_data()
    {
        QTest::addColumn<QString>("clicks"); // K Kalın, Y Yatık, A Altı çizgili, N Normal
        QTest::addColumn<Style>("after");
        auto row = [](const char *tag, const char *clicks, const char *after) {
            QTest::newRow(tag) << QString::fromLatin1(clicks) << Style::fromLatin1(after);
        };
        // The worked sequence, step by step.
        row("start", "", "0001 100");
        row("K", "K", "1000 000");
        row("KK", "KK", "0000 100");
        row("KKN", "KKN", "0001 000");
        row("KKNK", "KKNK", "1000 100");
        // Toggles are independent of each other.
        row("K then Y", "KY", "1100 010");
        row("K, Y, then Normal", "KYN", "0001 000");
        row("Normal while checked", "N", "0001 000");
        row("Normal twice", "NN", "0001 000");
        row("underline", "A", "0010 101");
        row("italic twice", "YY", "0000 100");
        row("all three", "KYA", "1110 011");
        row("all three twice", "KYAKYA", "0000 100");
    }

    void styleCommands()
    {
        QFETCH(QString, clicks);
        QFETCH(Style, after);
        QVERIFY(!window->Frame2()->isEnabled());
        for (QChar click : clicks)
            item(click)->trigger();
        QCOMPARE(style(), after);
        // A view command touches no channel.
        for (SocketPool *pool : {&window->Winsock(), &window->Winusers(), &window->Winjoin(),
                                 &window->Winleft()}) {
            QCOMPARE(pool->count(), 1);
            QVERIFY(fake(*pool, 0).sent.isEmpty());
        }
    }

    void styleAppliesToOldAndNewLines()
    {
        // One font for the whole text: a toggle redraws the lines already
        // there, and later lines come in the same style.
        TranscriptView *box = window->Text1();
        window->Text1()->appendLine(QStringLiteral("önce"));
        const QImage bold = box->viewport()->grab().toImage();
        window->mnuitallic()->trigger();
        window->Text1()->appendLine(QStringLiteral("sonra"));
        QVERIFY(box->font().italic());
        QVERIFY(box->font().bold());
        QVERIFY(box->viewport()->grab().toImage() != bold);
        window->mnuitallic()->trigger();
        window->mnuclear()->trigger();
        window->Text1()->appendLine(QStringLiteral("önce"));
        QCOMPARE(box->viewport()->grab().toImage(), bold);
    }

    void clearingKeepsTheStyle()
    {
        window->mnubold()->trigger();
        window->mnuunderlined()->trigger();
        const Style before = style();
        window->Text1()->appendLine(QStringLiteral("Ali sohbete katıldı."));
        window->mnuclear()->trigger();
        QCOMPARE(window->Text1()->text(), QString());
        QCOMPARE(style(), before);
        window->Text1()->appendLine(QStringLiteral("Ayşe sohbete katıldı."));
        QCOMPARE(window->Text1()->text(), QStringLiteral("Ayşe sohbete katıldı.\r\n"));
        QCOMPARE(style(), before);
    }

    void caretFollowsTypingToTheEnd()
    {
        window->Frame2()->setEnabled(true);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->Text1()->appendLine(QStringLiteral("abc"));
        window->Text1()->appendLine(QStringLiteral("def"));
        TranscriptView *box = window->Text1();
        box->setFocus();
        box->setCaretPosition(1);

        QTest::keyClick(box, Qt::Key_X);
        QCOMPARE(window->Text1()->text(), QStringLiteral("axbc\r\ndef\r\n"));
        QVERIFY(caretAtEnd());
        QTest::keyClick(box, Qt::Key_Y);
        QCOMPARE(window->Text1()->text(), QStringLiteral("axbc\r\ndef\r\ny"));
        QVERIFY(caretAtEnd());
    }

    void everyChangeKeepsTheEndInView()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (int i = 0; i < 200; ++i) {
            window->Text1()->appendLine(QStringLiteral("satır %1").arg(i));
            QVERIFY(caretAtEnd());
        }
        QVERIFY(endInView());
        // The scroll bar follows once the burst of appends is over.
        QScrollBar *bar = window->Text1()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(0);
        QVERIFY(!endInView());
        window->Text1()->appendLine(QStringLiteral("yeni satır"));
        QVERIFY(endInView());
        window->mnuclear()->trigger();
        QVERIFY(caretAtEnd());
    }

    void aboutOpensFreshAndModal()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->mnuabout()->trigger();
        QPointer<frmAbout> first = window->viewCommands().aboutWindow();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->parentWidget(), window.get());
        QVERIFY(first->windowModality() != Qt::NonModal);
        QVERIFY(QApplication::activeModalWidget() == first);

        // Form1 goes on: its timers tick while the about window is open.
        QSignalSpy ticks(window->Timer1(), &QTimer::timeout);
        QVERIFY(ticks.wait(2000));

        // A second trigger stacks no second window.
        window->mnuabout()->trigger();
        QCOMPARE(window->findChildren<frmAbout *>().size(), 1);

        first->Timer1()->stop();
        QVERIFY(first->text1Top() < frmAbout::StartTop);
        first->Command1()->click();
        QTRY_VERIFY(!first);
        QVERIFY(!window->viewCommands().aboutWindow());

        window->mnuabout()->trigger();
        frmAbout *second = window->viewCommands().aboutWindow();
        QVERIFY(second);
        QCOMPARE(second->text1Top(), frmAbout::StartTop);
        second->Command1()->click();
    }
};

QTEST_MAIN(TestViewCommands)
#include "tst_viewcommands.moc"
