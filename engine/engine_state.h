// The engine's one process-wide state: settings, counters, the wave, sound and
// plug-in tables, the routine slots, the master filters and the MP3 stream.
//
// Locking: `EngineState::lock` is held by the mixer for a whole fill and by
// application calls only around the change of shared fields (never around
// file input, decoding or plug-in entry points). Rows live in deques, so a
// row never moves once made even when the table grows. Counters that queries
// read without the lock are atomics.
#pragma once

#include "zyn.h"
#include "zyn_plugout.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace zyn {

struct WaveEntry {
    int16_t *samples = nullptr;  // owned; null marks a free row
    int32_t size = 0;            // bytes
};

struct SoundEntry {
    ZynSampleCallback callback = nullptr;
    int32_t callback_enabled = 0;
    int32_t *handle_ref = nullptr;  // recorded only, never read back
    int16_t *wave_start = nullptr;  // null marks a free row
    int16_t *position = nullptr;
    int16_t *wave_end = nullptr;
    int16_t *loop_start = nullptr;
    int16_t *loop_end = nullptr;
    void *buffer_mark = nullptr;  // second copy of buffer; released only when they agree
    int16_t *buffer = nullptr;    // work block: buffer_size + 512 bytes, kept across row reuse
    int32_t loops = 0;
    float speed = 1.0f;
    float volume = 1.0f;
    float pan = 0.0f;
    float left_gain = 1.0f;
    float right_gain = 1.0f;
    int32_t has_handle = 0;
    int32_t muted = 0;
    int32_t paused = 0;
};

// One peaking-equaliser band of the master stage.
struct MasterFilter {
    int32_t enabled = 0;
    float centre = 0.0f;
    float rate = 0.0f;
    float bandwidth = 0.0f;
    float gain = 0.0f;
    float linear_gain = 0.0f;
    float fb1 = 0.0f;
    float fb2 = 0.0f;
    float ff0 = 0.0f;
    float ff1 = 0.0f;
    float ff2 = 0.0f;
    float history1[4] = {0, 0, 0, 0};  // first channel: x[n-1], x[n-2], y[n-1], y[n-2]
    float history2[4] = {0, 0, 0, 0};  // second channel
};
constexpr int kMasterFilterCount = 10;

struct Mp3Decoder;  // libmad state, private to the stream

// The single MP3 stream. The mixer consumes the ring under the engine lock;
// the decoder thread produces into it without the lock, so the fields they
// share are atomics.
struct Mp3Stream {
    std::atomic<int32_t> active{0};
    std::atomic<int32_t> decoding{0};
    ZynSampleCallback callback = nullptr;
    int32_t callback_enabled = 0;
    float volume = 1.0f;
    float pan = 0.0f;
    float left_gain = 1.0f;
    float right_gain = 1.0f;
    int16_t *mix_buffer = nullptr;
    uint8_t *ring_start = nullptr;
    uint8_t *ring_end = nullptr;
    uint8_t *ring_read = nullptr;
    std::atomic<int32_t> ring_fill{0};
    // Producer side, owned by the stream code.
    uint8_t *ring_write = nullptr;
    int32_t ring_size = 0;
    uint8_t *input_buffer = nullptr;
    uint8_t *pcm_buffer = nullptr;
    Mp3Decoder *decoder = nullptr;
};

// Kernel signatures as the routine slots hold them.
using MixRoutine = void (*)(int16_t *, const int16_t *, const int16_t *, int32_t);
using ScaleRoutine = void (*)(int16_t *, const int16_t *, float, int32_t);
using PanRoutine = void (*)(int16_t *, const int16_t *, float, float, int32_t);
using CopyRightRoutine = void (*)(int16_t *, const int16_t *, int16_t **, const int16_t *,
                                  int32_t *, int32_t);
using MoveRightRoutine = void (*)(const int16_t *, int16_t **, const int16_t *, int32_t *, int32_t);
using CopySliceRoutine = void (*)(int16_t *, const int16_t *, int16_t **, const int16_t *,
                                  int32_t *, float, int32_t);
using MoveSliceRoutine = void (*)(const int16_t *, int16_t **, const int16_t *, int32_t *, float,
                                  int32_t);
using CopySliceMp3Routine = void (*)(void *, void **, void *, const void *, float, int32_t);
using ScaleMp3StereoRoutine = void (*)(int16_t *, const int32_t *, const int32_t *, int32_t);
using ScaleMp3MonoRoutine = void (*)(int16_t *, const int32_t *, int32_t);
using PitchShiftRoutine = void (*)(int16_t *, const int16_t *, float, float, int32_t);
using FilterRoutine = void (*)(int16_t *, const int16_t *, MasterFilter *, int32_t);

// Sample routines chosen by ZYN_INIT from the device's channel count.
struct RoutineSlots {
    MixRoutine kernel_mix = nullptr;
    ScaleRoutine kernel_scale = nullptr;
    PanRoutine kernel_pan = nullptr;  // none on a one-channel device
    CopyRightRoutine kernel_copy_right = nullptr;
    MoveRightRoutine kernel_move_right = nullptr;
    CopySliceRoutine kernel_copy_slice_right = nullptr;
    MoveSliceRoutine kernel_move_slice_right = nullptr;
    CopySliceRoutine kernel_copy_slice_left = nullptr;
    MoveSliceRoutine kernel_move_slice_left = nullptr;
    CopySliceMp3Routine kernel_copy_slice_mp3_frame = nullptr;
    ScaleMp3StereoRoutine kernel_scale_mp3_frame_stereo = nullptr;
    ScaleMp3MonoRoutine kernel_scale_mp3_frame_mono = nullptr;
    PitchShiftRoutine pitch_shift_routine = nullptr;
    FilterRoutine master_filter_routine = nullptr;
};

struct EngineState {
    std::string plug_path;
    int32_t plugout_count = 0;
    int32_t plugout_index = -1;
    std::atomic<int32_t> plug_running{0};
    std::atomic<int32_t> initialized{0};
    std::atomic<int32_t> playing_sounds{0};
    std::atomic<int32_t> playing_streams{0};
    std::atomic<int32_t> played_bytes{0};  // wraps as two's complement
    ZynSampleCallback master_callback = nullptr;
    int32_t master_callback_enabled = 0;
    float master_volume = 1.0f;
    int32_t max_channels = 128;
    int32_t wave_count = 0;
    int32_t sound_count = 0;
    std::deque<WaveEntry> waves;
    std::deque<SoundEntry> sounds;
    // A plug-in keeps the address of its row, so rows must never move:
    // the table is reserved for the whole built-in library list up front.
    std::vector<PlugoutRecord> plugouts;
    // Size of every sound work buffer allocated so far (buffer_size + 512 of
    // the device they were made for); 0 before any.
    int32_t work_buffer_bytes = 0;
    RoutineSlots slots;
    MasterFilter master_filters[kMasterFilterCount];
    Mp3Stream mp3_stream;

    // Serialises the fill against application calls; recursive so that a
    // callback running inside the fill may use the setters.
    std::recursive_mutex lock;
    // Serialises the calls that open, start, stop and close the device and
    // the stream against each other, when several application threads make
    // them. Taken before `lock`, never by the fill, and held around plug-in
    // entries and thread joins (which `lock` never is).
    std::recursive_mutex control;
};

using EngineLock = std::lock_guard<std::recursive_mutex>;
using ControlLock = std::lock_guard<std::recursive_mutex>;

// The engine's state. Made on first use and never destroyed, so the finaliser
// and late plug-in threads can still reach it while the process ends.
EngineState &engine();

// The open plug-in's record, or null (caller holds the lock or is the app thread).
PlugoutRecord *open_plugout();

// Handle checks; the caller holds the lock.
bool wave_handle_valid(int32_t wave);
bool sound_handle_valid(int32_t sound);

// Lowest free row, growing the table by one when none is free. Caller holds the lock.
int32_t take_wave_row();
int32_t take_sound_row();

// Stores a sample block as a wave (lowest free row first); returns its handle,
// or -1 when the engine is not initialised (the caller still owns samples).
// Takes the lock itself.
int32_t store_wave(int16_t *samples, int32_t size);

// Releases every wave, sound buffer and table row (part of ZYN_EXIT).
void shutdown_tables();

// Brings every sound work buffer to the size the open device needs
// (buffer_size + 512), so that no fill writes past one after a device with a
// larger block was opened. A row whose buffer cannot be grown is freed.
void resize_work_buffers(int32_t buffer_size);

}  // namespace zyn
