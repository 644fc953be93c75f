#include "positional_mix.h"

#include "dsp/float_block.h"
#include "dsp/hrtf.h"
#include "dsp/resampler.h"
#include "dsp/variant_family.h"
#include "effects.h"
#include "engine_state.h"
#include "media/smoothing.h"
#include "mixer.h"
#include "placed_mix_variants.h"
#include "placed_playback.h"
#include "space/source_placement.h"
#include "space_settings.h"
#include "zyn_kernels.h"

#include <atomic>
#include <cmath>
#include <cstddef>

namespace zyn {
namespace {

// The speed range of the sound setters: the smallest 16.16 step up to the
// largest the kernels keep.
constexpr double kMinSpeed = 1.5258e-06;
constexpr double kMaxSpeed = 16383.0;

float doppler_speed(float speed, float pitch) {
    if (pitch == 1.0f) return speed;
    double m = std::fabs(static_cast<double>(speed) * pitch);
    if (m < kMinSpeed) m = kMinSpeed;
    if (m > kMaxSpeed) m = kMaxSpeed;
    return static_cast<float>(speed < 0.0f ? -m : m);
}

space::SourcePlacement placement(const SpatialVoice &v) {
    const SpaceSettings &s = space_settings();
    return space::place_source(s.listener, s.doppler, v.model, v.position, v.velocity);
}

// The place's gains at the start and end of a stretch of frames.
struct Gains {
    float left, right, gain;  // stereo sides; the distance gain (mono device, HRTF)
    Gains at(const Gains &to, float part) const {
        return Gains{left + (to.left - left) * part, right + (to.right - right) * part, gain + (to.gain - gain) * part};
    }
    Gains scaled(float volume) const { return Gains{left * volume, right * volume, gain * volume}; }
};

std::atomic<bool> g_direct{true};

// The kernels read the row's own speed; the Doppler shift holds for this
// block only, so the setter's value comes back afterwards.
void play_at_speed(const EngineState &e, SoundEntry &row, int16_t *block, int32_t bytes, int32_t channels,
                   int32_t rate, float speed) {
    const float own = row.speed;
    row.speed = speed;
    play_sound_frames(e.slots, row, block, bytes, channels, rate);
    row.speed = own;
}

constexpr int32_t kChunk = 256;  // frames of a float block on the stack

void place_binaural(const HrtfSet &set, SpatialVoice &v, const space::Direction &d, float *acc,
                    const int16_t *block, int32_t frames, float from, float to) {
    alignas(32) float mono[kChunk];
    const HrtfDirection direction{static_cast<float>(d.right), static_cast<float>(d.up),
                                  static_cast<float>(d.front)};
    const float step = (to - from) / static_cast<float>(frames);
    for (int32_t done = 0; done < frames;) {
        const int32_t n = frames - done < kChunk ? frames - done : kChunk;
        const float a = from + step * static_cast<float>(done);
        const float b = done + n == frames ? to : from + step * static_cast<float>(done + n);
        mono_from_block(mono, block + 2 * static_cast<ptrdiff_t>(done), n, 2, a, b);
        render_hrtf(set, v.hrtf, direction, mono, n, acc + 2 * static_cast<ptrdiff_t>(done));
        done += n;
    }
}

constexpr PlacedVariants kPlain{"plain", placed_stereo_plain, placed_linear_plain};
#if defined(ZYN_X86_KERNELS)
constexpr PlacedVariants kSse2{"sse2", placed_stereo_sse2, placed_linear_plain};
constexpr PlacedVariants kAvx2{"avx2", placed_stereo_avx2, placed_linear_avx2};
#endif
constexpr VariantFamily<PlacedVariants> kFamily{&kPlain,
#if defined(ZYN_X86_KERNELS)
                                                &kSse2, &kAvx2
#else
                                                nullptr, nullptr
#endif
};

// Adds frames of the sound's block (channels as the device's), placed, into
// the float accumulator acc (the same layout), the gains moving from `from`
// to reach `to` on the last frame. set: render binaurally.
void place_frames(const HrtfSet *set, SpatialVoice &v, const space::Direction &d, float *acc,
                  const int16_t *block, int32_t frames, int32_t channels, const Gains &from, const Gains &to) {
    if (frames <= 0) return;
    const float f = static_cast<float>(frames);
    if (set != nullptr) {
        place_binaural(*set, v, d, acc, block, frames, from.gain, to.gain);
    } else if (channels == 2) {
        const PlacedRun run{acc, block, from.left, from.right, (to.left - from.left) / f, (to.right - from.right) / f};
        bound_once(kFamily).stereo(run, 0, frames);
    } else {
        const float step = (to.gain - from.gain) / f;
        for (int32_t i = 0; i < frames; ++i)
            acc[i] += static_cast<float>(block[i]) * (from.gain + step * static_cast<float>(i + 1));
    }
}

}  // namespace

void placed_stereo_plain(const PlacedRun &r, int32_t first, int32_t frames) {
    for (int32_t i = first; i < frames; ++i) {
        const float m = 0.5f * (static_cast<float>(r.in[2 * i]) + static_cast<float>(r.in[2 * i + 1]));
        const float n = static_cast<float>(i + 1);
        r.acc[2 * i] += m * (r.left_from + r.left_step * n);
        r.acc[2 * i + 1] += m * (r.right_from + r.right_step * n);
    }
}

const PlacedVariants &bound_placed_variants() { return bound_once(kFamily); }

int32_t available_placed_variants(const PlacedVariants **sets) { return available_once(kFamily, sets); }

void forget_place(SoundEntry &row) {
    row.positional = false;
    if (row.spatial) row.spatial->clear();
}

void set_direct_placing(bool on) { g_direct.store(on, std::memory_order_relaxed); }

void mix_positional(const EngineState &e, SoundEntry &row, const PlacedBlock &b, Glide group, bool group_moving,
                    bool first, VoiceEffects *fx, int16_t *own) {
    SpatialVoice &v = *row.spatial;
    SpaceSettings &space = space_settings();
    const space::SourcePlacement p = placement(v);
    const int32_t rest = b.frames - b.offset;
    const int32_t rest_bytes = rest * 2 * b.channels;
    int16_t *block = row.buffer + static_cast<ptrdiff_t>(b.offset) * b.channels;
    const HrtfSet *set = space.hrtf.get();
    if (b.channels != 2 || set == nullptr || set->rate() != b.rate) set = nullptr;
    const int32_t samples = b.frames * b.channels;
    const bool to_bus = own == nullptr && space.bus.size() >= static_cast<size_t>(samples);
    const float played_speed = doppler_speed(row.speed, p.pitch);

    // Straight from the wave into the sum when nothing stands between the
    // sound's playback and its place (placed_playback.h); the conditions are
    // those under which play_sound_frames would interpolate linearly.
    const bool direct = to_bus && set == nullptr && b.channels == 2 && fx == nullptr &&
                        row.resampler == kResampleLinear && played_speed != 1.0f && row.wave_channels == 2 &&
                        row.wave_rate == b.rate && !(row.callback != nullptr && row.callback_enabled == 1) &&
                        !gains_move(row, group_moving) && g_direct.load(std::memory_order_relaxed);

    float volume = 1.0f;
    if (!direct) {
        play_at_speed(e, row, block, rest_bytes, b.channels, b.rate, played_speed);
        if (fx != nullptr) filter_voice(*fx, block, rest, b.channels);

        // The sound's own stages: moving ones frame by frame here, a constant
        // volume folded into the place's gains below.
        if (gains_move(row, group_moving))
            shape_moving(row, block, rest, b.channels, group);
        else
            volume = row.volume * group.target();
        if (row.callback != nullptr && row.callback_enabled == 1) {
            if (volume != 1.0f) e.slots.kernel_scale(block, block, volume, rest_bytes);
            volume = 1.0f;
            if (b.offset > 0) ZERO(row.buffer, b.offset * 2 * b.channels);
            row.callback(row.buffer, b.channels, b.frames);
        }
    } else {
        volume = row.volume * group.target();
    }

    if (set != nullptr && !v.binaural) v.hrtf.reset();  // its history is from another time
    const Gains now{p.gain * p.pan.left, p.gain * p.pan.right, p.gain};
    if (!v.primed) {
        v.left = now.left;
        v.right = now.right;
        v.gain = now.gain;
        v.primed = true;
    }
    const Gains from = Gains{v.left, v.right, v.gain}.scaled(volume), to = now.scaled(volume);
    v.left = now.left;
    v.right = now.right;
    v.gain = now.gain;
    v.binaural = set != nullptr;

    if (to_bus) {
        // Summed in floating point with the block's other positional
        // sounds; add_space_bus brings the sum into the block.
        if (!space.bus_used) {
            for (int32_t i = 0; i < samples; ++i) space.bus[static_cast<size_t>(i)] = 0.0f;
            space.bus_used = true;
        }
        if (first) ZERO(b.out, samples * 2);
        float *acc = space.bus.data() + static_cast<ptrdiff_t>(b.offset) * b.channels;
        if (direct) {
            const float f = static_cast<float>(rest);
            const PlacedGains g{from.left, from.right, (to.left - from.left) / f, (to.right - from.right) / f};
            if (place_linear_playback(bound_once(kFamily), acc, g, row.loop_start, &row.position, row.loop_end,
                                      &row.loops, &row.fraction, played_speed, rest))
                return;
            // What the walk refuses, the kernels play as before.
            play_at_speed(e, row, block, rest_bytes, b.channels, b.rate, played_speed);
        }
        place_frames(set, v, p.direction, acc, block, rest, b.channels, from, to);
        return;
    }
    // Chunk by chunk into the block: for a sound whose block is sent or
    // goes to its group's bus, into its own buffer (each chunk is placed
    // before it is overwritten there), else when there is no sum of the
    // device's block size yet (a device re-opened with larger blocks).
    int16_t *dst = own != nullptr ? own : b.out;
    const bool store = own != nullptr || first;
    if (store && b.offset > 0) ZERO(dst, b.offset * 2 * b.channels);
    alignas(32) float acc[2 * kChunk];
    for (int32_t done = 0; done < rest;) {
        const int32_t n = rest - done < kChunk ? rest - done : kChunk;
        for (int32_t i = 0; i < n * b.channels; ++i) acc[i] = 0.0f;
        const float r = static_cast<float>(rest);
        place_frames(set, v, p.direction, acc, block + static_cast<ptrdiff_t>(done) * b.channels, n, b.channels,
                     from.at(to, static_cast<float>(done) / r), from.at(to, static_cast<float>(done + n) / r));
        add_float_samples(dst + static_cast<ptrdiff_t>(b.offset + done) * b.channels, acc, n * b.channels, store);
        done += n;
    }
}

void add_space_bus(int16_t *out, int32_t samples) {
    SpaceSettings &space = space_settings();
    if (!space.bus_used) return;
    space.bus_used = false;
    add_float_samples(out, space.bus.data(), samples, false);
}

void advance_positional(const EngineState &e, SoundEntry &row, int32_t bytes, int32_t channels, int32_t rate) {
    const float speed = row.speed;
    row.speed = doppler_speed(speed, placement(*row.spatial).pitch);
    advance_sound(e.slots, row, bytes, channels, rate);
    row.speed = speed;
}

}  // namespace zyn
