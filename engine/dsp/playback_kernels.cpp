// The playback family: COPYRIGHT, COPYSLICERIGHT, COPYSLICELEFT and their MOVE
// twins, which advance position and loop count exactly as the COPY form does
// without touching a sample.
//
// Positions are handled as byte offsets from the region's first frame so that
// a position outside the region, a step longer than the region, a region
// that is not a whole number of frames or one that starts inside a frame can
// never make a kernel read outside [start, end) or write past the bytes it
// was given:
//  - a position outside the region on entry starts at the region's first
//    frame (forward) or its last frame (backward), without counting a pass;
//  - an overshoot past a pass end wraps modulo the region's length;
//  - an empty region plays silence and leaves position and loops as they are.
#include "kernels.h"
#include "zyn.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zyn {
namespace {

struct Region {
    uintptr_t first;  // address of the first frame
    int64_t length;   // bytes, a whole number of frames
};

// The whole frames of [start, end), counted from start. For a start on a
// frame boundary these are the frames below end rounded down to a frame; a
// start inside a frame keeps its own frame grid, so that every pass reads the
// same whole frames and nothing before start or past end.
template <int F>
Region frame_region(const int16_t *start, const int16_t *end) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(start);
    const uintptr_t limit = reinterpret_cast<uintptr_t>(end);
    const int64_t frames = limit > first ? static_cast<int64_t>(limit - first) / F : 0;
    return {first, frames * F};
}

// Offset of the entry position inside the region, on a frame boundary.
template <int F, bool kForward>
int64_t entry_offset(const Region &r, const int16_t *pos) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(pos);
    if (p < r.first || p >= r.first + static_cast<uintptr_t>(r.length))
        return kForward ? 0 : r.length - F;
    return static_cast<int64_t>(p - r.first) / F * F;
}

inline int32_t count_down(int32_t loops) {
    return static_cast<int32_t>(static_cast<uint32_t>(loops) - 1u);
}

template <int F>
inline void put_frame(uint8_t *dst, uintptr_t src) {
    std::memcpy(dst, reinterpret_cast<const void *>(src), F);
}

// The offset a pass continues at after overshooting the region's end
// (forward) or start (backward): the overshoot carries over, modulo the
// region so that a step longer than the region still lands inside it.
template <int F, bool kForward>
int64_t wrap_offset(const Region &r, int64_t off) {
    if (kForward) return (off - r.length) % r.length;
    const int64_t over = ((-off - 1) % r.length) + 1;
    return r.length - over;
}

// The 16.16 source step for a speed: the nearest integer to 65536 x |speed|.
uint64_t speed_step(float speed) {
    double magnitude = std::fabs(static_cast<double>(speed));
    if (magnitude > 32767.0) magnitude = 32767.0;
    return static_cast<uint64_t>(std::nearbyint(magnitude * 65536.0));
}

// Unit step forward (COPYRIGHT / MOVERIGHT): whole runs up to the pass end at a time.
template <int F, bool kWrite>
void play_unit(uint8_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
               int32_t *loops, int32_t frames) {
    const Region r = frame_region<F>(start, end);
    if (r.length == 0) {
        if (kWrite) std::memset(dst, 0, static_cast<size_t>(frames) * F);
        return;
    }
    int64_t off = entry_offset<F, true>(r, *pos);
    int32_t left = *loops;
    while (frames > 0) {
        const int64_t avail = (r.length - off) / F;
        const int32_t run = avail < frames ? static_cast<int32_t>(avail) : frames;
        if (kWrite) {
            std::memcpy(dst, reinterpret_cast<const void *>(r.first + off),
                        static_cast<size_t>(run) * F);
            dst += static_cast<size_t>(run) * F;
        }
        off += static_cast<int64_t>(run) * F;
        frames -= run;
        if (off < r.length) continue;
        left = count_down(left);
        if (left == 0) {
            if (kWrite) std::memset(dst, 0, static_cast<size_t>(frames) * F);
            break;
        }
        off = 0;
    }
    *pos = reinterpret_cast<int16_t *>(r.first + off);
    *loops = left;
}

// Any speed, either direction (COPYSLICE* / MOVESLICE*), one frame at a time.
// Kept for 4-byte frames at speeds of 16384 and more, where the whole-frame
// part of the step wraps (see play_slice).
template <int F, bool kForward, bool kWrite>
void play_slice_stepwise(uint8_t *dst, const Region &r, int16_t **pos, int32_t *loops,
                         uint64_t step, int32_t frames) {
    // The whole-frame part of the accumulator is kept modulo 2^15 / 2^14
    // frames, as a 16-bit byte offset would keep it.
    constexpr uint64_t kMask = F == 2 ? 0x7FFF : 0x3FFF;
    uint64_t acc = 0;
    int64_t off = entry_offset<F, kForward>(r, *pos);
    int32_t left = *loops;
    for (int32_t i = 0; i < frames; ++i) {
        if (kWrite) {
            put_frame<F>(dst, r.first + off);
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
        left = count_down(left);
        if (left == 0) {
            if (kWrite) std::memset(dst, 0, static_cast<size_t>(frames - i - 1) * F);
            break;
        }
        off = wrap_offset<F, kForward>(r, off);
    }
    *pos = reinterpret_cast<int16_t *>(r.first + off);
    *loops = left;
}

// Any speed, either direction (COPYSLICE* / MOVESLICE*).
//
// Within one pass the frame written j steps after the pass's base frame is
// base +- floor((fraction + j x step) / 65536), so the inner loop only adds
// the step to a running distance and tests it against the room left in the
// pass; wraps and the loop count are handled between runs. This is the
// frame-by-frame accumulator of play_slice_stepwise, unrolled.
template <int F, bool kForward, bool kWrite>
void play_slice(uint8_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                int32_t *loops, float speed, int32_t frames) {
    const Region r = frame_region<F>(start, end);
    if (r.length == 0) {
        if (kWrite) std::memset(dst, 0, static_cast<size_t>(frames) * F);
        return;
    }
    const uint64_t step = speed_step(speed);
    // Only steps whose whole-frame part can exceed the modulus need the
    // frame-by-frame form; for 2-byte frames the speed limit keeps them out.
    constexpr uint64_t kModulus = F == 2 ? 0x8000 : 0x4000;
    if (step + 0xFFFF >= (kModulus << 16)) {
        play_slice_stepwise<F, kForward, kWrite>(dst, r, pos, loops, step, frames);
        return;
    }
    const int64_t length = r.length / F;  // frames in the region
    int64_t base = entry_offset<F, kForward>(r, *pos) / F;
    uint64_t distance = 0;  // 16.16 frames travelled from base
    int32_t left = *loops;
    int32_t i = 0;
    while (i < frames) {
        // The pass ends once the whole frames travelled reach the room.
        const int64_t room = kForward ? length - base : base + 1;
        const uint64_t limit = static_cast<uint64_t>(room) << 16;
        if (kWrite) {
            const uintptr_t origin = r.first + static_cast<uintptr_t>(base) * F;
            while (i < frames && distance < limit) {
                const auto whole = static_cast<uintptr_t>(distance >> 16) * F;
                put_frame<F>(dst, kForward ? origin + whole : origin - whole);
                dst += F;
                distance += step;
                ++i;
            }
        } else if (distance < limit) {
            // Steps still inside the pass: those that keep distance below limit.
            const uint64_t inside = (limit - distance + step - 1) / (step ? step : 1);
            const uint64_t todo = step == 0 ? static_cast<uint64_t>(frames - i)
                                            : (inside < static_cast<uint64_t>(frames - i)
                                                   ? inside
                                                   : static_cast<uint64_t>(frames - i));
            distance += todo * step;
            i += static_cast<int32_t>(todo);
        }
        const auto travelled = static_cast<int64_t>(distance >> 16);
        int64_t p = kForward ? base + travelled : base - travelled;
        if (distance < limit) {  // the call ends inside the pass
            base = p;
            break;
        }
        left = count_down(left);
        if (left == 0) {
            if (kWrite) std::memset(dst, 0, static_cast<size_t>(frames - i) * F);
            base = p;
            break;
        }
        base = wrap_offset<F, kForward>(r, p * F) / F;
        distance &= 0xFFFF;
    }
    *pos = reinterpret_cast<int16_t *>(r.first + base * F);
    *loops = left;
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
