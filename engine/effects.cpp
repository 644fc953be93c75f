#include "effects.h"

#include "dsp/float_block.h"
#include "engine_state.h"
#include "streaming/track_table.h"
#include "streaming/track_voice.h"
#include "zyn_kernels.h"

#include <algorithm>
#include <new>
#include <utility>

namespace zyn {
namespace {

// A filter made for another rate, moved to this one at its settings (which
// are clamped into the new range) without a ramp: the device changed under it.
void refilter(BiquadFilter &f, int32_t rate) {
    if (f.bypassed()) return;
    BiquadSettings s;
    const BiquadSettings &was = f.settings();
    if (check_biquad(was.type, was.cutoff, was.q, static_cast<float>(rate), &s) != nullptr) {
        f = BiquadFilter{};
        return;
    }
    f.set(s, static_cast<float>(rate));
    f.reset();
}

}  // namespace

// Memory for the reverb and the bus for a device format, made outside the
// lock; a part that cannot be made stays empty (sends, or group buses, are
// then left out of the mix; the voices are still heard).
struct EffectBlocks {
    Reverb reverb;
    std::vector<int16_t> bus;
};

EffectBlocks make_blocks(int32_t rate, int32_t channels, int32_t frames, bool reverb, bool bus) {
    EffectBlocks b;
    if (reverb) b.reverb.configure(rate, frames);
    if (bus) {
        try {
            b.bus.assign(static_cast<size_t>(frames) * static_cast<size_t>(channels), 0);
        } catch (const std::bad_alloc &) {
            b.bus.clear();
        }
    }
    return b;
}

void effects_follow_device(int32_t rate, int32_t channels, int32_t frames) {
    EngineState &e = engine();
    EffectsState &fx = e.effects;
    bool reverb = false, bus = false;
    int32_t old_rate = 0;
    EffectBlocks old;  // freed when this returns, without the lock
    {
        EngineLock hold(e.lock);
        const bool same = fx.rate == rate && fx.frames == frames && fx.channels == channels;
        old_rate = fx.rate;
        fx.rate = rate;
        fx.frames = frames;
        fx.channels = channels;
        // Only what is in use is made again: a mix that never asked for
        // either keeps none (nor the memory, which grows with the block).
        reverb = fx.settings.wet > 0.0f && !(same && fx.reverb.configured());
        bus = (e.groups.count > 0 || !fx.bus.empty()) && !(same && !fx.bus.empty());
        if (old_rate != rate) {
            for (VoiceEffects &s : fx.sounds) refilter(s.filter, rate);
            for (int32_t i = 0; i < e.groups.count; ++i) refilter(e.groups.rows[static_cast<size_t>(i)].fx.filter, rate);
            TrackTable &t = track_table();
            for (int32_t i = 0; i < t.count; ++i) refilter(t.rows[static_cast<size_t>(i)].fx.filter, rate);
        }
        // A block of another device is never mixed with.
        if (!same) {
            if (!reverb) std::swap(fx.reverb, old.reverb);
            if (!bus) fx.bus.swap(old.bus);
        }
    }
    if (!reverb && !bus) return;
    EffectBlocks made = make_blocks(rate, channels, frames, reverb, bus);
    EngineLock hold(e.lock);
    if (fx.rate != rate || fx.frames != frames || fx.channels != channels) return;  // another device meanwhile
    if (reverb) {
        std::swap(fx.reverb, made.reverb);
        if (fx.reverb.configured()) fx.reverb.set(fx.settings);
    }
    if (bus) fx.bus.swap(made.bus);
    // made now holds the old blocks, freed after the lock is let go.
}

bool make_reverb() {
    EngineState &e = engine();
    EffectsState &fx = e.effects;
    int32_t rate = 0, frames = 0;
    {
        EngineLock hold(e.lock);
        if (fx.rate <= 0 || fx.reverb.configured()) return true;
        rate = fx.rate;
        frames = fx.frames;
    }
    EffectBlocks made = make_blocks(rate, 0, frames, true, false);
    if (!made.reverb.configured()) return false;
    EngineLock hold(e.lock);
    if (fx.rate == rate && fx.frames == frames && !fx.reverb.configured()) {
        std::swap(fx.reverb, made.reverb);
        fx.reverb.set(fx.settings);
    }
    return true;
}

void make_group_bus() {
    EngineState &e = engine();
    EffectsState &fx = e.effects;
    int32_t frames = 0, channels = 0;
    {
        EngineLock hold(e.lock);
        if (fx.rate <= 0 || !fx.bus.empty()) return;
        frames = fx.frames;
        channels = fx.channels;
    }
    EffectBlocks made = make_blocks(0, channels, frames, false, true);
    EngineLock hold(e.lock);
    if (fx.frames == frames && fx.channels == channels && fx.bus.empty()) fx.bus.swap(made.bus);
}

void release_effects() {
    EngineState &e = engine();
    Reverb reverb;
    std::vector<int16_t> bus;
    std::vector<VoiceEffects> sounds;
    {
        EngineLock hold(e.lock);
        std::swap(e.effects.reverb, reverb);
        e.effects.bus.swap(bus);
        e.effects.sounds.swap(sounds);
        e.effects.rate = e.effects.frames = e.effects.channels = 0;
        e.effects.fed = false;
    }
}

void begin_effects_block(EngineState &e) { e.effects.fed = false; }

void sound_rows_grew(EngineState &e) {
    std::vector<VoiceEffects> &fx = e.effects.sounds;
    if (fx.size() >= e.sounds.size()) return;
    if (fx.capacity() < e.sounds.size()) fx.reserve(std::max<size_t>(64, 2 * e.sounds.size()));
    fx.resize(e.sounds.size());
}

VoiceEffects *sound_effects(EngineState &e, int32_t row) {
    SoundEntry &s = e.sounds[static_cast<size_t>(row)];
    VoiceEffects &fx = e.effects.sounds[static_cast<size_t>(row)];
    if (fx.in_use()) return &fx;
    s.effects = false;
    return nullptr;
}

void send_to_reverb(EngineState &e, VoiceEffects &v, const int16_t *block, int32_t frames, int32_t channels,
                    int32_t offset, int32_t block_frames) {
    EffectsState &fx = e.effects;
    const float from = v.send_applied;
    const float to = v.send;
    v.send_applied = to;
    if ((from == 0.0f && to == 0.0f) || frames <= 0 || !fx.reverb.configured() ||
        block_frames > fx.reverb.max_frames() || offset + frames > block_frames)
        return;
    float *in = fx.reverb.bus();
    if (!fx.fed) {
        std::fill(in, in + block_frames, 0.0f);
        fx.fed = true;
    }
    add_to_bus(in + offset, block, frames, channels, from, to);
}

void join_group_bus(EngineState &e, int32_t row, int32_t group) {
    SoundEntry &s = e.sounds[static_cast<size_t>(row)];
    GroupRow &g = e.groups.rows[static_cast<size_t>(group)];
    s.bus_next = -1;
    if (g.bus_last < 0)
        g.bus_first = row;
    else
        e.sounds[static_cast<size_t>(g.bus_last)].bus_next = row;
    g.bus_last = row;
}

void finish_effects_block(EngineState &e, int16_t *out, int32_t channels, int32_t frames) {
    EffectsState &fx = e.effects;
    const RoutineSlots &slots = e.slots;
    const int32_t bytes = frames * channels * 2;
    const bool bus_fits = channels == fx.channels && static_cast<size_t>(frames) * channels <= fx.bus.size();
    GroupTable &t = e.groups;
    for (int32_t i = 0; i < t.count; ++i) {
        if (!t.mix[static_cast<size_t>(i)].bus) continue;
        GroupRow &g = t.rows[static_cast<size_t>(i)];
        // Without a bus block of this size (no memory, or a block larger
        // than the device's) the members go to the master unfiltered.
        int16_t *sum = bus_fits ? fx.bus.data() : out;
        if (bus_fits) std::fill(sum, sum + frames * channels, int16_t{0});
        bool any = false;
        for (int32_t r = g.bus_first; r >= 0; r = e.sounds[static_cast<size_t>(r)].bus_next) {
            slots.kernel_mix(sum, sum, e.sounds[static_cast<size_t>(r)].buffer, bytes);
            any = true;
        }
        if (mix_tracks(slots, t, sum, channels, frames, i) > 0) any = true;
        if (!any || !bus_fits) continue;
        filter_voice(g.fx, sum, frames, channels);
        send_to_reverb(e, g.fx, sum, frames, channels, 0, frames);
        slots.kernel_mix(out, out, sum, bytes);
    }
    if (!fx.reverb.configured() || frames > fx.reverb.max_frames() || (!fx.fed && !fx.reverb.active())) return;
    fx.reverb.process(fx.fed ? fx.reverb.bus() : nullptr, fx.reverb.return_block(), frames);
    add_stereo_float(out, channels, fx.reverb.return_block(), frames, false);
}

}  // namespace zyn
