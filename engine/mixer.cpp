// One fill: stream block, census, sounds, sum, master volume, master filters,
// master callback, counters.
//
// The fill holds the engine lock from start to end, so every row and setting
// it reads is a consistent set; application calls hold the lock only around
// their table changes, so the wait is short. It allocates nothing: every
// block it touches was allocated by the sound and stream operations.
#include "mixer.h"

#include "dsp/master_stage.h"
#include "engine_state.h"
#include "zyn.h"

namespace zyn {
namespace {

constexpr int kMixListSize = 257;  // the stream plus up to 256 sounds

// Takes one block from the stream's ring into its mix buffer. Returns true
// when a block was taken; *present tells whether the ring held anything.
bool take_stream_block(EngineState &e, int32_t bytes, int32_t channels, int32_t frames,
                       bool *present) {
    Mp3Stream &s = e.mp3_stream;
    const int32_t fill = s.ring_fill.load(std::memory_order_acquire);
    *present = fill > 0;
    if (fill < bytes || s.ring_read + bytes > s.ring_end || s.mix_buffer == nullptr) return false;
    auto *block = reinterpret_cast<int16_t *>(s.ring_read);
    if (s.volume == 0.0f) {
        ZERO(s.mix_buffer, bytes);
    } else {
        if (s.volume != 1.0f) e.slots.kernel_scale(block, block, s.volume, bytes);
        if (channels == 2 && s.pan != 0.0f)
            e.slots.kernel_pan(s.mix_buffer, block, s.left_gain, s.right_gain, bytes);
        else
            COPY(s.mix_buffer, block, bytes);
    }
    // From here on the decoder may refill the block just read.
    s.ring_fill.fetch_sub(bytes, std::memory_order_acq_rel);
    if (s.callback != nullptr && s.callback_enabled == 1) s.callback(s.mix_buffer, channels, frames);
    s.ring_read += bytes;
    if (s.ring_read >= s.ring_end) s.ring_read = s.ring_start;
    if (s.ring_fill.load(std::memory_order_acquire) == 0 && s.decoding.load() == 0)
        s.active.store(0);
    return true;
}

inline bool row_playing(const SoundEntry &row) {
    return row.wave_start != nullptr && row.buffer != nullptr && row.loops > 0 && row.paused == 0;
}

void render_sound(const RoutineSlots &slots, SoundEntry &row, int32_t bytes, int32_t channels,
                  int32_t frames) {
    if (row.speed == 1.0f)
        slots.kernel_copy_right(row.buffer, row.loop_start, &row.position, row.loop_end, &row.loops,
                                bytes);
    else if (row.speed <= 0.0f)
        slots.kernel_copy_slice_left(row.buffer, row.loop_start, &row.position, row.loop_end,
                                     &row.loops, row.speed, bytes);
    else
        slots.kernel_copy_slice_right(row.buffer, row.loop_start, &row.position, row.loop_end,
                                      &row.loops, row.speed, bytes);
    if (row.volume != 1.0f) slots.kernel_scale(row.buffer, row.buffer, row.volume, bytes);
    if (channels == 2 && row.pan != 0.0f)
        slots.kernel_pan(row.buffer, row.buffer, row.left_gain, row.right_gain, bytes);
    if (row.callback != nullptr && row.callback_enabled == 1) row.callback(row.buffer, channels, frames);
}

// A muted sound keeps its timing: it advances exactly as if it were heard.
void advance_sound(const RoutineSlots &slots, SoundEntry &row, int32_t bytes) {
    if (row.speed == 1.0f)
        slots.kernel_move_right(row.loop_start, &row.position, row.loop_end, &row.loops, bytes);
    else if (row.speed <= 0.0f)
        slots.kernel_move_slice_left(row.loop_start, &row.position, row.loop_end, &row.loops,
                                     row.speed, bytes);
    else
        slots.kernel_move_slice_right(row.loop_start, &row.position, row.loop_end, &row.loops,
                                      row.speed, bytes);
}

}  // namespace

void fill_block(PlugoutRecord *record) {
    if (record == nullptr || record->buffer == nullptr || record->buffer_size < 4) return;
    EngineState &e = engine();
    EngineLock hold(e.lock);

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

    int16_t *list[kMixListSize];
    int32_t n = 0;
    int32_t streams = 0;
    if (e.mp3_stream.active.load() == 1) {
        bool present = false;
        if (take_stream_block(e, bytes, channels, frames, &present)) list[n++] = e.mp3_stream.mix_buffer;
        streams = present ? 1 : 0;
    }

    int32_t playing = 0;
    if (e.wave_count > 0 && e.sound_count > 0) {
        for (int32_t i = 0; i < e.sound_count; ++i)
            if (row_playing(e.sounds[static_cast<size_t>(i)])) ++playing;
    }
    e.playing_sounds.store(playing, std::memory_order_relaxed);
    e.playing_streams.store(streams, std::memory_order_relaxed);

    if (playing > 0) {
        // sound_count is read afresh: a callback may have added a row.
        for (int32_t i = 0; i < e.sound_count; ++i) {
            SoundEntry &row = e.sounds[static_cast<size_t>(i)];
            if (row_playing(row)) {
                if (row.muted == 0) {
                    list[n++] = row.buffer;
                    render_sound(slots, row, bytes, channels, frames);
                } else {
                    advance_sound(slots, row, bytes);
                }
            }
            // An ended sound nobody holds a handle to gives its row back;
            // the work buffer stays for the next sound placed there.
            if (row.wave_start != nullptr && row.loops < 1 && row.has_handle == 0)
                row.wave_start = nullptr;
            if (n >= e.max_channels) break;
        }
    }

    if (n == 0)
        ZERO(out, bytes);
    else if (n == 1)
        COPY(out, list[0], bytes);
    else
        mix_buffers(slots, out, list, n, bytes);

    if (e.master_volume != 1.0f) slots.kernel_scale(out, out, e.master_volume, bytes);
    if (slots.master_filter_routine != nullptr) {
        for (MasterFilter &band : e.master_filters)
            if (band.enabled == 1 && band.gain != 0.0f)
                slots.master_filter_routine(out, out, &band, bytes);
    }
    if (e.master_callback != nullptr && e.master_callback_enabled == 1)
        e.master_callback(out, channels, frames);
}

}  // namespace zyn
