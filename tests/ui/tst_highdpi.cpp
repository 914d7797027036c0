// The operator window and the about window on a screen scaled by 2
// (QT_SCALE_FACTOR=2, as on a high-dpi monitor): each grows as a whole, its
// text is drawn in scalable faces, and no control covers another.
#include "fakeendpoint.h"
#include "rowink.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"
#include "ui/frmabout.h"
#include "ui/transcriptview.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

namespace {

constexpr qreal Scale = 2;

// Before main: the application reads the factor when it is created.
const bool scaled = qputenv("QT_SCALE_FACTOR", "2");

// The visible child widgets of parent that the window itself placed.
QList<QWidget *> placed(QWidget *parent)
{
    QList<QWidget *> widgets;
    for (QWidget *w : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (w->isVisible() && !w->objectName().isEmpty() && !w->isWindow())
            widgets.append(w);
    }
    return widgets;
}

// Where a control's text or body is drawn: a label only covers its text.
QRect drawn(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w)) {
        const QSize text = label->fontMetrics().size(0, label->text());
        return QRect(label->pos(), text.boundedTo(label->size()));
    }
    return w->geometry();
}

void noneOverlap(QWidget *parent)
{
    const QList<QWidget *> widgets = placed(parent);
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        for (qsizetype j = i + 1; j < widgets.size(); ++j) {
            QVERIFY2(!drawn(widgets[i]).intersects(drawn(widgets[j])),
                     qPrintable(widgets[i]->objectName() + u" / " + widgets[j]->objectName()));
        }
    }
}

void sharpText(QWidget *window)
{
    QList<QWidget *> all = window->findChildren<QWidget *>();
    all.prepend(window);
    for (QWidget *w : all) {
        const QFontInfo face(w->font());
        QVERIFY2(QFontDatabase::isSmoothlyScalable(face.family(), face.styleName()),
                 qPrintable(w->objectName() + u": " + face.family()));
        QVERIFY2(UiFonts::showsTurkish(w->font()), qPrintable(w->objectName()));
    }
}

} // namespace

class TestHighDpi : public QObject
{
    Q_OBJECT

    FakeEndpointFactory factory;
    ControlledYield yield;
    std::unique_ptr<Form1> window;

private slots:
    void initTestCase()
    {
        QVERIFY(scaled);
        UiFonts::load();
        QCOMPARE(qGuiApp->devicePixelRatio(), Scale);
    }
    void init()
    {
        window = std::make_unique<Form1>(Form1::Services{&factory, &yield, nullptr});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() { window.reset(); }

    void operatorWindowGrowsAsAWhole()
    {
        // The layout is the same in device-independent pixels as unscaled;
        // the window's pixels double.
        QCOMPARE(window->Frame1()->geometry(), QRect(3, 8, 428, 73));
        QCOMPARE(window->List1()->geometry(), QRect(438, 16, 129, 452));
        QCOMPARE(window->devicePixelRatio(), Scale);
        const QPixmap shot = window->grab();
        QCOMPARE(shot.size(), window->size() * Scale);
    }

    void operatorWindowTextIsSharp() { sharpText(window.get()); }

    void operatorWindowNothingOverlaps()
    {
        for (QWidget *parent : {window->centralWidget(), static_cast<QWidget *>(window->Frame1()),
                                static_cast<QWidget *>(window->Frame2())}) {
            noneOverlap(parent);
            if (QTest::currentTestFailed())
                return;
        }
        // Captions fit their controls.
        for (QLabel *label : window->findChildren<QLabel *>())
            QVERIFY2(label->size().expandedTo(label->sizeHint()) == label->size(),
                     qPrintable(label->objectName()));
        QVERIFY(window->Command1()->fontMetrics().horizontalAdvance(window->Command1()->text())
                < window->Command1()->width());
    }

    // Row spacing scales with the text: rows of accented letters and
    // descenders still keep apart in device pixels.
    void rowsKeepApart()
    {
        auto *transcript = window->findChild<TranscriptView *>(QStringLiteral("Text1"));
        QVERIFY(transcript);
        for (const RowInk::Inked &inked :
             {RowInk::rowsOf(transcript,
                             [&](const QString &upper, const QString &lower) {
                                 transcript->clear();
                                 transcript->appendLine(upper);
                                 transcript->appendLine(lower);
                             }),
              RowInk::rowsOf(window->List1(), [&](const QString &upper, const QString &lower) {
                  RowInk::setRows(window->List1(), upper, lower);
              })}) {
            QVERIFY(!inked.upper.empty() && !inked.lower.empty());
            QVERIFY(!RowInk::share(inked));
        }
    }

    void aboutWindow()
    {
        auto *about = new frmAbout(window.get());
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->size(), QSize(507, 329));
        QCOMPARE(about->grab().size(), about->size() * Scale);
        sharpText(about);
        // The rising text only ever moves up and down, so it is checked where
        // it starts; the labels and the button keep to the left strip.
        noneOverlap(about);
        const int textLeft = about->Text1()->x();
        for (QWidget *w : {static_cast<QWidget *>(about->Label1()),
                           static_cast<QWidget *>(about->Label2()),
                           static_cast<QWidget *>(about->Command1())})
            QVERIFY2(drawn(w).right() < textLeft, qPrintable(w->objectName()));
        QVERIFY(about->Command1()->fontMetrics().horizontalAdvance(about->Command1()->text())
                < about->Command1()->width());
        about->Command1()->click();
    }
};

QTEST_MAIN(TestHighDpi)
#include "tst_highdpi.moc"
