// Rows of Turkish text in the operator window never touch: the accents of
// "ĞÜŞİÖÇ" stay clear of the descenders of "gyşçğ" on the row above it, in the
// transcript and the roster, in every style the operator can choose, and the
// one-line boxes show such text whole. Checked on the drawn pixels.
#include "rowink.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"

#include <QLineEdit>
#include <QTest>

namespace {

QFont styled(QFont font, const QString &style)
{
    font.setBold(style == u"bold");
    font.setItalic(style == u"italic");
    font.setUnderline(style == u"underline");
    return font;
}

} // namespace

class TestRowInk : public QObject
{
    Q_OBJECT

    std::unique_ptr<Form1> window;

    template<typename T>
    T *control(const char *name)
    {
        auto *found = window->findChild<T *>(QLatin1String(name));
        Q_ASSERT(found);
        return found;
    }

    void rowsApart(QWidget *control, const std::function<void(QString, QString)> &show)
    {
        const RowInk::Inked inked = RowInk::rowsOf(control, show);
        QVERIFY(!inked.upper.empty());
        QVERIFY(!inked.lower.empty());
        QVERIFY2(!RowInk::share(inked),
                 qPrintable(QStringLiteral("%1: upper ends at %2, lower starts at %3")
                                    .arg(control->objectName())
                                    .arg(*inked.upper.rbegin())
                                    .arg(*inked.lower.begin())));
    }

private slots:
    void initTestCase()
    {
        UiFonts::load();
        window = std::make_unique<Form1>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanupTestCase() { window.reset(); }

    void rows_data()
    {
        QTest::addColumn<QString>("style");
        for (const char *style : {"normal", "bold", "italic", "underline"})
            QTest::newRow(style) << QString::fromLatin1(style);
    }

    void rows()
    {
        QFETCH(QString, style);
        auto *transcript = control<TranscriptView>("Text1");
        transcript->setFont(styled(transcript->font(), style));
        rowsApart(transcript, [&](const QString &upper, const QString &lower) {
            transcript->clear();
            transcript->appendLine(upper);
            transcript->appendLine(lower);
        });
        auto *roster = control<QListView>("List1");
        roster->setFont(styled(roster->font(), style));
        rowsApart(roster, [&](const QString &upper, const QString &lower) {
            RowInk::setRows(roster, upper, lower);
        });
    }

    void oneLineBoxes_data() { rows_data(); }

    void oneLineBoxes()
    {
        QFETCH(QString, style);
        const QString text = RowInk::Upper + RowInk::Lower;
        for (const char *name : {"Text2", "Txtnick", "Text3", "Text4"}) {
            auto *box = control<QLineEdit>(name);
            box->setFont(styled(box->font(), style));
            box->setText(text);
            box->setCursorPosition(0);
            const QImage shown = box->grab().toImage();
            box->clear();
            const int inked = int(RowInk::differingRows(shown, box->grab().toImage()).size());
            QCOMPARE(inked, RowInk::freeInkHeight(text, box->font(), box->devicePixelRatioF()));
        }
    }
};

QTEST_MAIN(TestRowInk)
#include "tst_rowink.moc"
