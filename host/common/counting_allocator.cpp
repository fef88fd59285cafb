// The counting allocator: linked into test programs and mphost so that every heap
// allocation, including those made inside dynamically loaded bundles, is counted.
// Under AddressSanitizer the sanitizer owns malloc and operator new, so its allocation
// hook counts instead.
#include <cstdlib>
#include <new>

#include "common/allocation_counter.h"

#if defined(__SANITIZE_ADDRESS__)
#define MP_SANITIZER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MP_SANITIZER_ALLOCATOR 1
#endif
#endif

#ifdef MP_SANITIZER_ALLOCATOR
// Provided by the sanitizer runtime (declared here: GCC installs no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, std::size_t),
                                                         void (*freeHook)(const volatile void*));

namespace {
void countAllocation(const volatile void*, std::size_t)
{
    mphost::detail::countAllocation();
}
void ignoreFree(const volatile void*) {}

const bool installed = [] {
    __sanitizer_install_malloc_and_free_hooks(countAllocation, ignoreFree);
    mphost::detail::countingActive = true;
    return true;
}();
}  // namespace

#else

namespace {

const bool installed = [] {
    mphost::detail::countingActive = true;
    return true;
}();

void* countedAllocate(std::size_t size)
{
    mphost::detail::countAllocation();
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void* countedAllocateAligned(std::size_t size, std::align_val_t alignment)
{
    mphost::detail::countAllocation();
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = ((size ? size : 1) + align - 1) / align * align;
    if (void* memory = std::aligned_alloc(align, rounded))
        return memory;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return countedAllocate(size); }
void* operator new[](std::size_t size) { return countedAllocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return countedAllocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return countedAllocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment) { return countedAllocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return countedAllocateAligned(size, alignment); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }

#endif
