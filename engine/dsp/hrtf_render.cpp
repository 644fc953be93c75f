// Binaural rendering of one source's block: the response of its direction,
// the cross-fade from the previous one, and the binding of the inner loops.
#include "hrtf.h"
#include "hrtf_render_variants.h"
#include "variant_family.h"

#include <cstddef>
#include <cstring>

namespace zyn {
namespace {

// Frames convolved from one window on the stack: the history and this many
// new frames.
constexpr int32_t kChunk = 256;

constexpr HrtfVariants kPlain{"plain", hrtf_mix_plain};
#if defined(ZYN_X86_KERNELS)
constexpr HrtfVariants kSse2{"sse2", hrtf_mix_sse2};
constexpr HrtfVariants kAvx2{"avx2", hrtf_mix_avx2};
#endif
constexpr VariantFamily<HrtfVariants> kFamily{&kPlain,
#if defined(ZYN_X86_KERNELS)
                                               &kSse2, &kAvx2
#else
                                               nullptr, nullptr
#endif
};

bool same_filter(const HrtfFilter &a, const HrtfFilter &b) {
    return a.taps == b.taps && a.delay[0] == b.delay[0] && a.delay[1] == b.delay[1] &&
           std::memcmp(a.coefficients, b.coefficients, sizeof(a.coefficients)) == 0;
}

}  // namespace

void hrtf_mix_plain(float *stereo, const HrtfRun &r, int32_t first, int32_t frames) {
    for (int32_t i = first; i < frames; ++i) {
        for (int32_t ear = 0; ear < 2; ++ear) {
            const float *h = r.h[ear];
            const float *x = r.x + i - r.delay[ear];
            float y = 0.0f;
            for (int32_t k = 0; k < r.taps; ++k) y = y + h[k] * x[-k];
            if (r.fade) {
                const float *ho = r.h[2 + ear];
                const float *xo = r.x + i - r.delay[2 + ear];
                float old = 0.0f;
                for (int32_t k = 0; k < r.taps; ++k) old = old + ho[k] * xo[-k];
                const float t = r.t0 + r.dt * static_cast<float>(i);
                y = old + t * (y - old);
            }
            stereo[2 * i + ear] += y;
        }
    }
}

void HrtfVoice::reset() {
    std::memset(history, 0, sizeof(history));
    filter = HrtfFilter{};
    primed = false;
}

void render_hrtf(const HrtfSet &set, HrtfVoice &voice, const HrtfDirection &direction, const float *mono,
                 int32_t frames, float *stereo) {
    if (mono == nullptr || stereo == nullptr || frames <= 0) return;
    HrtfFilter next;
    set.lookup(direction, &next);
    if (!voice.primed) {
        voice.filter = next;
        voice.primed = true;
    }
    HrtfRun run{};
    run.h[0] = next.coefficients[0];
    run.h[1] = next.coefficients[1];
    run.h[2] = voice.filter.coefficients[0];
    run.h[3] = voice.filter.coefficients[1];
    run.delay[0] = next.delay[0];
    run.delay[1] = next.delay[1];
    run.delay[2] = voice.filter.delay[0];
    run.delay[3] = voice.filter.delay[1];
    // Coefficients past a set's taps are zero, so a fade between sets of
    // different lengths runs the longer length.
    run.taps = next.taps > voice.filter.taps ? next.taps : voice.filter.taps;
    const bool changed = !same_filter(next, voice.filter);
    const int32_t fade_frames = changed ? (frames < hrtf_fade_frames(set.rate()) ? frames : hrtf_fade_frames(set.rate())) : 0;
    run.dt = fade_frames > 0 ? 1.0f / static_cast<float>(fade_frames) : 0.0f;

    const HrtfMixVariant mix = bound_once(kFamily).mix;
    alignas(32) float window[kHrtfHistory + kChunk];
    std::memcpy(window, voice.history, sizeof(voice.history));
    for (int32_t offset = 0; offset < frames;) {
        const int32_t n = frames - offset < kChunk ? frames - offset : kChunk;
        std::memcpy(window + kHrtfHistory, mono + offset, static_cast<size_t>(n) * sizeof(float));
        run.x = window + kHrtfHistory;
        float *out = stereo + 2 * static_cast<ptrdiff_t>(offset);
        const int32_t fading = fade_frames - offset < 0 ? 0 : (fade_frames - offset > n ? n : fade_frames - offset);
        if (fading > 0) {
            run.fade = true;
            run.t0 = static_cast<float>(offset + 1) * run.dt;
            mix(out, run, 0, fading);
        }
        if (fading < n) {
            run.fade = false;
            mix(out, run, fading, n);
        }
        std::memmove(window, window + n, sizeof(voice.history));
        offset += n;
    }
    std::memcpy(voice.history, window, sizeof(voice.history));
    voice.filter = next;
}

int32_t hrtf_fade_frames(int32_t rate) { return rate / 200 > 64 ? rate / 200 : 64; }

const HrtfVariants &bound_hrtf_variants() { return bound_once(kFamily); }

int32_t available_hrtf_variants(const HrtfVariants **sets) { return available_once(kFamily, sets); }

}  // namespace zyn
