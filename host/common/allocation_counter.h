// Counts heap allocations in the process, to prove that audio code allocates nothing.
// The count only moves in programs that link the counting allocator
// (target mp_allocation_counting); elsewhere it stays 0.
#pragma once

#include <atomic>
#include <cstdint>

namespace mphost {

namespace detail {
extern std::atomic<std::uint64_t> allocations;
extern std::atomic<bool> countingActive;
}  // namespace detail

// Allocations made so far by any thread. Inline: the harness reads it around every
// process() call.
inline std::uint64_t allocationCount()
{
    return detail::allocations.load(std::memory_order_relaxed);
}
// True when the counting allocator is linked in, so a count of 0 means something.
bool allocationCountingActive();

}  // namespace mphost
