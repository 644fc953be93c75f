// Waves: blocks of samples in the format of the device they were made for,
// held in the wave table. A wave keeps that format when the device is
// re-opened in another: its samples never move, and every answer about it
// speaks of its own rate and frames.
//
// Destroying a wave frees the sounds that play it. Rows are detached under
// the engine lock, which the mixer holds for a whole fill, and the memory is
// released only after the lock is given back: a fill either ran before the
// detach or never sees the rows again.
#include "engine_state.h"
#include "row_tables.h"
#include "fill_thread.h"
#include "last_error.h"
#include "saturate.h"
#include "zyn.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace zyn {
namespace {

int64_t wave_frames(const WaveEntry &row) {
    return row.channels > 0 ? static_cast<int64_t>(row.size) / (2 * row.channels) : 0;
}

// A zero divisor gives 0.
int32_t wave_milliseconds(const WaveEntry &row) {
    if (row.rate == 0) return 0;
    return saturate_to_int32(wave_frames(row) * 1000 / row.rate);
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_CREATE_WAVE(int32_t frames, int32_t *wave, int16_t **samples) {
    if (wave == nullptr) return fail_null("ZYN_CREATE_WAVE", "wave");
    if (samples == nullptr) return fail_null("ZYN_CREATE_WAVE", "samples");
    // The output thread never allocates.
    if (inside_fill()) {
        *wave = -1;
        return fail_in_callback("ZYN_CREATE_WAVE");
    }
    EngineState &e = engine();
    int64_t bytes = 0;
    int32_t rate = 0, channels = 0;
    {
        EngineLock hold(e.lock);
        const PlugoutRecord *device = open_plugout();
        if (device == nullptr || frames < 1) {
            *wave = -1;
            if (device == nullptr) return fail_not_initialised();
            return fail("ZYN_CREATE_WAVE: %d frames asked; a wave has at least 1", frames);
        }
        bytes = static_cast<int64_t>(device->bits / 8) * frames * device->channels;
        rate = device->rate;
        channels = device->channels;
    }
    // A size the wave table cannot hold is refused rather than wrapped.
    if (bytes < 1 || bytes > INT32_MAX) {
        *wave = -1;
        return fail("ZYN_CREATE_WAVE: a wave of %d frames would be over 2 GiB", frames);
    }
    auto *block = static_cast<int16_t *>(std::calloc(static_cast<size_t>(bytes), 1));
    if (block == nullptr) {
        *wave = -1;
        return fail("no memory for a wave of %lld bytes", static_cast<long long>(bytes));
    }
    const int32_t handle = store_wave(block, static_cast<int32_t>(bytes), rate, channels);
    if (handle < 0) {
        std::free(block);
        *wave = -1;
        return fail_not_initialised();
    }
    *wave = handle;
    *samples = block;
    return 1;
}

int32_t ZYN_DESTROY_WAVE(int32_t *wave) {
    // Inside a fill the samples and work buffers may be blocks the running
    // mix still reads, and the output thread never frees: refused.
    if (wave == nullptr) return fail_null("ZYN_DESTROY_WAVE", "wave");
    if (inside_fill()) return fail_in_callback("ZYN_DESTROY_WAVE");
    EngineState &e = engine();
    std::vector<void *> released;
    int corrupt = 0;
    {
        EngineLock hold(e.lock);
        const int32_t handle = *wave;
        if (!wave_handle_valid(handle)) return fail_wave_handle(handle);
        WaveEntry &row = e.waves[static_cast<size_t>(handle)];
        for (int32_t i = 0; i < e.sound_count; ++i) {
            SoundEntry &s = e.sounds[static_cast<size_t>(i)];
            // Every row pointing into the samples goes, valid handle or not:
            // none may outlive the memory it plays.
            if (s.wave_start == nullptr || s.wave_start != row.samples) continue;
            if (s.loops > 0 && s.paused == 0) s.paused = 1;
            s.loops = 0;
            s.wave_start = nullptr;
            if (s.buffer == nullptr) continue;
            if (s.buffer_mark == s.buffer) {
                released.push_back(s.buffer);
                s.buffer = nullptr;
                s.buffer_mark = nullptr;
                s.buffer_bytes = 0;
            } else {
                ++corrupt;
            }
        }
        if (row.samples != nullptr) released.push_back(row.samples);
        row.samples = nullptr;
        row.size = 0;
        row.rate = 0;
        row.channels = 0;
    }
    for (void *block : released) std::free(block);
    for (int i = 0; i < corrupt; ++i) std::puts("!!! pointer value are corrupt !!!");
    if (corrupt > 0) std::fflush(stdout);
    *wave = -1;
    return 1;
}

int32_t ZYN_GET_WAVELENGTH(int32_t wave, int32_t *milliseconds) {
    if (milliseconds == nullptr) return fail_null("ZYN_GET_WAVELENGTH", "milliseconds");
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const PlugoutRecord *device = open_plugout();
    if (!wave_handle_valid(wave)) return fail_wave_handle(wave);
    if (device == nullptr) return fail_not_initialised();
    *milliseconds = wave_milliseconds(e.waves[static_cast<size_t>(wave)]);
    return 1;
}

int32_t ZYN_GET_WAVEPOINTERS(int32_t wave, int16_t **start, int16_t **end, int32_t *channels) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!wave_handle_valid(wave)) return fail_wave_handle(wave);
    const WaveEntry &row = e.waves[static_cast<size_t>(wave)];
    if (start != nullptr) *start = row.samples;
    if (end != nullptr)
        *end = reinterpret_cast<int16_t *>(reinterpret_cast<uint8_t *>(row.samples) + row.size);
    if (channels != nullptr) *channels = row.channels;
    return 1;
}

int32_t ZYN_GET_WAVEINFO(int32_t wave, int64_t *frames, int32_t *rate, int32_t *channels) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!wave_handle_valid(wave)) return fail_wave_handle(wave);
    const WaveEntry &row = e.waves[static_cast<size_t>(wave)];
    if (frames != nullptr) *frames = wave_frames(row);
    if (rate != nullptr) *rate = row.rate;
    if (channels != nullptr) *channels = row.channels;
    return 1;
}

}  // extern "C"
