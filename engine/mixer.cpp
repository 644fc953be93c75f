// One fill: stream block, one walk over the sounds that counts, renders and
// sums them, the tracks (streaming/track_voice.h), the group buses and the
// reverb (effects.h), master volume, master filters, master callback, counters.
//
// The fill holds the engine lock from start to end, so every row and setting
// it reads is a consistent set; application calls hold the lock only around
// their table changes, so the wait is short. It allocates nothing: every
// block it touches was allocated by the sound and stream operations.
//
// On a stereo device a sound without an enabled callback never goes through
// its work buffer: its frames are read from the wave, scaled, panned and
// summed into the output block in one pass (dsp/voice_render.h). Every sum
// is built as the blocks arrive, stream first, then sounds by row: the first
// stored, every later one added with saturation, as the MIX16 chain does.
// Such a sound's work buffer is left as it was: nothing reads it. A sound
// with a callback, and every sound on a mono device, renders into its work
// buffer, which the callback sees and may change before it is added.
//
// A wave made for another device format (the device was re-opened since) is
// read through dsp/converted_playback.h into the work buffer, in the
// device's layout and at its pitch; volume, pan, the callback and the sum
// follow as for any sound. Waves in the device's format never pay for it.
#include "mixer.h"

#include "dsp/converted_playback.h"
#include "dsp/interpolated_playback.h"
#include "dsp/kernels.h"
#include "dsp/voice_render.h"
#include "effects.h"
#include "end_events.h"
#include "engine_state.h"
#include "fades.h"
#include "groups.h"
#include "fill_thread.h"
#include "media/mp3_stream.h"
#include "media/smoothing.h"
#include "space/positional_mix.h"
#include "streaming/track_voice.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <atomic>

namespace zyn {
namespace {

std::atomic<bool> g_fused{true};

// A paused row is still heard while the ramp to its pause runs.
inline bool row_playing(const SoundEntry &row) {
    return row.wave_start != nullptr && row.buffer != nullptr && row.loops > 0 &&
           (row.paused == 0 || ramping(row));
}

inline bool in_device_format(const SoundEntry &row, int32_t channels, int32_t rate) {
    return row.wave_channels == channels && row.wave_rate == rate;
}

// The whole frames of the part from a wave in another format; a partial
// frame at its end stays silent.
void render_converted(SoundEntry &row, int16_t *dst, int32_t bytes, int32_t channels, int32_t rate) {
    const int32_t frames = bytes / (2 * channels);
    const int32_t written = frames * 2 * channels;
    const bool played = frames > 0 &&
                        play_converted(row.resampler, row.wave_channels, channels, dst,
                                       row.loop_start, &row.position, row.loop_end, &row.loops,
                                       &row.fraction, folded_speed(row.speed, row.wave_rate, rate),
                                       frames);
    if (!played)
        ZERO(dst, bytes);
    else if (written < bytes)
        ZERO(reinterpret_cast<uint8_t *>(dst) + written, bytes - written);
}

}  // namespace

void play_sound_frames(const RoutineSlots &slots, SoundEntry &row, int16_t *dst, int32_t bytes,
                       int32_t channels, int32_t rate) {
    if (!in_device_format(row, channels, rate)) {
        render_converted(row, dst, bytes, channels, rate);
    } else if (row.resampler != kResampleNearest && row.speed != 1.0f && (bytes & (2 * channels - 1)) == 0 &&
        play_interpolated(row.resampler, channels, dst, row.loop_start, &row.position,
                          row.loop_end, &row.loops, &row.fraction, row.speed,
                          bytes / (2 * channels))) {
        // read between frames; positions and loops moved as the kernels move them
    } else if (row.speed == 1.0f)
        slots.kernel_copy_right(dst, row.loop_start, &row.position, row.loop_end, &row.loops,
                                bytes);
    else if (row.speed <= 0.0f)
        slots.kernel_copy_slice_left(dst, row.loop_start, &row.position, row.loop_end,
                                     &row.loops, row.speed, bytes);
    else
        slots.kernel_copy_slice_right(dst, row.loop_start, &row.position, row.loop_end,
                                      &row.loops, row.speed, bytes);
}

namespace {

// Renders the sound's next frames into dst (bytes of its work buffer):
// playback, its filter, then its gain stages. While any of them moves (a
// ramp, its volume's glide, its group's: group gives the group's factor
// frame by frame) each frame gets its own gains; otherwise the volume
// (times the group's factor) and the pan go through SCALE16 and PAN16.
void render_sound(const RoutineSlots &slots, SoundEntry &row, VoiceEffects *fx, int16_t *dst, int32_t bytes,
                  int32_t channels, int32_t frames, int32_t rate, const Glide &group, bool group_moving) {
    play_sound_frames(slots, row, dst, bytes, channels, rate);
    if (fx != nullptr) filter_voice(*fx, dst, frames, channels);
    if (gains_move(row, group_moving)) {
        shape_moving(row, dst, frames, channels, group);
        return;
    }
    const float volume = row.volume * group.target();
    if (volume != 1.0f) slots.kernel_scale(dst, dst, volume, bytes);
    if (channels == 2 && row.pan != 0.0f) slots.kernel_pan(dst, dst, row.left_gain, row.right_gain, bytes);
}

}  // namespace

void advance_sound(const RoutineSlots &slots, SoundEntry &row, int32_t bytes, int32_t channels,
                   int32_t rate) {
    if (!in_device_format(row, channels, rate)) {
        advance_converted(row.wave_channels, row.loop_start, &row.position, row.loop_end, &row.loops,
                          &row.fraction, folded_speed(row.speed, row.wave_rate, rate),
                          bytes / (2 * channels));
    } else if (row.resampler != kResampleNearest && row.speed != 1.0f && (bytes & (2 * channels - 1)) == 0 &&
        advance_interpolated(row.loop_start, &row.position, row.loop_end, &row.loops, &row.fraction,
                             row.speed, bytes / (2 * channels), channels)) {
        // the fraction kept, as when heard
    } else if (row.speed == 1.0f)
        slots.kernel_move_right(row.loop_start, &row.position, row.loop_end, &row.loops, bytes);
    else if (row.speed <= 0.0f)
        slots.kernel_move_slice_left(row.loop_start, &row.position, row.loop_end, &row.loops,
                                     row.speed, bytes);
    else
        slots.kernel_move_slice_right(row.loop_start, &row.position, row.loop_end, &row.loops,
                                      row.speed, bytes);
}

namespace {

// An ended sound nobody holds a handle to gives its row back; the work
// buffer stays for the next sound placed there.
inline void release_if_ended(SoundEntry &row) {
    if (row.wave_start != nullptr && row.loops < 1 && (row.has_handle == 0 || row.releasing != 0)) {
        row.wave_start = nullptr;
        row.releasing = 0;
    }
}

// The volume and pan stages of a sound as fixed-point factors, with the
// tests the per-step path makes: volume exactly 1.0 and pan exactly 0.0 skip
// their stage, and PAN16 does nothing unless one gain is exactly 1.0.
FusedGains sound_gains(const SoundEntry &row, float level) {
    constexpr int64_t kUnit = 65536;
    FusedGains g{kUnit, kUnit, kUnit};
    const float volume = row.volume * level;
    if (volume != 1.0f) g.volume = scale_factor_fixed(volume);
    if (row.pan != 0.0f && (row.left_gain == 1.0f || row.right_gain == 1.0f)) {
        if (row.left_gain == 1.0f)
            g.right = scale_factor_fixed(row.right_gain);
        else
            g.left = scale_factor_fixed(row.left_gain);
    }
    return g;
}

// Adds one finished block to the running sum: the first is stored, every
// later one added with saturation (the MIX16 chain in list order).
void accumulate(const RoutineSlots &slots, int16_t *out, const int16_t *block, bool first,
                int32_t bytes) {
    if (first)
        COPY(out, block, bytes);
    else
        slots.kernel_mix(out, out, block, bytes);
}

// Whether a stereo sound may skip its work buffer: the fused loops stand in
// for exactly the stereo kernels, on whole frames (with a partial frame those
// kernels leave part of the work buffer as it was).
bool fusable_device(const RoutineSlots &slots, int32_t bytes, int32_t channels) {
    return g_fused.load(std::memory_order_relaxed) && channels == 2 && (bytes & 3) == 0 &&
           slots.kernel_copy_right == COPYRIGHT32 &&
           slots.kernel_copy_slice_right == COPYSLICERIGHT32 &&
           slots.kernel_copy_slice_left == COPYSLICELEFT32 && slots.kernel_scale == SCALE16 &&
           slots.kernel_pan == PAN16 && slots.kernel_mix == MIX16;
}

struct Walk {
    int32_t contributions = 0;  // blocks summed into out or a group's bus
    int32_t playing = 0;        // rows that play, including those past the channel limit
};

// The block being mixed: where it goes, its size, and the clock frame of
// its first frame.
struct Block {
    int16_t *out;
    int32_t bytes;
    int32_t channels;
    int32_t frames;
    int32_t rate;
    int64_t start;
};

// Frames of the block before the sound's first one: 0 for a sound that
// plays on, or whose start has come; -1 while its start is after the block.
inline int32_t frames_before_start(const SoundEntry &row, const Block &b) {
    if (row.start_at < 0 || row.start_at <= b.start) return 0;
    if (row.start_at - b.start >= b.frames) return -1;
    return static_cast<int32_t>(row.start_at - b.start);
}

// A heard sound from frame offset of the block on (frames before it are
// silence), summed into the block, or left in its work buffer for its
// group's bus (effects.h; a first contribution then leaves the block
// silent, for the next to be added to).
// The work buffer's road: kept out of line, so that the walk over many
// plain sounds holds only the fused road's few instructions.
__attribute__((noinline)) void mix_sound_buffered(EngineState &e, SoundEntry &row, VoiceEffects *fx, int32_t index,
                                                  const Block &b, int32_t offset, const GroupMix &group, bool first,
                                                  bool callback);

void mix_sound(EngineState &e, SoundEntry &row, int32_t index, const Block &b, int32_t offset,
               const GroupMix &group, bool fusable, bool first) {
    const int32_t head = offset * 2 * b.channels;
    const int32_t bytes = b.bytes - head;
    const bool callback = row.callback != nullptr && row.callback_enabled == 1;
    VoiceEffects *fx = row.effects ? sound_effects(e, index) : nullptr;
    if (!callback && fx == nullptr && !group.bus && fusable && !gains_move(row, group.moving) &&
        in_device_format(row, b.channels, b.rate) &&
        render_voice_fused(b.out + offset * 2, first, row.loop_start, &row.position, row.loop_end,
                           &row.loops, row.speed, sound_gains(row, group.level), bytes / 4,
                           row.resampler, &row.fraction)) {
        if (first && head > 0) ZERO(b.out, head);
        return;
    }
    mix_sound_buffered(e, row, fx, index, b, offset, group, first, callback);
}

void mix_sound_buffered(EngineState &e, SoundEntry &row, VoiceEffects *fx, int32_t index, const Block &b,
                        int32_t offset, const GroupMix &group, bool first, bool callback) {
    const RoutineSlots &slots = e.slots;
    const int32_t head = offset * 2 * b.channels;
    const int32_t bytes = b.bytes - head;
    const int32_t group_row = row.group;  // its callback may move it
    render_sound(slots, row, fx, row.buffer + offset * b.channels, bytes, b.channels, b.frames - offset,
                 b.rate, group_glide(e.groups, row.group, group, offset), group.moving);
    // The callback sees the whole block, silent before the start.
    if (head > 0) ZERO(row.buffer, head);
    if (callback) row.callback(row.buffer, b.channels, b.frames);
    if (fx != nullptr) send_to_reverb(e, *fx, row.buffer, b.frames, b.channels, 0, b.frames);
    if (group.bus) {
        if (first) ZERO(b.out, b.bytes);
        join_group_bus(e, index, group_row);
        return;
    }
    accumulate(slots, b.out, row.buffer, first, b.bytes);
}

// A heard positional sound: into the positional sum, or, with a reverb
// send or in a group with a bus, placed in its work buffer and then sent
// and routed as mix_sound routes a plain sound's block.
void mix_placed(EngineState &e, SoundEntry &row, int32_t index, const Block &b, int32_t offset,
                const GroupMix &group, bool first) {
    VoiceEffects *fx = row.effects ? sound_effects(e, index) : nullptr;
    const PlacedBlock placed{b.out, b.frames, b.channels, b.rate, offset};
    const Glide level = group_glide(e.groups, row.group, group, offset);
    if (fx == nullptr && !group.bus) {
        mix_positional(e, row, placed, level, group.moving, first, nullptr, nullptr);
        return;
    }
    const int32_t group_row = row.group;  // its callback may move it
    mix_positional(e, row, placed, level, group.moving, first, fx, row.buffer);
    if (fx != nullptr) send_to_reverb(e, *fx, row.buffer, b.frames, b.channels, 0, b.frames);
    if (group.bus) {
        if (first) ZERO(b.out, b.bytes);
        join_group_bus(e, index, group_row);
        return;
    }
    accumulate(e.slots, b.out, row.buffer, first, b.bytes);
}

// The one walk over the rows: each playing row is counted; rows are visited
// in order until the blocks summed reach the channel limit (checked after
// each visited row, so with the stream's block alone at the limit row 0 is
// still visited), and a visited row is heard (summed into out on the way),
// advanced when muted (by itself or its group), and given back when it
// ended without a handle. Rows past the limit only count: they continue
// from where they stand in a later fill. The stream's block, when taken, is
// the first contribution. A paused group's members, and sounds whose start
// is after the block, are left as they are.
//
// A group's factor is folded into each member's volume. A member of a
// group without a filter or a send goes straight into out; one of a group
// with either is left in its work buffer and listed for the group's bus,
// which finish_effects_block sums, filters and adds after the tracks.
Walk mix_rows(EngineState &e, const Block &b, bool stream_taken) {
    const RoutineSlots &slots = e.slots;
    const bool fusable = fusable_device(slots, b.bytes, b.channels);
    Walk w;
    if (stream_taken) accumulate(slots, b.out, e.mp3_stream.mix_buffer, w.contributions++ == 0, b.bytes);
    if (e.wave_count == 0) return w;
    bool limited = false;
    // sound_count is read afresh: a callback may add a row.
    for (int32_t i = 0; i < e.sound_count; ++i) {
        SoundEntry &row = e.sounds[static_cast<size_t>(i)];
        const GroupMix group = group_mix(e.groups, row.group);
        const int32_t offset = frames_before_start(row, b);
        const bool plays = row_playing(row) && !group.paused && offset >= 0;
        if (plays) ++w.playing;
        if (limited) {
            // Not heard, so its fade-out runs by the clock alone: the row is
            // still given back when it ends.
            if (plays && row.releasing != 0) {
                skip_ramp(row, b.frames);
                release_if_ended(row);
            }
            continue;
        }
        bool faded_out = false;
        if (plays) {
            const int32_t rest = b.frames - offset;
            const int32_t rest_bytes = b.bytes - offset * 2 * b.channels;
            if ((row.muted != 0 && !ramping(row)) || group.muted) {
                // Unheard, its ramp and its fade run on by the clock.
                if (ramping(row)) skip_ramp(row, rest);
                row.level.skip(rest);
                if (row.positional)  // at the pitch it would be heard at
                    advance_positional(e, row, rest_bytes, b.channels, b.rate);
                else
                    advance_sound(slots, row, rest_bytes, b.channels, b.rate);
            } else if (row.positional) {
                mix_placed(e, row, i, b, offset, group, w.contributions++ == 0);
            } else {
                mix_sound(e, row, i, b, offset, group, fusable, w.contributions++ == 0);
            }
            if (row.start_at >= 0) row.start_at = -1;  // begun (a row left alone stays clean)
            faded_out = row.stop_after_fade && !row.level.moving() && row.loops > 0;
            if (faded_out) row.loops = 0;
        }
        // A sound with a handle that has just played to its end (not one
        // destroyed or stopped by the application or a fade: those never
        // get here).
        if (plays && !faded_out && row.loops < 1 && row.has_handle == 1 && row.releasing == 0)
            note_sound_ended(i);
        if (row.loops < 1) {
            row.ramp_frames = 0;  // ended inside a ramp: none left for a restart
            end_fade(row);        // nor a fade
        }
        release_if_ended(row);
        limited = w.contributions >= e.max_channels;
    }
    return w;
}

}  // namespace

void set_fused_mixing(bool on) { g_fused.store(on, std::memory_order_relaxed); }

void fill_block(PlugoutRecord *record) {
    if (record == nullptr || record->buffer == nullptr ||
        record->buffer_size < (record->channels == 1 ? 2 : 4))
        return;
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const FillScope scope;

    const int32_t bytes = record->buffer_size;
    const int32_t channels = record->channels;
    // frames = B shifted right by C: the frames of a block for one or two channels.
    const int32_t frames = channels >= 0 && channels < 31 ? bytes >> channels : 0;
    auto *out = static_cast<int16_t *>(record->buffer);
    e.played_bytes.fetch_add(bytes, std::memory_order_relaxed);
    const RoutineSlots &slots = e.slots;
    if (slots.kernel_mix == nullptr) {  // no device has been opened yet
        ZERO(out, bytes);
        return;
    }
    const Block block{out, bytes, channels, frames, record->rate, e.clock.load(std::memory_order_relaxed)};
    e.block_end = block.start + frames;
    begin_group_block(e, frames);
    begin_effects_block(e);

    bool stream_taken = false;
    int32_t streams = 0;
    if (e.mp3_stream.active.load() == 1) {
        bool present = false;
        stream_taken = take_stream_block(e.mp3_stream, e.slots, bytes, channels, frames, &present);
        streams = present ? 1 : 0;
    }
    const Walk w = mix_rows(e, block, stream_taken);
    if (w.contributions == 0) ZERO(out, bytes);
    add_space_bus(out, frames * channels);
    mix_tracks(slots, e.groups, out, channels, frames);
    finish_effects_block(e, out, channels, frames);
    e.playing_sounds.store(w.playing, std::memory_order_relaxed);
    e.playing_streams.store(streams, std::memory_order_relaxed);

    if (e.master_volume != 1.0f) slots.kernel_scale(out, out, e.master_volume, bytes);
    if (slots.master_filter_routine != nullptr) {
        for (MasterFilter &band : e.master_filters)
            if (band.enabled == 1 && band.gain != 0.0f)
                slots.master_filter_routine(out, out, &band, bytes);
    }
    if (e.master_callback != nullptr && e.master_callback_enabled == 1)
        e.master_callback(out, channels, frames);
    e.clock.store(block.start + frames, std::memory_order_relaxed);
}

}  // namespace zyn
