#include "common/allocation_counter.h"

namespace mphost {

namespace detail {
thread_local std::uint64_t allocations = 0;
std::atomic<bool> countingActive{false};
}  // namespace detail

bool allocationCountingActive()
{
    return detail::countingActive.load(std::memory_order_relaxed);
}

}  // namespace mphost
