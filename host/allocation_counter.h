// Counts heap allocations in the process, to prove that audio code allocates nothing.
// The count only moves in programs that link the counting allocator
// (target mp_allocation_counting); elsewhere it stays 0.
#pragma once

#include <atomic>
#include <cstdint>

namespace mphost {

// Allocations made so far by any thread.
std::uint64_t allocationCount();
// True when the counting allocator is linked in, so a count of 0 means something.
bool allocationCountingActive();

namespace detail {
extern std::atomic<std::uint64_t> allocations;
extern std::atomic<bool> countingActive;
}  // namespace detail

}  // namespace mphost
