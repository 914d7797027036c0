// The yield's slice policy against Qt's real event loop: when a yield lets
// events in, and that events pending then are all handled.
#include "net/yield.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <utility>

class TestEventLoopYield : public QObject
{
    Q_OBJECT

    // Runs body from a timer once the event loop has waited for it, blocked,
    // a while: the handler then starts right after the loop woke up, as a
    // socket's handler does after a quiet spell. Body gets the time since the
    // handler started and whether an event it posted has been handled.
    template<typename Body>
    void afterAWait(Body body)
    {
        constexpr int WaitMs = 4 * EventLoopYield::SliceMs;
        constexpr int GiveUpMs = 10'000;
        QEventLoop loop;
        bool ran = false;
        QTimer::singleShot(WaitMs, &loop, [&] {
            QElapsedTimer handler;
            handler.start();
            bool handled = false;
            QMetaObject::invokeMethod(this, [&] { handled = true; }, Qt::QueuedConnection);
            body(std::as_const(handler), std::as_const(handled));
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
        afterAWait([&](const QElapsedTimer &handler, const bool &handled) {
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
        afterAWait([&](const QElapsedTimer &handler, const bool &handled) {
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
