#pragma once
// Waiting on the user-interface thread without blocking it: pending events keep running, a
// stop request is seen at once, and between events the thread sleeps instead of spinning.

#include <functional>

namespace kelbo {

// What a wait needs from its surroundings; tests replace them with a scripted clock.
struct WaitHooks {
    std::function<double()> clock;       // seconds with fractions; must never go back
    std::function<void()> pumpEvents;    // lets the pending events run, without blocking
    // Sleeps at most the given number of seconds; may return early, when an event arrives
    // (the event is then run).
    std::function<void(double)> idle;
};

// The hooks of the running program: the monotonic clock, Qt's event pumping, and an idle
// that sleeps in the event loop until an event arrives or the time is up.
WaitHooks qtWaitHooks();

enum class WaitEnd { Elapsed, Stopped };

// Waits until `seconds` have passed on the hooks' clock or `stop` is true, whichever comes
// first. Each pass checks the time, then the stop flag, then lets pending events run (they
// may set `stop`), then idles for at most the time left. A wait of zero or less returns at
// once, without running any event.
WaitEnd waitWhileRunning(float seconds, const bool &stop, const WaitHooks &hooks);

} // namespace kelbo
