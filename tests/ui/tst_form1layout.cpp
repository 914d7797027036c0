// The operator window as built: every control's name, kind, container,
// geometry, caption, font and initial state, the menus, the tab order and the
// window itself. Runs on fake endpoints, so nothing listens.
#include "fakeendpoint.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

namespace {
QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

// The caption a control shows, whatever its kind.
QString caption(QWidget *w)
{
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *t = qobject_cast<TranscriptView *>(w))
        return t->text();
    return QStringLiteral("<no caption>");
}

int horizontal(Qt::Alignment alignment)
{
    return int(alignment & Qt::AlignHorizontal_Mask);
}
} // namespace

class TestForm1Layout : public QObject
{
    Q_OBJECT

    FakeEndpointFactory factory;
    ControlledYield yield;
    std::unique_ptr<Form1> window;

    QWidget *control(const QString &name) { return window->findChild<QWidget *>(name); }

    void showActive()
    {
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

private slots:
    void initTestCase() { UiFonts::load(); }
    void init() { window = std::make_unique<Form1>(Form1::Services{&factory, &yield, nullptr}); }
    void cleanup() { window.reset(); }

    void controls_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QByteArray>("text");
        auto row = [](const char *name, const char *kind, const char *in, QRect g,
                      QByteArray text) {
            QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(in) << g
                                << text;
        };
        row("Frame1", "QGroupBox", "client", twips(45, 120, 6420, 1095), "Sunucu ayarları ");
        row("Label2", "QLabel", "Frame1", twips(930, 315, 585, 195), "Lakap  :");
        row("Txtnick", "QLineEdit", "Frame1", twips(1845, 315, 2535, 285), "SERVER");
        row("Label3", "QLabel", "Frame1", twips(45, 675, 1515, 195), "Yerel pc adı yada IP :");
        // Filled by the load step from the (fake) endpoint's host identity.
        row("Text3", "QLineEdit", "Frame1", twips(1845, 675, 2535, 285), "lab-pc");
        row("Cmdconnct", "WrappingButton", "Frame1", twips(4725, 315, 1575, 615),
            "Haberleşme sunucusunu başlat");
        row("Frame2", "QGroupBox", "client", twips(45, 1320, 6420, 6255), "");
        row("Text1", "TranscriptView", "Frame2", twips(120, 240, 6180, 5175), "");
        row("Text2", "QLineEdit", "Frame2", twips(150, 5520, 5295, 615), "");
        row("Command1", "QPushButton", "Frame2", twips(5550, 5550, 780, 615), "Gönder");
        row("Label1", "QLabel", "client", twips(6825, 0, 1410, 195), "Bağlı kullanıcılar");
        row("List1", "QListView", "client", twips(6570, 240, 1935, 6780), "<no caption>");
        row("Label4", "QLabel", "client", twips(6975, 7200, 1125, 195), "0 Kullanıcı bağlı");
        row("Text4", "QLineEdit", "client", twips(10080, 7920, 1455, 285), "");
    }

    void controls()
    {
        QFETCH(QString, kind);
        QFETCH(QString, container);
        QFETCH(QRect, geometry);
        QFETCH(QByteArray, text);
        QWidget *w = control(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(w);
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
        QCOMPARE(w->parentWidget()->objectName(), container);
        QCOMPARE(caption(w).toUtf8(), text);
        if (auto *label = qobject_cast<QLabel *>(w)) {
            // Labels fit their caption from the designed corner, transparent.
            QCOMPARE(label->pos(), geometry.topLeft());
            QCOMPARE(label->size(), label->sizeHint());
            QVERIFY(!label->autoFillBackground());
            QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
        } else {
            QCOMPARE(w->geometry(), geometry);
        }
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");
        const QString tahoma = UiFonts::tahomaFamily();
        const QString sans = UiFonts::sansSerifFamily();
        // MS Sans Serif is a bitmap face with no bold: bold falls to Tahoma.
        QTest::newRow("Text1") << tahoma << 9.0 << true;
        QTest::newRow("Text2") << tahoma << 9.0 << true;
        QTest::newRow("List1") << tahoma << 9.0 << true;
        QTest::newRow("Label1") << tahoma << 8.25 << true;
        for (const char *name : {"Txtnick", "Text3", "Text4", "Label2", "Label3", "Label4",
                                 "Cmdconnct", "Command1", "Frame1", "Frame2"})
            QTest::newRow(name) << sans << 8.25 << false;
    }

    void fonts()
    {
        QFETCH(QString, family);
        QFETCH(qreal, points);
        QFETCH(bool, bold);
        const QFont font = control(QString::fromLatin1(QTest::currentDataTag()))->font();
        QCOMPARE(font.family(), family);
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.bold(), bold);
        QVERIFY(!font.italic());
        QVERIFY(!font.underline());
        QVERIFY(UiFonts::showsTurkish(font));
    }

    void substituteFontsAreTheWineOnes()
    {
        // fonts-wine is installed by the setup script; without it the window
        // would still work, on DejaVu Sans.
        QCOMPARE(UiFonts::tahomaFamily(), QStringLiteral("Tahoma"));
        QCOMPARE(UiFonts::sansSerifFamily(), QStringLiteral("MS Sans Serif"));
        // The check itself tells a face without the letters.
        const int symbols = QFontDatabase::addApplicationFont(
                QStringLiteral("/usr/share/wine/fonts/marlett.ttf"));
        QVERIFY(symbols >= 0);
        QVERIFY(!UiFonts::showsTurkish(
                QFont(QFontDatabase::applicationFontFamilies(symbols).constFirst())));
    }

    void countLabelIsDarkRed()
    {
        QCOMPARE(window->Label4()->palette().color(QPalette::WindowText), QColor(192, 0, 0));
        QCOMPARE(horizontal(window->Label4()->alignment()), int(Qt::AlignHCenter));
    }

    void labelRefitsWhenItsCaptionChanges()
    {
        window->show();
        QLabel *count = window->Label4();
        const QPoint corner = count->pos();
        count->setText(QStringLiteral("1234 Kullanıcı bağlı"));
        QTRY_COMPARE(count->size(), count->sizeHint());
        QCOMPARE(count->pos(), corner);
    }

    void startButtonWrapsItsCaption()
    {
        QPushButton *start = window->Cmdconnct();
        QStyleOptionButton option;
        option.initFrom(start);
        const QRect area =
                start->style()->subElementRect(QStyle::SE_PushButtonContents, &option, start);
        const QFontMetrics metrics(start->font());
        QVERIFY(metrics.horizontalAdvance(start->text()) > area.width());
        const QRect wrapped = metrics.boundingRect(QRect(0, 0, area.width(), 1000),
                                                   Qt::TextWordWrap, start->text());
        QCOMPARE(wrapped.height(), 2 * metrics.lineSpacing());
    }

    void menus_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("separator");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");
        auto row = [](const char *name, const char *menu, QByteArray text, bool separator,
                      bool checkable, bool checked, bool enabled) {
            QTest::newRow(name) << QString::fromLatin1(menu) << text << separator << checkable
                                << checked << enabled;
        };
        row("mnustart", "mnuserver", "Sunucuyu başlat", false, false, false, true);
        row("mnudisconnect", "mnuserver", "Sunucuyu durdur", false, false, false, false);
        row("sdfsd", "mnuserver", "", true, false, false, true);
        row("mnuexit", "mnuserver", "Çık", false, false, false, true);
        row("mnubold", "mnuformat", "Kalın", false, true, false, true);
        row("mnuitallic", "mnuformat", "Yatık", false, true, false, true);
        row("mnuunderlined", "mnuformat", "Altı çizgili", false, true, false, true);
        row("mnunone", "mnuformat", "Normal", false, true, true, true);
        row("safsdf", "mnuformat", "", true, false, false, true);
        row("mnuclear", "mnuformat", "Sayfayı temizle", false, false, false, true);
    }

    void menus()
    {
        QFETCH(QString, menu);
        QFETCH(QByteArray, text);
        QFETCH(bool, separator);
        QFETCH(bool, checkable);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        auto *parent = window->findChild<QMenu *>(menu);
        QVERIFY(parent);
        QAction *action = nullptr;
        for (QAction *a : parent->actions()) {
            if (a->objectName() == name)
                action = a;
        }
        QVERIFY(action);
        QCOMPARE(action->text().toUtf8(), text);
        QCOMPARE(action->isSeparator(), separator);
        QCOMPARE(action->isCheckable(), checkable);
        QCOMPARE(action->isChecked(), checked);
        QCOMPARE(action->isEnabled(), enabled);
        QVERIFY(action->isVisible());
        QVERIFY(action->shortcut().isEmpty());
    }

    void menuOrder()
    {
        auto names = [](const QList<QAction *> &actions) {
            QStringList result;
            for (QAction *a : actions)
                result << (a->menu() ? a->menu()->objectName() : a->objectName());
            return result;
        };
        QCOMPARE(names(window->menuBar()->actions()),
                 QStringList({QStringLiteral("mnuserver"), QStringLiteral("mnuformat"),
                              QStringLiteral("mnuabout")}));
        QCOMPARE(names(window->mnuserver()->actions()).join(u' '),
                 QStringLiteral("mnustart mnudisconnect sdfsd mnuexit"));
        QCOMPARE(names(window->mnuformat()->actions()).join(u' '),
                 QStringLiteral("mnubold mnuitallic mnuunderlined mnunone safsdf mnuclear"));
        // Captions with their access keys; "Sunucu ayaları" has none.
        QCOMPARE(window->mnuserver()->title().toUtf8(), QByteArray("Sunucu ayaları"));
        QCOMPARE(window->mnuformat()->title().toUtf8(), QByteArray("&Biçimlendirme"));
        QCOMPARE(window->mnuabout()->text().toUtf8(), QByteArray("&Yazan hakkında"));
        QVERIFY(!window->mnuabout()->menu());
        QVERIFY(window->mnuabout()->isEnabled());
    }

    void tabOrder_data()
    {
        QTest::addColumn<bool>("chatEnabled");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("chat frame disabled")
                << false
                << QStringList({QStringLiteral("Text3"), QStringLiteral("Cmdconnct"),
                                QStringLiteral("List1"), QStringLiteral("Txtnick")});
        QTest::newRow("chat frame enabled")
                << true
                << QStringList({QStringLiteral("Text3"), QStringLiteral("Cmdconnct"),
                                QStringLiteral("Text2"), QStringLiteral("Command1"),
                                QStringLiteral("List1"), QStringLiteral("Text1"),
                                QStringLiteral("Txtnick")});
    }

    void tabOrder()
    {
        QFETCH(bool, chatEnabled);
        QFETCH(QStringList, order);
        window->Frame2()->setEnabled(chatEnabled);
        showActive();
        QCOMPARE(QApplication::focusWidget(), window->Txtnick());
        QStringList walked;
        for (qsizetype i = 0; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(walked, order);
    }

    void initialStates()
    {
        showActive();
        QVERIFY(window->Text4()->isHidden());
        QVERIFY(window->Frame1()->isEnabled());
        QVERIFY(!window->Frame2()->isEnabled());
        const QList<QWidget *> chat = {window->Text1(), window->Text2(), window->Command1(),
                                       window->Text1()->verticalScrollBar()};
        for (QWidget *w : chat)
            QVERIFY(!w->isEnabled());
        QCOMPARE(horizontal(window->Txtnick()->alignment()), int(Qt::AlignHCenter));
        QCOMPARE(horizontal(window->Text3()->alignment()), int(Qt::AlignHCenter));
        for (QLineEdit *box :
             {window->Txtnick(), window->Text2(), window->Text3(), window->Text4()}) {
            box->setText(QString(40000, u'ş'));
            QCOMPARE(box->text().size(), 40000);
        }
        QCOMPARE(window->Text1()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(window->List1()->model()->rowCount(), 0);
        QCOMPARE(window->List1()->selectionMode(), QAbstractItemView::SingleSelection);
        // Unsorted: the view shows the core's roster in the order it came.
        QCOMPARE(window->List1()->model(), &window->core().roster());
        QVERIFY(window->Command1()->isDefault());

        QVERIFY(window->Timer1()->isActive());
        QCOMPARE(window->Timer1()->interval(), 500);
        QVERIFY(!window->Timer2()->isActive());
        QCOMPARE(window->Timer2()->interval(), 2000);
        QVERIFY(window->Timer2()->isSingleShot());
    }

    void enterInInputBoxClicksSend()
    {
        window->Frame2()->setEnabled(true);
        showActive();
        QSignalSpy sends(window->Command1(), &QPushButton::clicked);
        window->Text2()->setFocus();
        QTest::keyClick(window->Text2(), Qt::Key_Return);
        QCOMPARE(sends.count(), 1);
        window->Frame2()->setEnabled(false);
        emit window->Text2()->returnPressed();
        QCOMPARE(sends.count(), 1);
    }

    void windowItself()
    {
        QCOMPARE(window->windowTitle().toUtf8(), QByteArray("Yazışma - Ana Modül"));
        QCOMPARE(window->objectName(), QStringLiteral("Form1"));
        const QList<QSize> sizes = window->windowIcon().availableSizes();
        for (int side : {16, 32, 48})
            QVERIFY(sizes.contains(QSize(side, side)));
        QVERIFY(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(window->font().family(), UiFonts::sansSerifFamily());
        QVERIFY(UiFonts::showsTurkish(window->menuBar()->font()));

        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->centralWidget()->size(), QSize(575, 506));
    }

    void resizingMovesNothing()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QList<QWidget *> widgets = window->centralWidget()->findChildren<QWidget *>();
        QList<QRect> before;
        for (QWidget *w : widgets)
            before << w->geometry();
        window->resize(window->size() + QSize(200, 150));
        QTRY_COMPARE(window->centralWidget()->width(), 775);
        window->resize(300, 200);
        QTRY_COMPARE(window->centralWidget()->width(), 300);
        for (qsizetype i = 0; i < widgets.size(); ++i)
            QCOMPARE(widgets[i]->geometry(), before[i]);
    }
};

QTEST_MAIN(TestForm1Layout)
#include "tst_form1layout.moc"
