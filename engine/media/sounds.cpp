// Sounds: playbacks of waves, one row of the sound table each.
//
// A row is made whole under the engine lock, which the mixer holds for a whole
// fill, so a fill never sees a half-made row. The work buffer is allocated
// before the lock is taken and an unused one is freed after it is given back:
// the lock is never held around an allocation. Rows freed by the mixer keep
// their buffer, so a sound started in a reused row allocates nothing.
#include "clock.h"
#include "dsp/resampler.h"
#include "engine_state.h"
#include "fades.h"
#include "gain.h"
#include "fill_thread.h"
#include "last_error.h"
#include "row_tables.h"
#include "saturate.h"
#include "smoothing.h"
#include "zyn.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace zyn {
namespace {

constexpr double kMinSpeed = 1.5258e-06;  // about 1 / 65536: the smallest 16.16 step
constexpr double kMaxSpeed = 16383.0;
// A start further ahead of the clock is taken for a mistake (at 44.1 kHz
// more than three years; INT64_MAX among them).
constexpr int64_t kLongestWait = int64_t{1} << 42;

// Speeds closer to zero than one fixed-point step turn round (the sign
// changes); 0 means normal speed. Not-a-number also plays at normal speed.
float clamp_speed(float speed) {
    const double s = speed;
    if (std::isnan(s)) return 1.0f;
    if (s > kMaxSpeed) return static_cast<float>(kMaxSpeed);
    if (s >= kMinSpeed) return speed;
    if (s > 0.0) return static_cast<float>(-kMinSpeed);
    if (s == 0.0) return 1.0f;
    if (s > -kMinSpeed) return static_cast<float>(kMinSpeed);
    if (s >= -kMaxSpeed) return speed;
    return static_cast<float>(-kMaxSpeed);
}

int32_t endless_below(int32_t loops, int32_t floor) {
    return loops < floor ? ZYN_LOOP_FOREVER : loops;
}

inline int16_t *byte_offset(int16_t *p, int64_t bytes) {
    return reinterpret_cast<int16_t *>(reinterpret_cast<uint8_t *>(p) + bytes);
}

// Where a sound starts: the wave's first frame, or for a sound that plays
// backwards its end. From the first frame a backward pass would end after one
// frame; from the end (outside the range) the mixer starts at the range's
// last frame.
inline int16_t *start_position(const SoundEntry &s) {
    return s.speed < 0.0f ? s.wave_end : s.wave_start;
}

struct SoundSetup {
    int32_t loops;
    float speed;
    float volume;
    float pan;
    int32_t *handle;  // null: the mixer frees the row when the sound ends
};

int32_t lowest_free_row(const EngineState &e) {
    for (int32_t i = 0; i < e.sound_count; ++i)
        if (e.sounds[static_cast<size_t>(i)].wave_start == nullptr) return i;
    return -1;
}

// Places a sound on wave in the lowest free row. Returns the row, or -1 when
// the wave is not valid or no work buffer could be allocated (no row taken).
int32_t place_sound(int32_t wave, const SoundSetup &setup) {
    EngineState &e = engine();
    void *spare = nullptr;
    int32_t spare_bytes = 0;
    int32_t placed = -1;
    for (;;) {
        int32_t wanted = 0;
        {
            EngineLock hold(e.lock);
            if (!wave_handle_valid(wave)) {
                fail_wave_handle(wave);
                break;
            }
            const int32_t free_row = lowest_free_row(e);
            const bool has_buffer =
                free_row >= 0 && e.sounds[static_cast<size_t>(free_row)].buffer != nullptr;
            if (has_buffer || (spare != nullptr && spare_bytes == e.work_buffer_bytes)) {
                placed = take_sound_row();
                SoundEntry &s = e.sounds[static_cast<size_t>(placed)];
                const WaveEntry &w = e.waves[static_cast<size_t>(wave)];
                s.wave_start = w.samples;
                s.position = w.samples;
                s.wave_end = byte_offset(w.samples, w.size);
                s.loop_start = s.wave_start;
                s.loop_end = s.wave_end;
                s.wave_rate = w.rate;
                s.wave_channels = w.channels;
                if (s.buffer == nullptr) {
                    s.buffer = static_cast<int16_t *>(spare);
                    s.buffer_mark = spare;
                    s.buffer_bytes = spare_bytes;
                    spare = nullptr;
                }
                s.callback = nullptr;
                s.callback_enabled = 0;
                s.loops = setup.loops;
                s.speed = setup.speed;
                s.position = start_position(s);
                s.volume = setup.volume;
                s.level.hold(setup.volume);
                s.stop_after_fade = false;
                s.paused = 0;
                s.muted = 0;
                s.resampler = e.default_resampler;
                s.fraction = 0;
                s.releasing = 0;
                s.group = -1;
                s.start_at = -1;
                forget_place(s);
                e.effects.sounds[static_cast<size_t>(placed)] = VoiceEffects{};
                s.effects = false;
                apply_pan(s, setup.pan);
                s.handle_ref = setup.handle;
                s.has_handle = setup.handle != nullptr ? 1 : 0;
                ramp_from(s, StereoGains{0.0f, 0.0f});  // a start fades in
                break;
            }
            // The output thread never allocates: from a callback only a row
            // that still has its work buffer can take the sound.
            if (inside_fill()) {
                fail("no free sound row with a work buffer for a sound started from a callback "
                     "(a finished or destroyed sound leaves one)");
                break;
            }
            wanted = e.work_buffer_bytes;
        }
        std::free(spare);
        spare = wanted > 0 ? std::calloc(static_cast<size_t>(wanted), 1) : nullptr;
        spare_bytes = wanted;
        if (spare == nullptr) {
            fail("no memory for a sound's work buffer of %d bytes", wanted);
            break;
        }
    }
    std::free(spare);
    return placed;
}

// Runs body on a valid sound's row under the lock; 0 for an invalid handle.
template <typename Body>
int32_t with_sound(int32_t sound, Body body) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    body(e.sounds[static_cast<size_t>(sound)]);
    return 1;
}

// A change that moves what is heard: with smoothing on, the sound glides
// from the gains it had to those the change gives.
template <typename Change>
int32_t change_heard(int32_t sound, Change change) {
    return with_sound(sound, [&](SoundEntry &s) {
        const StereoGains from = current_gains(s);
        change(s);
        ramp_from(s, from);
    });
}

template <typename T, typename Read>
int32_t get_field(const char *operation, int32_t sound, T *out, Read read) {
    if (out == nullptr) return fail_null(operation, "the out-argument");
    return with_sound(sound, [&](SoundEntry &s) { *out = read(s); });
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_PLAY_WAVE(int32_t wave, int32_t loops, float speed, float volume, float pan,
                      int32_t *sound) {
    // Volume is kept as given (beyond 2.0 too); only not-a-number is silenced.
    const SoundSetup setup{endless_below(loops, 1), clamp_speed(speed),
                           std::isnan(volume) ? 0.0f : volume, pan, sound};
    const int32_t row = place_sound(wave, setup);
    if (row < 0) return 0;
    if (sound != nullptr) *sound = row;
    return 1;
}

int32_t ZYN_CREATE_SOUND(int32_t wave, int32_t *sound) {
    if (sound == nullptr) return fail_null("ZYN_CREATE_SOUND", "sound");
    const int32_t row = place_sound(wave, SoundSetup{0, 1.0f, 1.0f, 0.0f, sound});
    if (row < 0) return 0;
    *sound = row;
    return 1;
}

int32_t ZYN_PLAY_SOUND(int32_t sound, int32_t loops) {
    return with_sound(sound, [&](SoundEntry &s) {
        s.position = start_position(s);
        s.fraction = 0;
        s.loops = endless_below(loops, 1);
        s.start_at = -1;
        ramp_from(s, StereoGains{0.0f, 0.0f});  // from its start: fades in
    });
}

int32_t ZYN_PLAY_SOUND_AT(int32_t sound, int32_t loops, int64_t frame) {
    if (frame < 0)
        return fail("ZYN_PLAY_SOUND_AT: frame %lld is before the clock's first frame, 0",
                    static_cast<long long>(frame));
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    const int64_t next = next_block_frame();
    if (frame > next && frame - next > kLongestWait)
        return fail("ZYN_PLAY_SOUND_AT: frame %lld is more than 2^42 frames after the clock (%lld)",
                    static_cast<long long>(frame), static_cast<long long>(next));
    SoundEntry &s = e.sounds[static_cast<size_t>(sound)];
    s.position = start_position(s);
    s.fraction = 0;
    s.loops = endless_below(loops, 1);
    // A frame the mix has passed (or is mixing) is the next block's first.
    s.start_at = frame > next ? frame : next;
    ramp_from(s, StereoGains{0.0f, 0.0f});  // a start fades in from its first frame
    return 1;
}

int32_t ZYN_DESTROY_SOUND(int32_t *sound) {
    if (sound == nullptr) return fail_null("ZYN_DESTROY_SOUND", "sound");
    void *released = nullptr;
    // Inside a fill the work buffer may be the very block being mixed (a
    // callback destroying its own sound), so the row keeps it, as a row the
    // mixer frees does, for the next sound placed there.
    const bool keep_buffer = inside_fill();
    const int32_t ok = with_sound(*sound, [&](SoundEntry &s) {
        // The application may free the callback's context once this
        // returns, while the fade below still runs: no later fill calls it.
        s.callback = nullptr;
        s.callback_enabled = 0;
        // With smoothing, a sound that is heard fades out first; the mixer
        // gives the row back afterwards, keeping its work buffer.
        if (fade_out_then_release(s)) return;
        if (s.loops > 0) {
            s.paused = 1;
            s.loops = 0;
        }
        s.wave_start = nullptr;
        if (!keep_buffer && s.buffer != nullptr && s.buffer == s.buffer_mark) {
            released = s.buffer;
            s.buffer = nullptr;
            s.buffer_mark = nullptr;
            s.buffer_bytes = 0;
        }
    });
    if (ok == 0) return 0;
    std::free(released);
    *sound = -1;
    return 1;
}

int32_t ZYN_SET_SOUNDSPEED(int32_t sound, float speed) {
    const float stored = clamp_speed(speed);
    return with_sound(sound, [&](SoundEntry &s) { s.speed = stored; });
}

int32_t ZYN_GET_SOUNDSPEED(int32_t sound, float *speed) {
    return get_field("ZYN_GET_SOUNDSPEED", sound, speed, [](const SoundEntry &s) { return s.speed; });
}

int32_t ZYN_SET_SOUNDVOLUME(int32_t sound, float volume) {
    const float stored = clamp_volume(volume, kSoundSilentBelow);
    return with_sound(sound, [&](SoundEntry &s) {
        // Ends a fade (and its stop) where it stands; with smoothing on a
        // sound that is heard glides there, from the level it has now.
        s.stop_after_fade = false;
        s.volume = stored;
        const int32_t frames = smoothing_hears(s) ? smoothing_frames() : 0;
        s.level.linear(stored, frames);
    });
}

int32_t ZYN_GET_SOUNDVOLUME(int32_t sound, float *volume) {
    return get_field("ZYN_GET_SOUNDVOLUME", sound, volume, [](const SoundEntry &s) { return s.volume; });
}

int32_t ZYN_SET_SOUNDPAN(int32_t sound, float pan) {
    return change_heard(sound, [&](SoundEntry &s) { apply_pan(s, pan); });
}

int32_t ZYN_GET_SOUNDPAN(int32_t sound, float *pan) {
    return get_field("ZYN_GET_SOUNDPAN", sound, pan, [](const SoundEntry &s) { return s.pan; });
}

int32_t ZYN_SET_SOUNDLOOPS(int32_t sound, int32_t loops) {
    return change_heard(sound, [&](SoundEntry &s) {
        s.loops = endless_below(loops, 0);
        if (s.loops == 0) {
            s.start_at = -1;  // stopped: no start waits any more,
            end_fade(s);      // nor a fade
        }
    });
}

int32_t ZYN_GET_SOUNDLOOPS(int32_t sound, int32_t *loops) {
    return get_field("ZYN_GET_SOUNDLOOPS", sound, loops, [](const SoundEntry &s) { return s.loops; });
}

int32_t ZYN_SET_SOUNDMUTED(int32_t sound, int32_t muted) {
    return change_heard(sound, [&](SoundEntry &s) { s.muted = muted; });
}

int32_t ZYN_GET_SOUNDMUTED(int32_t sound, int32_t *muted) {
    return get_field("ZYN_GET_SOUNDMUTED", sound, muted, [](const SoundEntry &s) { return s.muted; });
}

int32_t ZYN_SET_SOUNDPAUSED(int32_t sound, int32_t paused) {
    return change_heard(sound, [&](SoundEntry &s) { s.paused = paused; });
}

int32_t ZYN_GET_SOUNDPAUSED(int32_t sound, int32_t *paused) {
    return get_field("ZYN_GET_SOUNDPAUSED", sound, paused, [](const SoundEntry &s) { return s.paused; });
}

int32_t ZYN_SET_SOUNDPOINTERS(int32_t sound, int16_t *start, int16_t *position, int16_t *end) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const PlugoutRecord *device = open_plugout();
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    if (device == nullptr) return fail_not_initialised();
    SoundEntry &s = e.sounds[static_cast<size_t>(sound)];
    // One frame of the wave, in the format it was made in (which the device
    // may no longer have): the range keeps a whole frame where the wave has one.
    const int64_t frame = s.wave_channels == 1 ? 2 : 4;
    const auto addr = [](const int16_t *p) { return reinterpret_cast<uintptr_t>(p); };
    // Every pointer lands on a frame boundary counted from the wave's start:
    // a pointer inside a frame would make the mixer read samples across two
    // frames (swapping the channels) or at an odd address.
    const auto on_frame = [&](int16_t *p) {
        const auto offset = static_cast<int64_t>(addr(p) - addr(s.wave_start));
        return byte_offset(s.wave_start, offset - offset % frame);
    };
    if (start != nullptr) {
        if (addr(start) < addr(s.wave_start))
            s.loop_start = s.wave_start;
        else if (addr(start) >= addr(s.wave_end))
            s.loop_start = on_frame(byte_offset(s.wave_end, -frame));
        else
            s.loop_start = on_frame(start);
    }
    if (end != nullptr) {
        if (addr(end) <= addr(s.wave_start)) {
            // One frame, or none where the wave holds less than one: the
            // range never reaches past the samples.
            int16_t *one = byte_offset(s.wave_start, frame);
            s.loop_end = on_frame(addr(one) <= addr(s.wave_end) ? one : s.wave_end);
        } else if (addr(end) > addr(s.wave_end)) {
            s.loop_end = on_frame(s.wave_end);
        } else {
            s.loop_end = on_frame(end);
        }
    }
    if (addr(s.loop_start) > addr(s.loop_end)) std::swap(s.loop_start, s.loop_end);
    if (s.loop_start == s.loop_end) {
        // An empty range would play silence for ever and never end: it keeps
        // the frame it starts at (or the one before, at the wave's end), as
        // an end before the wave keeps the first.
        if (addr(s.loop_end) + frame <= addr(s.wave_end))
            s.loop_end = byte_offset(s.loop_end, frame);
        else if (addr(s.loop_start) >= addr(s.wave_start) + frame)
            s.loop_start = byte_offset(s.loop_start, -frame);
    }
    if (position != nullptr) {
        s.fraction = 0;
        if (addr(position) <= addr(s.loop_start))
            s.position = s.loop_start;
        else if (addr(position) > addr(s.loop_end))
            s.position = s.loop_end;
        else
            s.position = on_frame(position);
    } else if (addr(s.position) >= addr(s.loop_end)) {
        s.position = s.loop_start;
    }
    return 1;
}

int32_t ZYN_GET_SOUNDPOINTERS(int32_t sound, int16_t **start, int16_t **position, int16_t **end) {
    return with_sound(sound, [&](SoundEntry &s) {
        if (start != nullptr) *start = s.loop_start;
        if (position != nullptr) *position = s.position;
        if (end != nullptr) *end = s.loop_end;
    });
}

int32_t ZYN_GET_SOUNDLENGTH(int32_t sound, int32_t *milliseconds) {
    if (milliseconds == nullptr) return fail_null("ZYN_GET_SOUNDLENGTH", "milliseconds");
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const PlugoutRecord *device = open_plugout();
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    if (device == nullptr) return fail_not_initialised();
    const SoundEntry &s = e.sounds[static_cast<size_t>(sound)];
    // The wave's own frames at its own rate: what the range lasts on any device.
    const int32_t frame_size = 2 * s.wave_channels;
    const double per_second = std::floor(static_cast<double>(s.speed) * s.wave_rate);
    if (frame_size == 0 || !(std::fabs(per_second) >= 1.0)) {
        *milliseconds = 0;
        return 1;
    }
    const int64_t bytes = reinterpret_cast<const uint8_t *>(s.loop_end) -
                          reinterpret_cast<const uint8_t *>(s.loop_start);
    const int64_t frames = bytes / frame_size;
    int64_t ms = frames * 1000 / static_cast<int64_t>(per_second);
    if (s.loops > 1) {
        // |ms| < 2^42, so one check keeps the product inside 64 bits.
        if (ms != 0 && std::llabs(ms) > INT32_MAX / s.loops + 1)
            ms = ms > 0 ? INT64_MAX : INT64_MIN;
        else
            ms *= s.loops;
    }
    *milliseconds = saturate_to_int32(ms);
    return 1;
}

int32_t ZYN_SET_RESAMPLER(int32_t mode) {
    // Tables are built here, on the caller's thread, never by the mix.
    if (!resampler_mode_valid(mode)) return fail("ZYN_SET_RESAMPLER: %d is not a ZYN_RESAMPLE_ mode", mode);
    if (inside_fill() && !resampler_ready(mode))
        return fail("ZYN_SET_RESAMPLER: mode %d has no tables yet; inside a callback they are "
                    "not built (call ZYN_SET_RESAMPLER from the application first)",
                    mode);
    if (!inside_fill() && !prepare_resampler(mode)) return fail("no memory for the resampler's tables");
    EngineState &e = engine();
    EngineLock hold(e.lock);
    e.default_resampler = mode;
    return 1;
}

int32_t ZYN_SET_SOUNDRESAMPLER(int32_t sound, int32_t mode) {
    if (!resampler_mode_valid(mode))
        return fail("ZYN_SET_SOUNDRESAMPLER: %d is not a ZYN_RESAMPLE_ mode", mode);
    // From a callback only a mode whose tables exist: building them would
    // hold up the output thread.
    if (inside_fill() && !resampler_ready(mode))
        return fail("ZYN_SET_SOUNDRESAMPLER: mode %d has no tables yet; inside a callback they "
                    "are not built (call ZYN_SET_RESAMPLER or ZYN_SET_SOUNDRESAMPLER first)",
                    mode);
    if (!inside_fill() && !prepare_resampler(mode)) return fail("no memory for the resampler's tables");
    return with_sound(sound, [&](SoundEntry &s) { s.resampler = mode; });
}

}  // extern "C"
