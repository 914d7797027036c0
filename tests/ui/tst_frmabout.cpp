// The about window: its text, its looks, the rising text's positions tick by
// tick (the ticks are driven by hand), the focus rule and closing.
#include "ui/fonts.h"
#include "ui/frmabout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

class TestFrmAbout : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> owner;
    QPointer<frmAbout> about;

    void showActive()
    {
        about->show();
        about->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(about));
    }

    // Ticks by hand; the real timer must not add ticks of its own.
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i) {
            about->scrollTick();
            QVERIFY(about->text1Top() > frmAbout::WrapAt);
            QCOMPARE(about->Text1()->y(), qRound(about->text1Top() / 15));
        }
    }

private slots:
    void init()
    {
        owner = std::make_unique<QWidget>();
        about = new frmAbout(owner.get());
        about->Timer1()->stop();
    }
    void cleanup() { owner.reset(); }

    void text()
    {
        const QString text = frmAbout::aboutText();
        QVERIFY(text.endsWith(QStringLiteral("\r\n")));
        QVERIFY(!text.startsWith(QStringLiteral("\r\n")));
        QCOMPARE(text.count(QStringLiteral("\r\n")), 10);
        QCOMPARE(text.count(u'\n'), 10);
        QCOMPARE(text.count(u'\r'), 10);
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines.last(), QString());
        const QList<QByteArray> fixed = {
                "Bu haberleşme yazılımı", {}, "Kısmen yada tamamen kopyalanması",
                "veya dağıtılması suç teşkil etmektedir.", "Yazılım genel olarak;",
                "Yerel bir ağ içerisinde bulunan kullanıcıların",
                "birbiri ile haberleşmelerini sağlamak amacı",
                "ile yazılmıştır. Yapılan yazışmalar",
                "sistem tarafından kayıt altına ALINMAZ!", {}};
        for (int i = 0; i < 10; ++i) {
            QVERIFY(!lines[i].isEmpty());
            if (!fixed[i].isEmpty())
                QCOMPARE(lines[i].toUtf8(), fixed[i]);
        }
        // The box shows exactly those lines.
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(about->Text1()->toPlainText(), shown);
    }

    void looks()
    {
        QCOMPARE(about->size(), QSize(507, 329));
        QVERIFY(about->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(about->palette().color(QPalette::Window), QColor(Qt::black));
        QVERIFY(about->autoFillBackground());
        QCOMPARE(about->Label1()->text().size(), 6);
        QCOMPARE(about->Label2()->text().toUtf8(), QByteArray(" v.1.00"));
        for (QLabel *label : {about->Label1(), about->Label2()}) {
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(192, 192, 192));
            QVERIFY(!label->autoFillBackground());
            QCOMPARE(label->font().family(), UiFonts::tahomaFamily());
            QCOMPARE(label->font().pointSizeF(), 18.0);
            QVERIFY(label->font().bold() && label->font().italic());
        }
        QCOMPARE(about->Label1()->geometry(), QRect(5, 10, 91, 31));
        QCOMPARE(about->Label2()->geometry(), QRect(0, 40, 91, 31));

        QTextEdit *text = about->Text1();
        QCOMPARE(text->geometry(), QRect(140, 270, 346, 176));
        QCOMPARE(text->palette().color(QPalette::Base), QColor(Qt::black));
        QCOMPARE(text->palette().color(QPalette::Text), QColor(Qt::white));
        QCOMPARE(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(text->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(text->document()->defaultTextOption().alignment(), Qt::AlignHCenter);
        QCOMPARE(text->font().pointSizeF(), 11.25);
        QVERIFY(!text->font().bold());

        QPushButton *ok = about->Command1();
        QCOMPARE(ok->text().toUtf8(), QByteArray("Tamam"));
        QCOMPARE(ok->geometry(), QRect(5, 295, 56, 31));
        QCOMPARE(ok->font().pointSizeF(), 9.75);
        QVERIFY(ok->font().bold());
        // The left strip (below 1440 twips) stays clear of the rising text.
        const QList<QWidget *> strip = {about->Label1(), about->Label2(), about->Command1()};
        for (QWidget *w : strip)
            QVERIFY(w->geometry().right() < text->x());
    }

    void centredOnTheScreen()
    {
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->frameGeometry().center(), owner->screen()->availableGeometry().center());
    }

    void firstPassWrapsAfter640Ticks()
    {
        QCOMPARE(about->text1Top(), 4050.0f);
        QCOMPARE(about->Text1()->y(), 270);
        tick(639);
        QCOMPARE(about->text1Top(), -2340.0f);
        tick();
        QCOMPARE(about->text1Top(), 4900.0f);
        // Every later pass takes 725 ticks.
        tick(724);
        QCOMPARE(about->text1Top(), -2340.0f);
        tick();
        QCOMPARE(about->text1Top(), 4900.0f);
        QCOMPARE(about->Text1()->x(), 140);
    }

    void timerRunsFromCreation()
    {
        frmAbout fresh(owner.get());
        QVERIFY(fresh.Timer1()->isActive());
        QCOMPARE(fresh.Timer1()->interval(), 20);
        QCOMPARE(fresh.text1Top(), 4050.0f);
        QTRY_VERIFY(fresh.text1Top() < 4050.0f);
    }

    void focusStaysOnOk()
    {
        showActive();
        QCOMPARE(QApplication::focusWidget(), about->Command1());
        QVERIFY(!(about->Text1()->focusPolicy() & Qt::TabFocus));
        QTest::mouseClick(about->Text1()->viewport(), Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), about->Command1());
        about->Text1()->setFocus();
        QCOMPARE(QApplication::focusWidget(), about->Command1());
        QTest::keyClick(about->Command1(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), about->Command1());
    }

    void onlyOkCloses()
    {
        owner->show();
        showActive();
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(!about->close());
        QVERIFY(about->isVisible());
        about->Command1()->click();
        QVERIFY(!about || !about->isVisible());
        QTRY_VERIFY(!about);
        QVERIFY(owner->isVisible());
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
