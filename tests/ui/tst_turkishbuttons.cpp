// The operator's message boxes speak Turkish in every locale: the toolkit's
// standard buttons come from its Turkish translation, with roles, default
// button, icon and title as designed.
#include "ui/operatordialogs.h"
#include "desktop/translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

struct Seen
{
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons; // in the order of the roles asked for
    QString defaultButton;
};

QString shown(const QAbstractButton *button)
{
    return button ? button->text().remove(u'&') : QString();
}

// Opens a box through show(), reads it once it is up, then answers it with
// the button of role `answer`.
Seen seenIn(const std::function<void()> &show, const QList<QMessageBox::StandardButton> &roles,
            QMessageBox::StandardButton answer)
{
    Seen seen;
    QTimer poll;
    int polls = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            if (++polls > 500) // five seconds: the box never came
                poll.stop();
            return;
        }
        poll.stop();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        for (QMessageBox::StandardButton role : roles)
            seen.buttons.append(shown(box->button(role)));
        seen.defaultButton = shown(box->defaultButton());
        box->button(answer)->click();
    });
    poll.start(10);
    show();
    return seen;
}

} // namespace

class TestTurkishButtons : public QObject
{
    Q_OBJECT

    MessageBoxDialogs dialogs;

private slots:
    void initTestCase()
    {
        // A desktop in another language: the buttons must not follow it.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(UiTranslations::install());
    }

    void stopWarning()
    {
        bool confirmed = true;
        const Seen seen = seenIn(
                [&] { confirmed = dialogs.confirmStop(nullptr, QStringLiteral("Durdurulsun mu?")); },
                {QMessageBox::Yes, QMessageBox::No}, QMessageBox::No);
        QCOMPARE(seen.title, QStringLiteral("UYARI"));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(seen.buttons, (QStringList{QStringLiteral("Evet"), QStringLiteral("Hayır")}));
        QCOMPARE(seen.defaultButton, QStringLiteral("Hayır"));
        QVERIFY(!confirmed);
    }

    void okBoxes_data()
    {
        QTest::addColumn<bool>("failure");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QMessageBox::Icon>("icon");
        QTest::newRow("input problem") << false << QStringLiteral("Hata") << QMessageBox::Information;
        QTest::newRow("failure") << true << QStringLiteral("Yazışma") << QMessageBox::NoIcon;
    }
    void okBoxes()
    {
        QFETCH(bool, failure);
        QFETCH(QString, title);
        QFETCH(QMessageBox::Icon, icon);
        const Seen seen = seenIn(
                [&] {
                    if (failure)
                        dialogs.failure(nullptr, Failure{10048, QStringLiteral("Adres kullanımda")});
                    else
                        dialogs.inputProblem(nullptr, QStringLiteral("Lakap boş olamaz."));
                },
                {QMessageBox::Ok}, QMessageBox::Ok);
        QCOMPARE(seen.title, title);
        QCOMPARE(seen.icon, icon);
        QCOMPARE(seen.buttons, QStringList{QStringLiteral("Tamam")});
    }
};

QTEST_MAIN(TestTurkishButtons)
#include "tst_turkishbuttons.moc"
