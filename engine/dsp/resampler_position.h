// The position rule every interpolating loop shares (resampler_variants.h).
//
// Included by files built with and without -msse2 / -mavx2: the functions
// have internal linkage (an unnamed namespace), so each file keeps its own
// copy compiled with its own flags and the linker never mixes them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn {
namespace {

// Frame k (relative to the origin) and fraction t (0..65535, towards higher
// addresses) of a position d (16.16 frames) travelled from the origin.
inline void locate(uint64_t d, bool forward, int64_t *k, uint32_t *t) {
    const auto whole = static_cast<int64_t>(d >> 16);
    const auto f = static_cast<uint32_t>(d & 0xFFFF);
    if (forward || f == 0) {
        *k = forward ? whole : -whole;
        *t = f;
    } else {
        *k = -whole - 1;
        *t = 65536 - f;
    }
}

// The table row of a fraction: 2048 phases, rounded.
inline int32_t phase_of(uint32_t t) { return static_cast<int32_t>((t + 16) >> 5); }

// The origin and fraction of the rest of a stereo run, d travelled on.
inline const int16_t *rebase(const int16_t *origin, uint64_t d, bool forward, uint32_t *fraction) {
    *fraction = static_cast<uint32_t>(d & 0xFFFF);
    const auto whole = static_cast<ptrdiff_t>(d >> 16);
    return origin + 2 * (forward ? whole : -whole);
}

}  // namespace
}  // namespace zyn
