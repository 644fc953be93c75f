// The playback family: COPYRIGHT, COPYSLICERIGHT, COPYSLICELEFT and their MOVE
// twins, which advance position and loop count exactly as the COPY form does
// without touching a sample. The run logic is the region walker's
// (region_walker.h); here the frames are copied into the caller's buffer.
#include "kernels.h"
#include "region_walker.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zyn {
namespace {

using walk::Region;

// The copying sink: frames go to consecutive places in the caller's buffer.
template <int F, bool kForward>
struct CopyFrames {
    uint8_t *dst;

    void run(const int16_t *src, int32_t n) {
        std::memcpy(dst, src, static_cast<size_t>(n) * F);
        dst += static_cast<size_t>(n) * F;
    }
    void gather(const int16_t *origin, uint32_t fraction, uint32_t step, int32_t n, bool) {
        const auto *base = reinterpret_cast<const uint8_t *>(origin);
        uint64_t distance = fraction;
        for (int32_t j = 0; j < n; ++j) {
            const auto whole = static_cast<ptrdiff_t>(distance >> 16) * F;
            std::memcpy(dst, kForward ? base + whole : base - whole, F);
            dst += F;
            distance += step;
        }
    }
    void silence(int32_t n) { std::memset(dst, 0, static_cast<size_t>(n) * F); }
};

// Unit step forward (COPYRIGHT / MOVERIGHT).
template <int F, bool kWrite>
void play_unit(uint8_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
               int32_t *loops, int32_t frames) {
    const Region r = walk::frame_region<F>(start, end);
    if (r.length == 0) {
        if (kWrite) std::memset(dst, 0, static_cast<size_t>(frames) * F);
        return;
    }
    if constexpr (kWrite) {
        CopyFrames<F, true> sink{dst};
        walk::walk_unit<F>(sink, r, pos, loops, frames);
    } else {
        walk::SkipFrames sink;
        walk::walk_unit<F>(sink, r, pos, loops, frames);
    }
}

// Steps that wrap (see walk::step_wraps), one frame at a time: the whole-frame
// part of the accumulator is kept modulo 2^15 / 2^14 frames, as a 16-bit byte
// offset would keep it.
template <int F, bool kForward, bool kWrite>
void play_slice_stepwise(uint8_t *dst, const Region &r, int16_t **pos, int32_t *loops,
                         uint64_t step, int32_t frames) {
    constexpr uint64_t kMask = F == 2 ? 0x7FFF : 0x3FFF;
    uint64_t acc = 0;
    int64_t off = walk::entry_offset<F, kForward>(r, *pos);
    int32_t left = *loops;
    for (int32_t i = 0; i < frames; ++i) {
        if (kWrite) {
            std::memcpy(dst, reinterpret_cast<const void *>(r.first + static_cast<uintptr_t>(off)), F);
            dst += F;
        }
        acc += step;
        const int64_t k = static_cast<int64_t>((acc >> 16) & kMask);
        acc &= 0xFFFF;
        if (k == 0) continue;
        if (kForward) {
            off += k * F;
            if (off < r.length) continue;
        } else {
            off -= k * F;
            if (off >= 0) continue;
        }
        left = walk::count_down(left);
        if (left == 0) {
            if (kWrite) std::memset(dst, 0, static_cast<size_t>(frames - i - 1) * F);
            break;
        }
        off = walk::wrap_offset<kForward>(r, off);
    }
    *pos = reinterpret_cast<int16_t *>(r.first + static_cast<uintptr_t>(off));
    *loops = left;
}

// Any speed, either direction (COPYSLICE* / MOVESLICE*).
template <int F, bool kForward, bool kWrite>
void play_slice(uint8_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                int32_t *loops, float speed, int32_t frames) {
    const Region r = walk::frame_region<F>(start, end);
    if (r.length == 0) {
        if (kWrite) std::memset(dst, 0, static_cast<size_t>(frames) * F);
        return;
    }
    const uint64_t step = walk::speed_step(speed);
    if (walk::step_wraps<F>(step)) {
        play_slice_stepwise<F, kForward, kWrite>(dst, r, pos, loops, step, frames);
    } else if constexpr (kWrite) {
        CopyFrames<F, kForward> sink{dst};
        walk::walk_slice<F, kForward>(sink, r, pos, loops, step, frames);
    } else {
        walk::SkipFrames sink;
        walk::walk_slice<F, kForward>(sink, r, pos, loops, step, frames);
    }
}

inline bool region_args_ok(const int16_t *start, int16_t **pos, const int16_t *end,
                           int32_t *loops) {
    return start != nullptr && pos != nullptr && end != nullptr && loops != nullptr;
}

inline uint8_t *bytes_of(int16_t *p) { return reinterpret_cast<uint8_t *>(p); }

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

void COPYRIGHT16(int16_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                 int32_t *loops, int32_t bytes) {
    if (bytes <= 0 || dst == nullptr || !region_args_ok(start, pos, end, loops)) return;
    play_unit<2, true>(bytes_of(dst), start, pos, end, loops, bytes / 2);
}

void COPYRIGHT32(int16_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                 int32_t *loops, int32_t bytes) {
    if (bytes <= 0 || dst == nullptr || !region_args_ok(start, pos, end, loops)) return;
    play_unit<4, true>(bytes_of(dst), start, pos, end, loops, bytes / 4);
}

void MOVERIGHT16(const int16_t *start, int16_t **pos, const int16_t *end, int32_t *loops,
                 int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || !region_args_ok(start, pos, end, loops)) return;
    play_unit<2, false>(nullptr, start, pos, end, loops, bytes / 2);
}

void MOVERIGHT32(const int16_t *start, int16_t **pos, const int16_t *end, int32_t *loops,
                 int32_t bytes) {
    if (bytes <= 1 || (bytes & 3) || !region_args_ok(start, pos, end, loops)) return;
    play_unit<4, false>(nullptr, start, pos, end, loops, bytes / 4);
}

void COPYSLICERIGHT16(int16_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                      int32_t *loops, float speed, int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || !(speed > 0.0f) || dst == nullptr ||
        !region_args_ok(start, pos, end, loops))
        return;
    play_slice<2, true, true>(bytes_of(dst), start, pos, end, loops, speed, bytes / 2);
}

void COPYSLICERIGHT32(int16_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                      int32_t *loops, float speed, int32_t bytes) {
    if (bytes <= 3 || (bytes & 3) || !(speed > 0.0f) || dst == nullptr ||
        !region_args_ok(start, pos, end, loops))
        return;
    play_slice<4, true, true>(bytes_of(dst), start, pos, end, loops, speed, bytes / 4);
}

void COPYSLICELEFT16(int16_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                     int32_t *loops, float speed, int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || !(speed < 0.0f) || dst == nullptr ||
        !region_args_ok(start, pos, end, loops))
        return;
    play_slice<2, false, true>(bytes_of(dst), start, pos, end, loops, speed, bytes / 2);
}

void COPYSLICELEFT32(int16_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                     int32_t *loops, float speed, int32_t bytes) {
    if (bytes <= 3 || (bytes & 3) || !(speed < 0.0f) || dst == nullptr ||
        !region_args_ok(start, pos, end, loops))
        return;
    play_slice<4, false, true>(bytes_of(dst), start, pos, end, loops, speed, bytes / 4);
}

void MOVESLICERIGHT16(const int16_t *start, int16_t **pos, const int16_t *end, int32_t *loops,
                      float speed, int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || !(speed > 0.0f) || !region_args_ok(start, pos, end, loops))
        return;
    play_slice<2, true, false>(nullptr, start, pos, end, loops, speed, bytes / 2);
}

void MOVESLICERIGHT32(const int16_t *start, int16_t **pos, const int16_t *end, int32_t *loops,
                      float speed, int32_t bytes) {
    if (bytes <= 3 || (bytes & 3) || !(speed > 0.0f) || !region_args_ok(start, pos, end, loops))
        return;
    play_slice<4, true, false>(nullptr, start, pos, end, loops, speed, bytes / 4);
}

void MOVESLICELEFT16(const int16_t *start, int16_t **pos, const int16_t *end, int32_t *loops,
                     float speed, int32_t bytes) {
    if (bytes <= 1 || (bytes & 1) || !(speed < 0.0f) || !region_args_ok(start, pos, end, loops))
        return;
    play_slice<2, false, false>(nullptr, start, pos, end, loops, speed, bytes / 2);
}

void MOVESLICELEFT32(const int16_t *start, int16_t **pos, const int16_t *end, int32_t *loops,
                     float speed, int32_t bytes) {
    if (bytes <= 3 || (bytes & 3) || !(speed < 0.0f) || !region_args_ok(start, pos, end, loops))
        return;
    play_slice<4, false, false>(nullptr, start, pos, end, loops, speed, bytes / 4);
}

}  // extern "C"
