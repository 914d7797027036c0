// The window's side of what the server tells the operator: lines into the
// transcript box, reports over the window, and the window kept on top
// without taking the operator's typing away.
#include "fakedialogs.h"
#include "ui/transcriptview.h"
#include "ui/windowoperator.h"

#include <QLineEdit>
#include <QTest>
#include <QWindow>

namespace {

// Counts the hides and shows of a window, to see it does not flicker, and the
// shows that asked the platform to activate it.
class VisibilityCounter final : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            ++hides;
        if (event->type() == QEvent::Show) {
            ++shows;
            if (!static_cast<QWidget *>(watched)->testAttribute(Qt::WA_ShowWithoutActivating))
                ++activatingShows;
        }
        return false;
    }
    int hides = 0;
    int shows = 0;
    int activatingShows = 0;
};

struct Rig
{
    QWidget window;
    TranscriptView Text1{&window};
    QLineEdit nicknameBox{&window};
    FakeDialogs dialogs;
    WindowOperator desk{window, Text1, nicknameBox, dialogs};
};

} // namespace

class TestWindowOperator : public QObject
{
    Q_OBJECT

private slots:
    void linesAndRunsOfEmptyLinesReachTheBox()
    {
        Rig rig;
        rig.desk.showLine(QStringLiteral("a"));
        rig.desk.showEmptyLines(3);
        rig.desk.showLine(QStringLiteral("b"));
        QCOMPARE(rig.Text1.text(), QStringLiteral("a\r\n\r\n\r\n\r\nb\r\n"));
        QCOMPARE(rig.Text1.lineCount(), 6);
    }

    // The answer to the stop question is the box's.
    void reportsOpenOverTheWindow()
    {
        Rig rig;
        rig.desk.reportFailure(Failure{10053, QStringLiteral("Yazılım bağlantıyı kesti")});
        rig.desk.reportInputProblem(Operator::Field::Host, QStringLiteral("adres"));
        rig.dialogs.answer = false;
        QVERIFY(!rig.desk.confirmStop(QStringLiteral("emin misiniz?")));
        QCOMPARE(rig.dialogs.failures, QStringList{QStringLiteral("10053: Yazılım bağlantıyı kesti")});
        QCOMPARE(rig.dialogs.parents, (QList<QWidget *>{&rig.window, &rig.window, &rig.window}));
    }

    void windowStaysOnTopWithoutActivation()
    {
        Rig rig;
        rig.window.show();
        VisibilityCounter visibility;
        rig.window.installEventFilter(&visibility);

        // The offscreen platform activates every window it shows, so what is
        // checked is that this show does not ask for activation.
        QWindow *native = rig.window.windowHandle();
        rig.desk.keepOnTop();
        QVERIFY(rig.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(visibility.activatingShows, 0);
        // The hint reaches the window as it is: re-creating it would hide it
        // and redraw the whole window in the middle of a chat line.
        QCOMPARE(visibility.hides, 0);
        QCOMPARE(rig.window.windowHandle(), native);
        QVERIFY(native->flags().testFlag(Qt::WindowStaysOnTopHint));
        // The operator's own later shows still activate the window.
        QVERIFY(!rig.window.testAttribute(Qt::WA_ShowWithoutActivating));

        // Already on top and visible: later calls neither hide nor show it.
        const int hides = visibility.hides;
        const int shows = visibility.shows;
        rig.desk.keepOnTop();
        QCOMPARE(visibility.hides, hides);
        QCOMPARE(visibility.shows, shows);

        // A window the operator hid comes back, still without activation.
        rig.window.hide();
        rig.desk.keepOnTop();
        QCOMPARE(visibility.shows, shows + 1);
        QCOMPARE(visibility.activatingShows, 0);
    }
};

QTEST_MAIN(TestWindowOperator)
#include "tst_windowoperator.moc"
