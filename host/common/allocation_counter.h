// Counts heap allocations per thread, to prove that audio code allocates nothing: a count
// taken around process() on the audio thread is not moved by a user-interface thread
// allocating at the same time.
// The count only moves in programs that link the counting allocator
// (target mp_allocation_counting); elsewhere it stays 0.
#pragma once

#include <atomic>
#include <cstdint>

namespace mphost {

namespace detail {
// Counts one allocation for the calling thread (the counting allocator's hook).
void countAllocation();
extern std::atomic<bool> countingActive;
}  // namespace detail

// Allocations made so far by the calling thread. The per-thread count lives in one
// translation unit only: reached from others through the thread-local wrapper, it read as
// a null address in sanitized builds, from allocation hooks on threads being set up.
std::uint64_t allocationCount();
// True when the counting allocator is linked in, so a count of 0 means something.
bool allocationCountingActive();

}  // namespace mphost
