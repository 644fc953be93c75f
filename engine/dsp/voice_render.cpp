// Fused voice rendering: the run logic of the stereo playback kernels
// (COPYRIGHT32, COPYSLICERIGHT32, COPYSLICELEFT32) driving inner loops that
// scale, pan and add in one pass, plus the plain forms of those loops.
//
// Position, pass ends, wraps and loop counts follow playback_kernels.cpp
// step for step; only what happens to a frame differs (it is summed into the
// output instead of copied into a work buffer).
#include "voice_render.h"

#include "kernels.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace zyn {
namespace {

constexpr int kFrame = 4;  // stereo 16-bit frame

struct Region {
    uintptr_t first;
    int64_t length;  // bytes, whole frames
};

Region frame_region(const int16_t *start, const int16_t *end) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(start);
    const uintptr_t limit = reinterpret_cast<uintptr_t>(end);
    const int64_t frames = limit > first ? static_cast<int64_t>(limit - first) / kFrame : 0;
    return {first, frames * kFrame};
}

template <bool kForward>
int64_t entry_offset(const Region &r, const int16_t *pos) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(pos);
    if (p < r.first || p >= r.first + static_cast<uintptr_t>(r.length))
        return kForward ? 0 : r.length - kFrame;
    return static_cast<int64_t>(p - r.first) / kFrame * kFrame;
}

inline int32_t count_down(int32_t loops) {
    return static_cast<int32_t>(static_cast<uint32_t>(loops) - 1u);
}

template <bool kForward>
int64_t wrap_offset(const Region &r, int64_t off) {
    if (kForward) return (off - r.length) % r.length;
    const int64_t over = ((-off - 1) % r.length) + 1;
    return r.length - over;
}

uint64_t speed_step(float speed) {
    double magnitude = std::fabs(static_cast<double>(speed));
    if (magnitude > 32767.0) magnitude = 32767.0;
    return static_cast<uint64_t>(std::nearbyint(magnitude * 65536.0));
}

// After the last pass the kernels write silence: stored, it clears the
// block; added, it changes nothing.
void silence(int16_t *out, int32_t frames, bool first) {
    if (first && frames > 0) std::memset(out, 0, static_cast<size_t>(frames) * kFrame);
}

inline int16_t saturate(int32_t v) {
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

template <bool kFirst>
inline void put(int16_t *out, int16_t value) {
    *out = kFirst ? value : saturate(static_cast<int32_t>(*out) + value);
}

// Factors in [0, 65536] never leave 16 bits and s x factor fits 32 bits, so
// each stage is one 32-bit product and shift, which the compiler can vectorise.
inline bool narrow(int64_t f) { return f >= 0 && f <= 65536; }

template <bool kFirst>
void run_frames_narrow(int16_t *out, const int16_t *src, int32_t frames, int32_t volume,
                       int32_t left, int32_t right) {
    for (int32_t i = 0; i < frames; ++i) {
        const int32_t l = ((src[2 * i] * volume) >> 16) * left >> 16;
        const int32_t r = ((src[2 * i + 1] * volume) >> 16) * right >> 16;
        put<kFirst>(out + 2 * i, static_cast<int16_t>(l));
        put<kFirst>(out + 2 * i + 1, static_cast<int16_t>(r));
    }
}

template <bool kFirst>
void run_frames(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g) {
    if (narrow(g.volume) && narrow(g.left) && narrow(g.right)) {
        run_frames_narrow<kFirst>(out, src, frames, static_cast<int32_t>(g.volume),
                                  static_cast<int32_t>(g.left), static_cast<int32_t>(g.right));
        return;
    }
    for (int32_t i = 0; i < frames; ++i) {
        put<kFirst>(out + 2 * i, scale_sample(scale_sample(src[2 * i], g.volume), g.left));
        put<kFirst>(out + 2 * i + 1,
                    scale_sample(scale_sample(src[2 * i + 1], g.volume), g.right));
    }
}

template <bool kFirst>
void gather_frames_narrow(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                          ptrdiff_t direction, int32_t frames, int32_t volume, int32_t left,
                          int32_t right) {
    uint64_t distance = fraction;
    for (int32_t i = 0; i < frames; ++i) {
        const int16_t *frame = origin + direction * static_cast<ptrdiff_t>(distance >> 16) * 2;
        put<kFirst>(out + 2 * i, static_cast<int16_t>(((frame[0] * volume) >> 16) * left >> 16));
        put<kFirst>(out + 2 * i + 1,
                    static_cast<int16_t>(((frame[1] * volume) >> 16) * right >> 16));
        distance += step;
    }
}

template <bool kFirst>
void gather_frames(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                   bool forward, int32_t frames, const FusedGains &g) {
    if (narrow(g.volume) && narrow(g.left) && narrow(g.right)) {
        gather_frames_narrow<kFirst>(out, origin, fraction, step, forward ? 1 : -1, frames,
                                     static_cast<int32_t>(g.volume), static_cast<int32_t>(g.left),
                                     static_cast<int32_t>(g.right));
        return;
    }
    uint64_t distance = fraction;
    for (int32_t i = 0; i < frames; ++i) {
        const auto whole = static_cast<ptrdiff_t>(distance >> 16) * 2;
        const int16_t *frame = forward ? origin + whole : origin - whole;
        put<kFirst>(out + 2 * i, scale_sample(scale_sample(frame[0], g.volume), g.left));
        put<kFirst>(out + 2 * i + 1, scale_sample(scale_sample(frame[1], g.volume), g.right));
        distance += step;
    }
}

template <bool kForward>
void play_slice(const VoiceRenderVariants &v, int16_t *out, bool first, const Region &r,
                int16_t **pos, int32_t *loops, uint64_t step, const FusedGains &g,
                int32_t frames) {
    const int64_t length = r.length / kFrame;
    int64_t base = entry_offset<kForward>(r, *pos) / kFrame;
    uint64_t distance = 0;
    int32_t left = *loops;
    int32_t i = 0;
    while (i < frames) {
        const int64_t room = kForward ? length - base : base + 1;
        const uint64_t limit = static_cast<uint64_t>(room) << 16;
        if (distance < limit) {
            // The frames still inside this pass: those whose distance stays below limit.
            const auto remaining = static_cast<uint64_t>(frames - i);
            uint64_t count = remaining;
            if (step != 0) {
                const uint64_t inside = (limit - distance + step - 1) / step;
                if (inside < count) count = inside;
            }
            const auto *origin =
                reinterpret_cast<const int16_t *>(r.first + static_cast<uintptr_t>(base) * kFrame);
            // distance is below 65536 here: every pass starts on a fraction.
            v.gather(out + 2 * static_cast<ptrdiff_t>(i), origin, static_cast<uint32_t>(distance),
                     static_cast<uint32_t>(step), kForward, static_cast<int32_t>(count), g, first);
            distance += count * step;
            i += static_cast<int32_t>(count);
        }
        const auto travelled = static_cast<int64_t>(distance >> 16);
        const int64_t p = kForward ? base + travelled : base - travelled;
        if (distance < limit) {
            base = p;
            break;
        }
        left = count_down(left);
        if (left == 0) {
            silence(out + 2 * static_cast<ptrdiff_t>(i), frames - i, first);
            base = p;
            break;
        }
        base = wrap_offset<kForward>(r, p * kFrame) / kFrame;
        distance &= 0xFFFF;
    }
    *pos = reinterpret_cast<int16_t *>(r.first + base * kFrame);
    *loops = left;
}

void play_unit(const VoiceRenderVariants &v, int16_t *out, bool first, const Region &r,
               int16_t **pos, int32_t *loops, const FusedGains &g, int32_t frames) {
    int64_t off = entry_offset<true>(r, *pos);
    int32_t left = *loops;
    while (frames > 0) {
        const int64_t avail = (r.length - off) / kFrame;
        const int32_t run = avail < frames ? static_cast<int32_t>(avail) : frames;
        v.run(out, reinterpret_cast<const int16_t *>(r.first + off), run, g, first);
        out += 2 * static_cast<ptrdiff_t>(run);
        off += static_cast<int64_t>(run) * kFrame;
        frames -= run;
        if (off < r.length) continue;
        left = count_down(left);
        if (left == 0) {
            silence(out, frames, first);
            break;
        }
        off = 0;
    }
    *pos = reinterpret_cast<int16_t *>(r.first + off);
    *loops = left;
}

constexpr VoiceRenderVariants kPlain{"plain", fused_run_plain, fused_gather_plain};
#if defined(ZYN_X86_KERNELS)
constexpr VoiceRenderVariants kSse2{"sse2", fused_run_sse2, fused_gather_sse2};
constexpr VoiceRenderVariants kAvx2{"avx2", fused_run_avx2, fused_gather_avx2};
#endif

}  // namespace

void fused_run_plain(int16_t *out, const int16_t *src, int32_t frames, const FusedGains &g,
                     bool first) {
    if (first)
        run_frames<true>(out, src, frames, g);
    else
        run_frames<false>(out, src, frames, g);
}

void fused_gather_plain(int16_t *out, const int16_t *origin, uint32_t fraction, uint32_t step,
                        bool forward, int32_t frames, const FusedGains &g, bool first) {
    if (first)
        gather_frames<true>(out, origin, fraction, step, forward, frames, g);
    else
        gather_frames<false>(out, origin, fraction, step, forward, frames, g);
}

bool render_voice_fused_with(const VoiceRenderVariants &v, int16_t *out, bool first,
                             const int16_t *start, int16_t **pos, const int16_t *end,
                             int32_t *loops, float speed, const FusedGains &g, int32_t frames) {
    if (out == nullptr || start == nullptr || pos == nullptr || end == nullptr ||
        loops == nullptr || frames <= 0)
        return false;
    const bool unit = speed == 1.0f;
    if (!unit && !(speed > 0.0f) && !(speed < 0.0f)) return false;
    const uint64_t step = unit ? 65536 : speed_step(speed);
    // Steps whose whole part can pass 2^14 frames take the kernels'
    // frame-by-frame form, which keeps it modulo 2^14.
    if (!unit && step + 0xFFFF >= (uint64_t{0x4000} << 16)) return false;
    const Region r = frame_region(start, end);
    if (r.length == 0) {
        silence(out, frames, first);
        return true;
    }
    if (unit)
        play_unit(v, out, first, r, pos, loops, g, frames);
    else if (speed > 0.0f)
        play_slice<true>(v, out, first, r, pos, loops, step, g, frames);
    else
        play_slice<false>(v, out, first, r, pos, loops, step, g, frames);
    return true;
}

bool render_voice_fused(int16_t *out, bool first, const int16_t *start, int16_t **pos,
                        const int16_t *end, int32_t *loops, float speed, const FusedGains &g,
                        int32_t frames) {
    return render_voice_fused_with(bound_voice_variants(), out, first, start, pos, end, loops,
                                   speed, g, frames);
}

const VoiceRenderVariants &bound_voice_variants() {
    static const VoiceRenderVariants bound = [] {
#if defined(ZYN_X86_KERNELS)
        // Follow the bound kernel set: same processor checks, same
        // ZYN_FORCE_PLAIN switch.
        const char *name = bound_kernels().name;
        if (std::strcmp(name, "avx2") == 0) return kAvx2;
        if (std::strcmp(name, "sse2") == 0) return kSse2;
#endif
        return kPlain;
    }();
    return bound;
}

int32_t available_voice_variants(const VoiceRenderVariants **sets) {
    static VoiceRenderVariants all[3];
    static const int32_t count = [] {
        const KernelVariants *kernels = nullptr;
        const int32_t n = available_kernel_variants(&kernels);
        int32_t k = 0;
        for (int32_t i = 0; i < n; ++i) {
#if defined(ZYN_X86_KERNELS)
            if (std::strcmp(kernels[i].name, "avx2") == 0) {
                all[k++] = kAvx2;
                continue;
            }
            if (std::strcmp(kernels[i].name, "sse2") == 0) {
                all[k++] = kSse2;
                continue;
            }
#endif
            if (std::strcmp(kernels[i].name, "plain") == 0) all[k++] = kPlain;
        }
        return k;
    }();
    *sets = all;
    return count;
}

}  // namespace zyn
