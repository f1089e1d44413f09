// The wait of the playback: the order of its checks with a scripted clock, and the real
// event-loop hooks.
#include "platform/system.h"
#include "platform/wait.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <vector>

using namespace kelbo;

namespace {

// A clock that moves only when the wait idles; the idle may be cut short to play an event
// that wakes the thread early.
struct ScriptedClock {
    double now = 1000.0;
    double longestIdle = 1e9;
    int pumps = 0;
    std::vector<double> idles;
    std::function<void(int)> onPump; // runs at each pump with its number (1-based)

    WaitHooks hooks()
    {
        return {[this] { return now; },
                [this] {
                    ++pumps;
                    if (onPump)
                        onPump(pumps);
                },
                [this](double seconds) {
                    idles.push_back(seconds);
                    now += std::min(seconds, longestIdle);
                }};
    }
};

} // namespace

class TestWait : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void elapsesInOneIdle();
    void earlyWakeUps();
    void nothingToWait_data();
    void nothingToWait();
    void stopBeforeWaiting();
    void stopFromAnEvent();
    void timeUpComesBeforeStop();
    void realHooksWaitTheTime();
    void realHooksRunEventsAndSeeStop();
    void realHooksSleep();
};

void TestWait::elapsesInOneIdle()
{
    ScriptedClock clock;
    bool stop = false;
    QCOMPARE(waitWhileRunning(0.04f, stop, clock.hooks()), WaitEnd::Elapsed);
    QCOMPARE(clock.pumps, 1);
    QCOMPARE(clock.idles.size(), std::size_t(1));
    QCOMPARE(clock.idles.at(0), double(0.04f));
}

void TestWait::earlyWakeUps()
{
    ScriptedClock clock;
    clock.longestIdle = 0.25;
    bool stop = false;
    QCOMPARE(waitWhileRunning(1.0f, stop, clock.hooks()), WaitEnd::Elapsed);
    // Four passes, each idling for what is left; events run before each idle.
    QCOMPARE(clock.pumps, 4);
    QCOMPARE(clock.idles, (std::vector<double>{1.0, 0.75, 0.5, 0.25}));
    QCOMPARE(clock.now, 1001.0);
}

void TestWait::nothingToWait_data()
{
    QTest::addColumn<float>("seconds");
    QTest::newRow("zero") << 0.0f;
    QTest::newRow("negative") << -1.0f;
}

void TestWait::nothingToWait()
{
    QFETCH(float, seconds);
    ScriptedClock clock;
    bool stop = true;
    QCOMPARE(waitWhileRunning(seconds, stop, clock.hooks()), WaitEnd::Elapsed);
    QCOMPARE(clock.pumps, 0);
    QVERIFY(clock.idles.empty());
}

void TestWait::stopBeforeWaiting()
{
    ScriptedClock clock;
    bool stop = true;
    QCOMPARE(waitWhileRunning(1.0f, stop, clock.hooks()), WaitEnd::Stopped);
    QCOMPARE(clock.pumps, 0);
    QVERIFY(clock.idles.empty());
}

void TestWait::stopFromAnEvent()
{
    ScriptedClock clock;
    clock.longestIdle = 0.1;
    bool stop = false;
    clock.onPump = [&](int pump) {
        if (pump == 3)
            stop = true; // a click on Stop runs inside the third pump
    };
    QCOMPARE(waitWhileRunning(1.0f, stop, clock.hooks()), WaitEnd::Stopped);
    // No idle after the event that asked to stop.
    QCOMPARE(clock.pumps, 3);
    QCOMPARE(clock.idles.size(), std::size_t(2));
}

void TestWait::timeUpComesBeforeStop()
{
    ScriptedClock clock;
    bool stop = false;
    clock.onPump = [&](int) {
        stop = true;
        clock.now += 5.0; // the event itself took longer than the wait
    };
    QCOMPARE(waitWhileRunning(1.0f, stop, clock.hooks()), WaitEnd::Elapsed);
    QCOMPARE(clock.pumps, 1);
    QVERIFY(clock.idles.empty());
}

void TestWait::realHooksWaitTheTime()
{
    bool stop = false;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(waitWhileRunning(0.05f, stop, qtWaitHooks()), WaitEnd::Elapsed);
    QVERIFY2(timer.nsecsElapsed() >= 50'000'000, qPrintable(QString::number(timer.nsecsElapsed())));
}

void TestWait::realHooksRunEventsAndSeeStop()
{
    bool stop = false;
    bool ran = false;
    QTimer::singleShot(0, this, [&] { ran = true; });
    QTimer::singleShot(30, this, [&] { stop = true; });
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(waitWhileRunning(30.0f, stop, qtWaitHooks()), WaitEnd::Stopped);
    QVERIFY(ran);
    QVERIFY(timer.elapsed() < 10'000);
}

void TestWait::realHooksSleep()
{
    // A wait that spins would pass through its loop many thousand times in 0.2 second; one
    // that sleeps between events passes a handful of times.
    WaitHooks hooks = qtWaitHooks();
    int passes = 0;
    hooks.pumpEvents = [&passes] {
        ++passes;
        doEvents();
    };
    bool stop = false;
    QCOMPARE(waitWhileRunning(0.2f, stop, hooks), WaitEnd::Elapsed);
    QVERIFY2(passes < 50, qPrintable(QString::number(passes)));
    QVERIFY(passes >= 1);
}

QTEST_MAIN(TestWait)
#include "tst_wait.moc"
