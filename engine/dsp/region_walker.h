// The run logic of every playback: where a pass starts, where it ends, how an
// overshoot wraps, when the loop count runs out. One template walks a region
// of a wave for the exported playback kernels (which copy frames into a work
// buffer, or only advance) and for the mixer's fused voices (which scale, pan
// and sum frames straight into the output block); what happens to the frames
// is the sink's business.
//
// Positions are handled as byte offsets from the region's first frame so that
// a position outside the region, a step longer than the region, a region that
// is not a whole number of frames or one that starts inside a frame can never
// make a walk read outside [start, end) or write past the frames it was given:
//  - a position outside the region on entry starts at the region's first
//    frame (forward) or its last frame (backward), without counting a pass;
//  - an overshoot past a pass end wraps modulo the region's length;
//  - an empty region plays silence and leaves position and loops as they are.
//
// A sink provides, for frames of F bytes:
//   run(src, n)                       n frames read contiguously from src
//   gather(origin, fraction, step, n, last_pass)
//                                     n frames, frame j at origin +- ((fraction +
//                                     j x step) >> 16) frames (fraction < 65536);
//                                     last_pass: no pass follows this one
//   silence(n)                        n frames after the last pass
// Plain code only: included by files built without instruction-set flags.
#pragma once

#include <cmath>
#include <cstdint>

namespace zyn::walk {

struct Region {
    uintptr_t first;  // address of the first frame
    int64_t length;   // bytes, a whole number of frames
};

// The whole frames of [start, end), counted from start. A start inside a
// frame keeps its own frame grid, so that every pass reads the same whole
// frames and nothing before start or past end.
template <int F>
Region frame_region(const int16_t *start, const int16_t *end) {
    const auto first = reinterpret_cast<uintptr_t>(start);
    const auto limit = reinterpret_cast<uintptr_t>(end);
    const int64_t frames = limit > first ? static_cast<int64_t>(limit - first) / F : 0;
    return {first, frames * F};
}

// Offset of the entry position inside the region, on a frame boundary.
template <int F, bool kForward>
int64_t entry_offset(const Region &r, const int16_t *pos) {
    const auto p = reinterpret_cast<uintptr_t>(pos);
    if (p < r.first || p >= r.first + static_cast<uintptr_t>(r.length))
        return kForward ? 0 : r.length - F;
    return static_cast<int64_t>(p - r.first) / F * F;
}

// The loop count after a pass: 2^31 - 1 counts down like any other value,
// and a count that was 0 or below wraps round instead of stopping.
inline int32_t count_down(int32_t loops) {
    return static_cast<int32_t>(static_cast<uint32_t>(loops) - 1u);
}

// The offset a pass continues at after overshooting the region's end
// (forward) or start (backward): the overshoot carries over, modulo the
// region so that a step longer than the region still lands inside it.
template <bool kForward>
int64_t wrap_offset(const Region &r, int64_t off) {
    if (kForward) return (off - r.length) % r.length;
    const int64_t over = ((-off - 1) % r.length) + 1;
    return r.length - over;
}

// The 16.16 source step for a speed: the nearest integer to 65536 x |speed|.
inline uint64_t speed_step(float speed) {
    double magnitude = std::fabs(static_cast<double>(speed));
    if (magnitude > 32767.0) magnitude = 32767.0;
    return static_cast<uint64_t>(std::nearbyint(magnitude * 65536.0));
}

// Steps whose whole-frame part can pass 2^15 (2-byte frames) or 2^14 (4-byte
// frames) frames: the playback kernels keep that part modulo those counts, as
// a 16-bit byte offset would, and walk such steps frame by frame.
template <int F>
constexpr bool step_wraps(uint64_t step) {
    constexpr uint64_t kModulus = F == 2 ? 0x8000 : 0x4000;
    return step + 0xFFFF >= (kModulus << 16);
}

// Unit step forward: whole runs up to the pass end at a time.
template <int F, typename Sink>
void walk_unit(Sink &sink, const Region &r, int16_t **pos, int32_t *loops, int32_t frames) {
    int64_t off = entry_offset<F, true>(r, *pos);
    int32_t left = *loops;
    while (frames > 0) {
        const int64_t avail = (r.length - off) / F;
        const int32_t run = avail < frames ? static_cast<int32_t>(avail) : frames;
        sink.run(reinterpret_cast<const int16_t *>(r.first + static_cast<uintptr_t>(off)), run);
        off += static_cast<int64_t>(run) * F;
        frames -= run;
        if (off < r.length) continue;
        left = count_down(left);
        if (left == 0) {
            sink.silence(frames);
            break;
        }
        off = 0;
    }
    *pos = reinterpret_cast<int16_t *>(r.first + static_cast<uintptr_t>(off));
    *loops = left;
}

// Any step that does not wrap (see step_wraps), either direction. Within one
// pass the frame taken j steps after the pass's base frame is
// base +- floor((fraction + j x step) / 65536); the frames still inside the
// pass go to the sink in one piece, wraps and the loop count are handled
// between pieces.
//
// The position is a frame address, so the part of a step below one frame is
// dropped at the end of a walk, as the playback kernels always have. A walk
// that reads between frames keeps it instead: carry holds it from one walk
// to the next (16 bits of a frame).
template <int F, bool kForward, typename Sink>
void walk_slice(Sink &sink, const Region &r, int16_t **pos, int32_t *loops, uint64_t step,
                int32_t frames, uint32_t *carry = nullptr) {
    const int64_t length = r.length / F;  // frames in the region
    int64_t base = entry_offset<F, kForward>(r, *pos) / F;
    // 16.16 frames travelled from base, below 1.0 at a pass start.
    uint64_t distance = carry != nullptr ? (*carry & 0xFFFF) : 0;
    int32_t left = *loops;
    int32_t i = 0;
    while (i < frames) {
        // The pass ends once the whole frames travelled reach the room.
        const int64_t room = kForward ? length - base : base + 1;
        const uint64_t limit = static_cast<uint64_t>(room) << 16;
        if (distance < limit) {
            uint64_t count = static_cast<uint64_t>(frames - i);
            if (step != 0) {
                const uint64_t inside = (limit - distance + step - 1) / step;
                if (inside < count) count = inside;
            }
            const auto *origin =
                reinterpret_cast<const int16_t *>(r.first + static_cast<uintptr_t>(base) * F);
            sink.gather(origin, static_cast<uint32_t>(distance), static_cast<uint32_t>(step),
                        static_cast<int32_t>(count), left == 1);
            distance += count * step;
            i += static_cast<int32_t>(count);
        }
        const auto travelled = static_cast<int64_t>(distance >> 16);
        const int64_t p = kForward ? base + travelled : base - travelled;
        if (distance < limit) {  // the walk ends inside the pass
            base = p;
            break;
        }
        left = count_down(left);
        if (left == 0) {
            sink.silence(frames - i);
            base = p;
            break;
        }
        base = wrap_offset<kForward>(r, p * F) / F;
        distance &= 0xFFFF;
    }
    *pos = reinterpret_cast<int16_t *>(r.first + static_cast<uintptr_t>(base) * F);
    *loops = left;
    if (carry != nullptr) *carry = static_cast<uint32_t>(distance & 0xFFFF);
}

// A sink that only advances: the MOVE kernels and muted sounds.
struct SkipFrames {
    void run(const int16_t *, int32_t) {}
    void gather(const int16_t *, uint32_t, uint32_t, int32_t, bool) {}
    void silence(int32_t) {}
};

}  // namespace zyn::walk
