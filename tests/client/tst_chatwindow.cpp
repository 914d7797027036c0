// The client window without a server: what a keyboard or screen reader user
// meets, the toolkit's Turkish words, and how a read is shown.
#include "chatwindow.h"
#include "conversation.h"
#include "desktop/translations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestChatWindow : public QObject
{
    Q_OBJECT

private slots:
    void everyFocusableControlHasATurkishName()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("s.conf")), QSettings::IniFormat);
        ChatWindow window(settings);
        int focusable = 0;
        for (const QWidget *w : window.findChildren<QWidget *>()) {
            if (w->focusPolicy() == Qt::NoFocus || w->focusProxy() || !w->isVisibleTo(&window))
                continue;
            ++focusable;
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
        QVERIFY(focusable >= 8);
    }

    void tabWalksTheUsableControls()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("s.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("lakap"), QStringLiteral("Ayşe"));
        ChatWindow window(settings);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // A remembered nickname: the connect button is ready for Enter.
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("connectButton"));
        QStringList walked;
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked.append(QApplication::focusWidget()->objectName());
        }
        // Leaving, the input line and sending wait for a connection.
        QCOMPARE(walked, (QStringList{QStringLiteral("conversationView"), QStringLiteral("peopleView"),
                                      QStringLiteral("nicknameEdit"), QStringLiteral("addressEdit"),
                                      QStringLiteral("connectButton")}));
    }

    void missingNicknameIsAskedFor()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("s.conf")), QSettings::IniFormat);
        ChatWindow window(settings);
        window.findChild<QPushButton *>(QStringLiteral("connectButton"))->click();
        QCOMPARE(window.session().state(), ChatSession::State::Disconnected);
        QVERIFY(settings.allKeys().isEmpty());
    }

    void standardButtonsInTurkish()
    {
        QVERIFY2(UiTranslations::install(),
                 "qtbase_tr.qm missing: install qt6-translations-l10n");
        QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Close);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("İptal"));
    }

    // The view lays text out lazily: its scroll range grows after the lines
    // are in, and a flood of long lines must still leave the end in view.
    void endStaysInViewUnlessScrolledAway()
    {
        QPlainTextEdit view;
        view.resize(300, 200);
        Conversation conversation(view);
        view.show();
        QScrollBar *bar = view.verticalScrollBar();
        // Reads come one by one, with the window's events run in between.
        for (int i = 0; i < 50; ++i) {
            conversation.addChat(QString(Conversation::MaxShownChars + 1, u'ğ'));
            QCoreApplication::processEvents();
        }
        conversation.addChat(QStringLiteral("<Ali> son"));
        QTRY_VERIFY(bar->maximum() > 0);
        QTRY_COMPARE(bar->value(), bar->maximum());

        bar->setValue(0);
        conversation.addChat(QStringLiteral("<Ali> bir daha"));
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 0);
    }

    void readsAsShown_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("<Ali> merhaba") << QStringLiteral("<Ali> merhaba");
        QTest::newRow("controls and a bidi override")
                << QStringLiteral("a\u0007b\r\n\u202Ec") << QStringLiteral("a␇b␍␊⸮c");
        const QString longText(Conversation::MaxShownChars + 10, u'x');
        QTest::newRow("too long: cut, with its size")
                << longText
                << QString(Conversation::MaxShownChars, u'x') + QStringLiteral(" … (toplam 4106 karakter)");
        // A letter outside the first plane is two UTF-16 units; the cut must
        // not fall between them.
        const QString face = QStringLiteral("\U0001F600");
        const QString straddling = QString(Conversation::MaxShownChars - 1, u'x') + face + face;
        QTest::newRow("cut before a letter of two units")
                << straddling
                << QString(Conversation::MaxShownChars - 1, u'x') + QStringLiteral(" … (toplam 4099 karakter)");
    }
    void readsAsShown()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(Conversation::shown(text), shown);
    }
};

QTEST_MAIN(TestChatWindow)
#include "tst_chatwindow.moc"
