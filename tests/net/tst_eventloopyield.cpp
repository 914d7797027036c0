// The yield's slice policy against Qt's real event loop: when a yield lets
// events in, and that events pending then are all handled.
#include "net/yield.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

class TestEventLoopYield : public QObject
{
    Q_OBJECT

    // Runs body from a timer once the event loop has waited for it, blocked,
    // a while: the handler then starts right after the loop woke up, as a
    // socket's handler does after a quiet spell.
    template<typename Body>
    static void afterAWait(Body body)
    {
        constexpr int WaitMs = 4 * EventLoopYield::SliceMs;
        constexpr int GiveUpMs = 10'000;
        QEventLoop loop;
        bool ran = false;
        QTimer::singleShot(WaitMs, &loop, [&] {
            body();
            ran = true;
            loop.quit();
        });
        QTimer::singleShot(GiveUpMs, &loop, &QEventLoop::quit);
        loop.exec();
        QVERIFY(ran);
    }

private slots:
    void forcedYieldHandlesWhatIsPending()
    {
        EventLoopYield yield;
        bool handled = false;
        QMetaObject::invokeMethod(this, [&] { handled = true; }, Qt::QueuedConnection);
        yield.forceNext();
        yield();
        QVERIFY(handled);
        QCOMPARE(yield.passes(), 1u);
    }

    void aQuietSpellDoesNotUseUpTheSlice()
    {
        EventLoopYield yield;
        afterAWait([&] {
            QElapsedTimer handler;
            handler.start();
            bool handled = false;
            QMetaObject::invokeMethod(this, [&] { handled = true; }, Qt::QueuedConnection);
            for (unsigned i = 0; i < 4 * EventLoopYield::CheckEvery; ++i)
                yield();
            // A machine that stalled this handler for a whole slice proves
            // nothing either way.
            if (handler.elapsed() >= EventLoopYield::SliceMs)
                QSKIP("the handler itself took a whole slice");
            QCOMPARE(yield.passes(), 0u);
            QVERIFY(!handled);
        });
    }

    void aLongHandlerLetsEventsInOncePerSlice()
    {
        EventLoopYield yield;
        afterAWait([&] {
            QElapsedTimer handler;
            handler.start();
            bool handled = false;
            QMetaObject::invokeMethod(this, [&] { handled = true; }, Qt::QueuedConnection);
            // Yields, as a long broadcast makes them, until one lets events in.
            constexpr qint64 GiveUpMs = 10'000;
            while (yield.passes() == 0 && handler.elapsed() < GiveUpMs)
                yield();
            QCOMPARE(yield.passes(), 1u);
            QVERIFY(handled);
            QVERIFY(handler.elapsed() >= EventLoopYield::SliceMs);
        });
    }
};

QTEST_GUILESS_MAIN(TestEventLoopYield)
#include "tst_eventloopyield.moc"
