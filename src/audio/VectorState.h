// SPDX-License-Identifier: GPL-3.0-or-later
// The upper halves of the vector registers, cleared before a long loop. Library code that
// leaves them in use (some of it runs on the GUI thread whenever a widget is built or painted)
// makes every later SSE instruction on that thread merge with them, which slows a plain float
// loop, a compressor over a clip say, more than tenfold.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace VectorState {
__attribute__((target("avx"))) inline void zeroUpperHalves()
{
    _mm256_zeroupper();
}
} // namespace VectorState

// A no-op on a processor without AVX, where there are no upper halves.
inline void clearUpperVectorState()
{
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        VectorState::zeroUpperHalves();
}
#else
inline void clearUpperVectorState() {}
#endif
