// The monotonic clock that GUI modules read to time pointer gestures (double clicks,
// repeat delays). In a live host it is the system's steady clock; an offline host sets a
// virtual time that advances with the audio it renders, so a scripted render reads the
// same times on every run.
//
// This library is shared by the host and every bundle loaded into the process, like an
// operating-system service, so a time set by the host is the time every module reads.
#pragma once

#include <cstdint>

#define MP_PLATFORM_API __attribute__((visibility("default")))

namespace platform {

// [any] Nanoseconds since an arbitrary fixed start: the virtual time while one is set,
// otherwise the system's steady clock. Never decreases while the host only advances the
// virtual time.
MP_PLATFORM_API std::int64_t monotonicNanoseconds();

// [host, ui-thread] From now on the clock reads `nanoseconds` (>= 0) until the next call.
MP_PLATFORM_API void setVirtualTime(std::int64_t nanoseconds);

// [host, ui-thread] Back to the system's steady clock.
MP_PLATFORM_API void useRealTime();

// [any] True while a virtual time is set.
MP_PLATFORM_API bool isVirtualTime();

}  // namespace platform
