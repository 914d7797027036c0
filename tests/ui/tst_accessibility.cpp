// What a screen reader finds in the operator window and the about window:
// every control's name and role through Qt's accessibility tree, what a reader
// finds after the roster, the transcript and the count label change, and the
// window driven from the keyboard alone.
#include "fakeendpoint.h"
#include "ui/fonts.h"
#include "ui/form1.h"
#include "ui/transcriptview.h"
#include "ui/frmabout.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include <map>

Q_DECLARE_METATYPE(QAccessible::Role)

namespace {

struct Spoken
{
    QString name;
    QAccessible::Role role = QAccessible::NoRole;
    bool invisible = false;
};

// Every object in the accessibility tree below root, by object name.
void walk(QAccessibleInterface *iface, std::map<QString, Spoken> &found, int depth = 0)
{
    constexpr int MaxDepth = 12;
    QVERIFY(iface && iface->isValid());
    QVERIFY(depth < MaxDepth);
    if (QObject *object = iface->object(); object && !object->objectName().isEmpty())
        found[object->objectName()] = {iface->text(QAccessible::Name), iface->role(),
                                       iface->state().invisible != 0};
    for (int i = 0; i < iface->childCount(); ++i) {
        walk(iface->child(i), found, depth + 1);
        if (QTest::currentTestFailed())
            return;
    }
}

std::map<QString, Spoken> tree(QObject *window)
{
    std::map<QString, Spoken> found;
    walk(QAccessible::queryAccessibleInterface(window), found);
    return found;
}

// Roles that stand for something the user reads or works with; all of them
// must speak a name.
bool needsName(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::EditableText:
    case QAccessible::PushButton:
    case QAccessible::List:
    case QAccessible::Grouping:
    case QAccessible::StaticText:
    case QAccessible::MenuItem:
    case QAccessible::PopupMenu:
    case QAccessible::Dialog:
    case QAccessible::Window:
        return true;
    default:
        return false;
    }
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

    FakeEndpointFactory factory;
    ControlledYield yield;
    std::unique_ptr<Form1> window;

    void addRows()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QAccessible::Role>("role");
    }
    void row(const char *object, const QString &name, QAccessible::Role role)
    {
        QTest::newRow(object) << QString::fromLatin1(object) << name << role;
    }

private slots:
    void init()
    {
        window = std::make_unique<Form1>(Form1::Services{&factory, &yield, nullptr});
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void cleanup() { window.reset(); }

    void operatorWindow_data()
    {
        addRows();
        row("Form1", QStringLiteral("Yazışma - Ana Modül"), QAccessible::Window);
        row("Frame1", QStringLiteral("Sunucu ayarları"), QAccessible::Grouping);
        row("Label2", QStringLiteral("Lakap  :"), QAccessible::StaticText);
        row("Txtnick", QStringLiteral("Lakap"), QAccessible::EditableText);
        row("Label3", QStringLiteral("Yerel pc adı yada IP :"), QAccessible::StaticText);
        row("Text3", QStringLiteral("Yerel pc adı yada IP"), QAccessible::EditableText);
        row("Cmdconnct", QStringLiteral("Haberleşme sunucusunu başlat"), QAccessible::PushButton);
        row("Frame2", QStringLiteral("Yazışma"), QAccessible::Grouping);
        row("Text1", QStringLiteral("Yazışma metni"), QAccessible::EditableText);
        row("Text2", QStringLiteral("Mesaj"), QAccessible::EditableText);
        row("Command1", QStringLiteral("Gönder"), QAccessible::PushButton);
        row("Label1", QStringLiteral("Bağlı kullanıcılar"), QAccessible::StaticText);
        row("List1", QStringLiteral("Bağlı kullanıcılar"), QAccessible::List);
        row("Label4", QStringLiteral("0 Kullanıcı bağlı"), QAccessible::StaticText);
        row("mnuserver", QStringLiteral("Sunucu ayaları"), QAccessible::PopupMenu);
        row("mnustart", QStringLiteral("Sunucuyu başlat"), QAccessible::MenuItem);
        row("mnudisconnect", QStringLiteral("Sunucuyu durdur"), QAccessible::MenuItem);
        row("mnuexit", QStringLiteral("Çık"), QAccessible::MenuItem);
        row("mnuformat", QStringLiteral("Biçimlendirme"), QAccessible::PopupMenu);
        row("mnubold", QStringLiteral("Kalın"), QAccessible::MenuItem);
        row("mnuitallic", QStringLiteral("Yatık"), QAccessible::MenuItem);
        row("mnuunderlined", QStringLiteral("Altı çizgili"), QAccessible::MenuItem);
        row("mnunone", QStringLiteral("Normal"), QAccessible::MenuItem);
        row("mnuclear", QStringLiteral("Sayfayı temizle"), QAccessible::MenuItem);
        row("mnuabout", QStringLiteral("Yazan hakkında"), QAccessible::MenuItem);
    }
    void operatorWindow()
    {
        QFETCH(QString, object);
        QFETCH(QString, name);
        QFETCH(QAccessible::Role, role);
        const auto found = tree(window.get());
        const auto it = found.find(object);
        QVERIFY2(it != found.end(), qPrintable(object));
        QCOMPARE(it->second.name, name);
        QCOMPARE(it->second.role, role);
    }

    void nothingVisibleIsNameless()
    {
        for (QObject *root : {static_cast<QObject *>(window.get()),
                              static_cast<QObject *>(window->mnuserver()),
                              static_cast<QObject *>(window->mnuformat())}) {
            for (const auto &[object, spoken] : tree(root)) {
                if (!spoken.invisible && needsName(spoken.role))
                    QVERIFY2(!spoken.name.isEmpty(), qPrintable(object));
            }
        }
    }

    void aboutWindow_data()
    {
        addRows();
        row("frmAbout", QStringLiteral("Yazan hakkında"), QAccessible::Dialog);
        row("Label1", QStringLiteral("Sohbet"), QAccessible::StaticText);
        row("Label2", QStringLiteral("v.1.00"), QAccessible::StaticText);
        row("Text1", QStringLiteral("Hakkında metni"), QAccessible::EditableText);
        row("Command1", QStringLiteral("Tamam"), QAccessible::PushButton);
    }
    void aboutWindow()
    {
        QFETCH(QString, object);
        QFETCH(QString, name);
        QFETCH(QAccessible::Role, role);
        auto *about = new frmAbout(window.get());
        about->show();
        const auto found = tree(about);
        about->close();
        const auto it = found.find(object);
        QVERIFY2(it != found.end(), qPrintable(object));
        QCOMPARE(it->second.name, name);
        QCOMPARE(it->second.role, role);
    }

    // Screen readers follow these through Qt's standard change events, which
    // Qt sends only while a reader is attached (none is, headless). What the
    // reader then asks for must already show the change.
    void changesReachTheReader()
    {
        window->Text1()->appendLine(QStringLiteral("Ali sohbete katıldı."));
        window->core().roster().append(QByteArrayLiteral("SERVER"));
        window->core().roster().append(QStringLiteral("Şükrü").toUtf8());
        window->Label4()->setText(QStringLiteral("2 Kullanıcı bağlı"));

        QAccessibleInterface *transcript = QAccessible::queryAccessibleInterface(window->Text1());
        QVERIFY(transcript->textInterface());
        const int length = transcript->textInterface()->characterCount();
        QCOMPARE(transcript->textInterface()->text(0, length),
                 QStringLiteral("Ali sohbete katıldı.\n"));

        QAccessibleInterface *roster = QAccessible::queryAccessibleInterface(window->List1());
        QCOMPARE(roster->childCount(), 2);
        QCOMPARE(roster->child(0)->text(QAccessible::Name), QStringLiteral("SERVER"));
        QCOMPARE(roster->child(1)->text(QAccessible::Name), QStringLiteral("Şükrü"));
        QCOMPARE(roster->child(1)->role(), QAccessible::ListItem);

        QCOMPARE(QAccessible::queryAccessibleInterface(window->Label4())->text(QAccessible::Name),
                 QStringLiteral("2 Kullanıcı bağlı"));
    }

    // Hostile characters reach the reader as the stand-ins the box shows, one
    // for one: the text goes on after a NUL, and an override turns nothing
    // round. Offsets stay the box's own.
    void oddCharactersReadAsShown_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("read");
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b")
                             << QStringLiteral("a\u2400b");
        QTest::newRow("override") << QStringLiteral("abc\u202Edef") << QStringLiteral("abc\u2E2Edef");
        QTest::newRow("escape and lone CR") << QStringLiteral("\x1b[2Jx\ry")
                                            << QStringLiteral("\u241B[2Jx\u240Dy");
        QTest::newRow("CR LF breaks the line") << QStringLiteral("bir\r\niki")
                                               << QStringLiteral("bir\niki");
    }
    void oddCharactersReadAsShown()
    {
        QFETCH(QString, line);
        QFETCH(QString, read);
        window->Text1()->appendLine(line);
        window->Text1()->appendLine(QStringLiteral("sonra"));
        QAccessibleTextInterface *text =
                QAccessible::queryAccessibleInterface(window->Text1())->textInterface();
        const QString all = read + QStringLiteral("\nsonra\n");
        QCOMPARE(text->characterCount(), all.size());
        QCOMPARE(text->text(0, text->characterCount()), all);
        int start = -1;
        int end = -1;
        QCOMPARE(text->textAtOffset(all.indexOf(u"sonra"), QAccessible::LineBoundary, &start, &end),
                 QStringLiteral("sonra"));
        QCOMPARE(text->textAtOffset(0, QAccessible::CharBoundary, &start, &end), read.left(1));
    }

    // The style chosen in the menu reaches the reader in the attributes
    // Qt's own text widgets give.
    void styleReachesTheReader_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QStringList>("unsaid");
        const QString family = QStringLiteral("font-family:\"%1\";").arg(UiFonts::tahomaFamily());
        QTest::newRow("as it starts")
                << QStringList{} << QStringList{family, u"font-size:9pt;"_qs, u"font-weight:bold;"_qs,
                                                 u"font-style:normal;"_qs}
                << QStringList{u"text-underline"_qs};
        QTest::newRow("Normal") << QStringList{u"mnunone"_qs}
                                << QStringList{u"font-weight:normal;"_qs, u"font-style:normal;"_qs}
                                << QStringList{u"text-underline"_qs};
        QTest::newRow("Yatık") << QStringList{u"mnuitallic"_qs}
                               << QStringList{u"font-style:italic;"_qs} << QStringList{};
        QTest::newRow("Altı çizgili")
                << QStringList{u"mnuunderlined"_qs}
                << QStringList{u"text-underline-style:solid;text-underline-type:single;"_qs}
                << QStringList{};
    }
    void styleReachesTheReader()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QStringList, said);
        QFETCH(QStringList, unsaid);
        window->Text1()->appendLine(QStringLiteral("merhaba"));
        for (const QString &name : clicks)
            window->findChild<QAction *>(name)->trigger();
        QAccessibleTextInterface *text =
                QAccessible::queryAccessibleInterface(window->Text1())->textInterface();
        int start = -1;
        int end = -1;
        const QString attributes = text->attributes(3, &start, &end);
        QCOMPARE(start, 0);
        QCOMPARE(end, text->characterCount());
        for (const QString &part : said)
            QVERIFY2(attributes.contains(part), qPrintable(attributes));
        for (const QString &part : unsaid)
            QVERIFY2(!attributes.contains(part), qPrintable(attributes));
    }

    void workedFromTheKeyboard()
    {
        // Start with Tab and Space, send a line with Enter, stop through the
        // menus with Alt+B and the arrow keys: no mouse anywhere.
        QCOMPARE(QApplication::focusWidget(), window->Txtnick());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window->Cmdconnct());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(window->Frame2()->isEnabled());

        window->Text2()->setFocus();
        QTest::keyClicks(window->Text2(), QStringLiteral("merhaba"));
        QTest::keyClick(window->Text2(), Qt::Key_Return);
        QCOMPARE(window->Text1()->text(), QStringLiteral("<SERVER> merhaba\r\n"));

        QTest::keyClick(window.get(), Qt::Key_B, Qt::AltModifier);
        QTRY_VERIFY(window->mnuformat()->isVisible());
        QTest::keyClick(window->mnuformat(), Qt::Key_Left);
        QTRY_VERIFY(window->mnuserver()->isVisible());
        QVERIFY(window->mnudisconnect()->isEnabled());
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
