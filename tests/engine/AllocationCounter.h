// SPDX-License-Identifier: GPL-3.0-or-later
// Counts heap allocations made on one thread while a scope is open: a malloc hook that
// sees malloc, calloc, realloc and operator new, in sanitizer builds and plain ones.
#pragma once

#include <cstdint>

namespace AllocationCounter {
// Allocations counted so far, on every thread, inside open scopes.
std::uint64_t count();

// Counts the allocations of the thread that opened it until it closes. Real-time safe.
class Scope
{
public:
    Scope() noexcept;
    ~Scope();
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;
};
} // namespace AllocationCounter
