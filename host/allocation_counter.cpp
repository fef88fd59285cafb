#include "allocation_counter.h"

namespace mphost {

namespace detail {
std::atomic<std::uint64_t> allocations{0};
std::atomic<bool> countingActive{false};
}  // namespace detail

std::uint64_t allocationCount()
{
    return detail::allocations.load(std::memory_order_relaxed);
}

bool allocationCountingActive()
{
    return detail::countingActive.load(std::memory_order_relaxed);
}

}  // namespace mphost
