// When a burst of changes gets redrawn: after a pause, spaced out, and never
// held back for long by changes that do not pause.
#include "ui/redrawpacer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <vector>

namespace {

constexpr RedrawPacer::Timing Quick{.leadMs = 0, .spacingMs = 20, .quietMs = 2, .maxLagMs = 60};

// Timers of Qt may fire early by a twentieth of their interval (coarse
// timers) plus rounding to the millisecond.
constexpr qint64 notEarlierThan(int ms)
{
    return ms - ms / 20 - 1;
}

} // namespace

class TestRedrawPacer : public QObject
{
    Q_OBJECT

private slots:
    void aBurstIsDrawnOnceAfterItPauses()
    {
        RedrawPacer pacer(Quick);
        QSignalSpy due(&pacer, &RedrawPacer::due);
        QElapsedTimer burst;
        burst.start();
        for (int i = 0; i < 1000; ++i)
            pacer.changed();
        QCoreApplication::processEvents();
        // A machine that stalled for the whole pause proves nothing here.
        if (burst.elapsed() < Quick.quietMs) {
            QCOMPARE(due.count(), 0);
            QVERIFY(pacer.isPending());
        }
        QTRY_COMPARE(due.count(), 1);
        // Nothing changed since: nothing more is due.
        QVERIFY(!pacer.isPending());
    }

    void aLeadHoldsTheFirstRedrawBack()
    {
        RedrawPacer::Timing timing = Quick;
        timing.leadMs = 50;
        RedrawPacer pacer(timing);
        QElapsedTimer since;
        qint64 dueAt = -1;
        connect(&pacer, &RedrawPacer::due, this, [&] { dueAt = since.elapsed(); });
        since.start();
        pacer.changed();
        QTRY_VERIFY(dueAt >= 0);
        QVERIFY2(dueAt >= notEarlierThan(timing.leadMs), QByteArray::number(dueAt));
    }

    void aChangeRightAfterARedrawWaitsForTheSpacing()
    {
        RedrawPacer pacer(Quick);
        std::vector<qint64> dues;
        QElapsedTimer clock;
        clock.start();
        connect(&pacer, &RedrawPacer::due, this, [&] {
            dues.push_back(clock.elapsed());
            if (dues.size() == 1)
                pacer.changed();
        });
        pacer.changed();
        QTRY_COMPARE(dues.size(), 2u);
        QVERIFY2(dues[1] - dues[0] >= notEarlierThan(Quick.spacingMs),
                 QByteArray::number(dues[1] - dues[0]));
    }

    void changesThatNeverPauseAreDrawnWithinTheLag()
    {
        RedrawPacer pacer(Quick);
        struct Due
        {
            qint64 at;
            bool afterAPause; // the stream stalled since the redraw before
        };
        std::vector<Due> dues;
        bool paused = false;
        qint64 lastChangeNs = 0;
        QElapsedTimer clock;
        clock.start();
        // Half the pause looked for: the pacer's timer may be a little late
        // or early, so anything near a pause counts as one.
        const auto pausedSinceLastChange = [&] {
            return clock.nsecsElapsed() - lastChangeNs >= Quick.quietMs * 1'000'000LL / 2;
        };
        connect(&pacer, &RedrawPacer::due, this, [&] {
            dues.push_back({clock.elapsed(), paused || pausedSinceLastChange()});
            paused = false;
        });
        // Changes keep coming, as fast as the event loop turns.
        constexpr qint64 StreamMs = 5 * Quick.maxLagMs;
        while (clock.elapsed() < StreamMs) {
            paused = paused || pausedSinceLastChange();
            pacer.changed();
            lastChangeNs = clock.nsecsElapsed();
            QCoreApplication::processEvents();
        }
        // Each redraw comes at most the lag after the changes it shows began
        // to wait, so a stream of five lags is drawn at least twice while it
        // lasts, however slow the machine.
        QVERIFY2(dues.size() >= 2, QByteArray::number(qsizetype(dues.size())));
        // And no sooner than the lag, unless the stream itself paused (a
        // busy machine can stall this loop).
        for (std::size_t i = 1; i < dues.size(); ++i) {
            if (!dues[i].afterAPause)
                QVERIFY2(dues[i].at - dues[i - 1].at >= notEarlierThan(Quick.maxLagMs),
                         QByteArray::number(dues[i].at - dues[i - 1].at));
        }
        // The last change is drawn once the stream stops, and only once.
        const std::size_t during = dues.size();
        pacer.changed();
        QTRY_COMPARE(dues.size(), during + 1);
        QVERIFY(!pacer.isPending());
    }
};

QTEST_GUILESS_MAIN(TestRedrawPacer)
#include "tst_redrawpacer.moc"
