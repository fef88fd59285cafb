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
extern thread_local std::uint64_t allocations;  // by the calling thread
extern std::atomic<bool> countingActive;
}  // namespace detail

// Allocations made so far by the calling thread. Inline: the harness reads it around every
// process() call.
inline std::uint64_t allocationCount()
{
    return detail::allocations;
}
// True when the counting allocator is linked in, so a count of 0 means something.
bool allocationCountingActive();

}  // namespace mphost
