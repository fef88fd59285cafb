// Run-loop timers: the operating-system interface GUI modules use for periodic calls on
// the user-interface thread, and the pump through which a host's user-interface side
// delivers them.
//
// The C functions below are what bundles call. They live in this shared library, never
// in a bundle, so a host process may supply its own run loop by defining the same
// functions itself (exported from its executable, they take precedence over these).
//
// Time is the platform clock (clock.h) in seconds: the host's virtual time while one is
// set, otherwise the steady clock. Its epoch is arbitrary; only differences matter.
//
// Each thread has its own run loop, created on first use. Timers fire only while the
// owning thread pumps it (platform::runTimersUntil / runDueTimers), one at a time, in
// order of fire time (timers due at the same time in the order they were added). All
// calls for one run loop belong on its thread; nothing is locked.
#pragma once

#include <cstdint>
#include <vector>

#define MP_PLATFORM_C_API extern "C" __attribute__((visibility("default")))
#define MP_PLATFORM_CPP_API __attribute__((visibility("default")))

// ---------------------------------------------------------------------------------
// The interface of bundles

struct PlatformRunLoop;
struct PlatformRunLoopTimer;
struct PlatformString;
struct PlatformAllocator;

typedef struct PlatformRunLoop* CFRunLoopRef;
typedef struct PlatformRunLoopTimer* CFRunLoopTimerRef;
typedef const struct PlatformString* CFStringRef;
typedef CFStringRef CFRunLoopMode;
typedef const struct PlatformAllocator* CFAllocatorRef;
typedef const void* CFTypeRef;
typedef double CFAbsoluteTime;  // seconds on the platform clock
typedef double CFTimeInterval;  // seconds
typedef unsigned long CFOptionFlags;
typedef long CFIndex;

// [run-loop thread] Called when `timer` fires, with the context's `info`.
typedef void (*CFRunLoopTimerCallBack)(CFRunLoopTimerRef timer, void* info);

// What a timer passes back to its callback. `retain` (may be null) is called on `info`
// when the timer is created, `release` (may be null) when the timer is destroyed;
// `copyDescription` is not used.
struct CFRunLoopTimerContext {
    CFIndex version;  // 0
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    CFStringRef (*copyDescription)(const void* info);
};

// The default allocator: timers are allocated by the platform whatever is passed.
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// The set of modes every pump runs. Timers added in any mode fire; the mode names which
// membership CFRunLoopRemoveTimer ends.
MP_PLATFORM_C_API const CFStringRef kCFRunLoopCommonModes;

// [any] The platform clock in seconds.
MP_PLATFORM_C_API CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);

// [any] The calling thread's run loop (created on first use, lives as long as the
// thread). The caller does not own it.
MP_PLATFORM_C_API CFRunLoopRef CFRunLoopGetCurrent(void);

// [any] A timer that first fires at `fireDate` and then every `interval` seconds; an
// interval of 0 or less (or not a number) fires once and invalidates the timer. `flags`
// and `order` are ignored. The caller owns the one reference returned (CFRelease). Null
// when `callout` is null or `fireDate` is not a number.
MP_PLATFORM_C_API CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                                         CFTimeInterval interval, CFOptionFlags flags, CFIndex order,
                                                         CFRunLoopTimerCallBack callout,
                                                         CFRunLoopTimerContext* context);

// [run-loop thread] Schedules a valid timer on `runLoop` (the run loop keeps a reference
// while it is scheduled). A timer is on at most one run loop; adding it again, in
// another mode or to another run loop, changes nothing. Null arguments are ignored.
MP_PLATFORM_C_API void CFRunLoopAddTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode);

// [run-loop thread] Takes `timer` off `runLoop` (dropping the run loop's reference).
MP_PLATFORM_C_API void CFRunLoopRemoveTimer(CFRunLoopRef runLoop, CFRunLoopTimerRef timer, CFRunLoopMode mode);

// [run-loop thread] The timer never fires again and leaves its run loop. It still
// exists until its last reference is released.
MP_PLATFORM_C_API void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer);

// [any] Drops one reference to a timer; the last one destroys it. Run loops and the
// mode constants are not reference-counted: releasing them does nothing. Null is ignored.
MP_PLATFORM_C_API void CFRelease(CFTypeRef object);

// ---------------------------------------------------------------------------------
// The interface of hosts

namespace platform {

// [ui-thread] Fires the calling thread's timers due at or before `nanoseconds` on the
// platform clock, each at its own time: while a virtual time is set, the clock is moved
// forward to each timer's fire time before its callback runs (it is left at the last
// one; the caller then sets the time it wants). Every tick of a repeating timer is
// delivered, so offline renders see the same ticks at the same times on every run. On
// the real clock, a timer late by several intervals fires once and then keeps its phase
// in the future, as a live run loop does. Timers added by a callback fire in the same
// pump when due. A call made from inside a timer callback does nothing. Returns the
// number of callbacks run (at most a million per call, against runaway timers).
MP_PLATFORM_CPP_API int runTimersUntil(std::int64_t nanoseconds);

// [ui-thread] runTimersUntil(the clock's current reading): what a live host calls from
// its event loop.
MP_PLATFORM_CPP_API int runDueTimers();

// [ui-thread] When the calling thread's next timer fires, in nanoseconds on the platform
// clock; -1 when none is scheduled. A live host sleeps until then.
MP_PLATFORM_CPP_API std::int64_t nextTimerFire();

// A timer scheduled on the calling thread's run loop.
struct ScheduledTimer {
    CFRunLoopTimerRef timer;
    double fireDate;  // seconds, the next fire
    double interval;  // seconds, 0 for a timer that fires once
};

// [ui-thread] The timers scheduled on the calling thread's run loop, in firing order.
MP_PLATFORM_CPP_API std::vector<ScheduledTimer> scheduledTimers();

}  // namespace platform
