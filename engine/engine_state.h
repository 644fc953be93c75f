// The engine's one process-wide state: settings, counters, the wave, sound and
// plug-in tables, the routine slots, the master filters and the MP3 stream
// (whose record and code live in media/mp3_stream.*).
//
// Locking: `EngineState::lock` is held by the mixer for a whole fill and by
// application calls only around the change of shared fields (never around
// file input, decoding or plug-in entry points). Rows live in deques, so a
// row never moves once made even when the table grows. Counters that queries
// read without the lock are atomics.
#pragma once

#include "dsp/glide.h"
#include "effects.h"
#include "groups.h"
#include "media/mp3_stream.h"
#include "space/spatial_voice.h"
#include "zyn.h"
#include "zyn_plugout.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zyn {

// A wave keeps the format its samples were made in (the device's at the
// time): a device re-opened in another format plays it converted, and its
// samples never move.
struct WaveEntry {
    int16_t *samples = nullptr;  // owned; null marks a free row
    int32_t size = 0;            // bytes
    int32_t rate = 0;            // Hz
    int32_t channels = 0;        // 1 or 2
};

// Fields the mixer reads for every row in every block come first, so that
// a walk over many rows touches as few cache lines as it can.
struct SoundEntry {
    int16_t *wave_start = nullptr;  // null marks a free row
    int16_t *buffer = nullptr;      // work block: buffer_size + 512 bytes, kept across row reuse
    int32_t loops = 0;
    int32_t paused = 0;
    int32_t muted = 0;
    int32_t releasing = 0;
    int32_t has_handle = 0;
    int32_t ramp_frames = 0;
    // Mix structure: the group row it belongs to (-1: none; groups.h), and
    // the clock frame its first frame waits for (-1: none; clock.h).
    int32_t group = -1;
    int64_t start_at = -1;
    ZynSampleCallback callback = nullptr;
    int32_t callback_enabled = 0;
    int32_t wave_rate = 0;  // the format of the wave's samples (WaveEntry)
    int32_t wave_channels = 0;
    int32_t resampler = 0;  // ZYN_RESAMPLE_*; its tables are prepared
    uint32_t fraction = 0;  // part of a frame past position, kept by the interpolating modes
    float speed = 1.0f;
    float volume = 1.0f;  // as set: what the level stands at or glides to
    float pan = 0.0f;
    float left_gain = 1.0f;
    float right_gain = 1.0f;
    int16_t *position = nullptr;
    int16_t *loop_start = nullptr;
    int16_t *loop_end = nullptr;
    bool stop_after_fade = false;
    bool positional = false;  // placed in space: mixed by space/positional_mix.h, its pan unused
    // A filter or a reverb send to run (effects.h; its settings are in
    // EffectsState::sounds, by row): the row takes the work buffer's road.
    // Cleared by the mix once they have nothing more to do.
    bool effects = false;
    Glide level;  // the volume now (fades.h)
    float volume_after_stop = 1.0f;  // taken back when such a fade has stopped it
    int16_t *wave_end = nullptr;
    int32_t *handle_ref = nullptr;  // recorded only, never read back
    void *buffer_mark = nullptr;    // second copy of buffer; released only when they agree
    int32_t buffer_bytes = 0;       // its size as allocated (a device change replaces blocks of another)
    // A running gain ramp (media/smoothing.h) of the pan and hearing stages:
    // gains now, their step a frame, frames left (above); releasing (above):
    // destroyed, fading out, the handle already gone.
    float gain_left = 0.0f;
    float gain_right = 0.0f;
    float step_left = 0.0f;
    float step_right = 0.0f;
    // Its position, velocity and distance model (space/spatial_voice.h):
    // made the first time the sound is placed, kept with the row.
    std::unique_ptr<SpatialVoice> spatial;
    // The next member of its group's bus in the block being mixed (effects.h).
    int32_t bus_next = -1;
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

// What the engine keeps of a plug-in row beside its record: the file it came
// from, the name it reported before a device was open, and its optional
// entries (null when it has none; include/zyn_plugout.h).
struct PlugoutExtras {
    std::string file;           // "plug-pulse.so"
    std::string reported_name;  // "PulseAudio"; "" when it told none
    void *num_devices = nullptr;
    void *device_name = nullptr;
    void *set_realtime = nullptr;
    void *get_stats = nullptr;
};

struct EngineState {
    std::string plug_path;
    std::string plug_name;  // ZYN_SET_PLUGNAME; "" for the search order
    std::atomic<int32_t> realtime_priority{10};  // ZYN_SET_REALTIME
    int32_t plugout_count = 0;
    int32_t plugout_index = -1;
    std::atomic<int32_t> plug_running{0};
    std::atomic<int32_t> initialized{0};
    std::atomic<int32_t> playing_sounds{0};
    std::atomic<int32_t> playing_streams{0};
    std::atomic<int32_t> played_bytes{0};  // wraps as two's complement
    // Frames mixed since the engine was opened (clock.h). Written by the
    // fill under the lock, read anywhere.
    std::atomic<int64_t> clock{0};
    // One past the last frame of the block being mixed, while a fill runs.
    int64_t block_end = 0;
    // Opened by ZYN_INIT_RENDER: no plug-in, the caller's thread mixes
    // (render.h). render_record stands for the device then.
    std::atomic<bool> rendering{false};
    PlugoutRecord render_record{};
    ZynSampleCallback master_callback = nullptr;
    int32_t master_callback_enabled = 0;
    float master_volume = 1.0f;
    int32_t max_channels = 128;
    int32_t default_resampler = 0;  // taken by each new sound
    int32_t wave_count = 0;
    int32_t sound_count = 0;
    std::deque<WaveEntry> waves;
    std::deque<SoundEntry> sounds;
    GroupTable groups;
    // A plug-in keeps the address of its row, so rows must never move:
    // the table is reserved for every library found up front.
    std::vector<PlugoutRecord> plugouts;
    std::vector<PlugoutExtras> plugout_extras;  // one per row, beside plugouts
    // The files of the last search that gave no row, each with why.
    std::string plugouts_left_out;
    // Size of every sound work buffer allocated so far (buffer_size + 512 of
    // the device they were made for); 0 before any.
    int32_t work_buffer_bytes = 0;
    RoutineSlots slots;
    MasterFilter master_filters[kMasterFilterCount];
    Mp3Stream mp3_stream;
    EffectsState effects;  // the shared reverb and the group bus (effects.h)

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

// The open plug-in's record (the render description while the engine
// renders), or null (caller holds the lock or is the app thread).
PlugoutRecord *open_plugout();

}  // namespace zyn
