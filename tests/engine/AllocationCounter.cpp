// SPDX-License-Identifier: GPL-3.0-or-later
// Sanitizer builds count through the runtime's malloc hook; plain builds wrap glibc's
// allocator entry points, which operator new also goes through.
#include "AllocationCounter.h"

#include <atomic>
#include <cstddef>

namespace {
std::atomic<std::uint64_t> counted{0};
thread_local bool counting = false;

void note() noexcept
{
    if (counting)
        counted.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void *, std::size_t),
                                                         void (*freeHook)(const volatile void *));
namespace {
void onMalloc(const volatile void *, std::size_t)
{
    note();
}
[[maybe_unused]] const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, nullptr) != 0;
} // namespace
#else
extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);

void *malloc(std::size_t size)
{
    note();
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    note();
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, std::size_t size)
{
    note();
    return __libc_realloc(pointer, size);
}
}
#endif

namespace AllocationCounter {
std::uint64_t count()
{
    return counted.load(std::memory_order_relaxed);
}

Scope::Scope() noexcept
{
    counting = true;
}

Scope::~Scope()
{
    counting = false;
}
} // namespace AllocationCounter
