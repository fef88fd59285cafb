// The user-interface side's run loop, as the host pumps it: GUI timer ticks reach their
// modules on the thread that calls these (the host's user-interface thread).
//
// Offline, the platform clock holds a virtual time that the engine advances with the
// audio it renders: advanceVirtualTime delivers every tick due on the way, each at its
// own virtual time, so renders see the same ticks on every run. A live host calls
// runDueTimers from its event loop and sleeps until nextTimerDue.
#pragma once

#include <cstdint>

namespace mphost {

// [ui-thread] Runs the timers due on the platform clock now. What the GUI harness does
// before every call into a module, as a host's event loop would between events. Returns
// the number of ticks delivered.
int runDueTimers();

// [ui-thread] Moves the virtual time forward to `nanoseconds` (never back), delivering
// each tick due by then with the clock at the tick's time; the clock ends at
// `nanoseconds`. Sets a virtual time when none was set. Returns the ticks delivered.
int advanceVirtualTime(std::int64_t nanoseconds);

// [ui-thread] When the next tick is due on the platform clock, in nanoseconds; -1 when no
// timer runs.
std::int64_t nextTimerDue();

}  // namespace mphost
