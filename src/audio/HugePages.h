// SPDX-License-Identifier: GPL-3.0-or-later
// Advice to back a large buffer with huge pages before it is first written.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

// Memory of long clips (hundreds of megabytes) is written once, page by page: in 2 MiB pages
// the kernel takes 512 times fewer faults to provide it.
constexpr std::size_t kHugePage = std::size_t(2) << 20;

// Asks for huge pages on the whole 2 MiB pages inside [begin, begin + bytes), before they are
// first written. Only advice: nothing changes where the system does not offer it.
inline void adviseHugePages(void *begin, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    const auto first = (reinterpret_cast<std::uintptr_t>(begin) + kHugePage - 1) / kHugePage * kHugePage;
    const auto end = (reinterpret_cast<std::uintptr_t>(begin) + bytes) / kHugePage * kHugePage;
    if (first < end)
        madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)bytes;
#endif
}

// At least `bytes` on whole huge pages of their own, advised as above; free with std::free.
// Null when the memory is not there.
inline void *allocateHugePages(std::size_t bytes)
{
    const std::size_t rounded = std::max<std::size_t>((bytes + kHugePage - 1) / kHugePage, 1) * kHugePage;
    void *memory = std::aligned_alloc(kHugePage, rounded);
    if (memory)
        adviseHugePages(memory, rounded);
    return memory;
}
