#include "platform/wait.h"

#include "platform/system.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace kelbo {

namespace {

// Sleeps in the event loop: a precise single-shot timer bounds the sleep, and any event that
// arrives earlier (a click, a paint) wakes the thread and runs.
void idleInEventLoop(double seconds)
{
    const double ms = std::ceil(seconds * 1000.0);
    const int bounded = int(std::clamp(ms, 1.0, 1000.0 * 60.0));
    if (!QCoreApplication::instance()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(bounded));
        return;
    }
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    timer.start(bounded);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

WaitHooks qtWaitHooks()
{
    return {monotonicSeconds, doEvents, idleInEventLoop};
}

WaitEnd waitWhileRunning(float seconds, const bool &stop, const WaitHooks &hooks)
{
    const double wanted = seconds;
    const double start = hooks.clock();
    for (;;) {
        if (hooks.clock() - start >= wanted)
            return WaitEnd::Elapsed;
        if (stop)
            return WaitEnd::Stopped;
        hooks.pumpEvents();
        const double left = wanted - (hooks.clock() - start);
        if (left > 0 && !stop)
            hooks.idle(left);
    }
}

} // namespace kelbo
