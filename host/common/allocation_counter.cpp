#include "common/allocation_counter.h"

namespace mphost {

namespace {
thread_local std::uint64_t allocations = 0;  // by the calling thread
}  // namespace

namespace detail {
std::atomic<bool> countingActive{false};

void countAllocation()
{
    ++allocations;
}
}  // namespace detail

std::uint64_t allocationCount()
{
    return allocations;
}

bool allocationCountingActive()
{
    return detail::countingActive.load(std::memory_order_relaxed);
}

}  // namespace mphost
