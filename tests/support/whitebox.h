// White-box helpers: rows placed straight into the engine's tables, for tests
// of the mixer that must not depend on the sound operations.
#pragma once

#include "engine_state.h"
#include "row_tables.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace zyn_test {

// A wave holding exactly these samples, made at rate Hz with channels
// channels; 0 takes the open device's (44100 Hz stereo without one). Returns
// its handle.
inline int32_t add_raw_wave(const std::vector<int16_t> &samples, int32_t rate = 0,
                            int32_t channels = 0) {
    auto *block = static_cast<int16_t *>(std::calloc(samples.size(), sizeof(int16_t)));
    std::memcpy(block, samples.data(), samples.size() * sizeof(int16_t));
    {
        zyn::EngineLock hold(zyn::engine().lock);
        const PlugoutRecord *device = zyn::open_plugout();
        if (rate == 0) rate = device != nullptr ? device->rate : 44100;
        if (channels == 0) channels = device != nullptr ? device->channels : 2;
    }
    return zyn::store_wave(block, static_cast<int32_t>(samples.size() * sizeof(int16_t)), rate,
                           channels);
}

struct RawSound {
    int32_t loops = 1;
    float speed = 1.0f;
    float volume = 1.0f;
    float pan = 0.0f;
    int32_t has_handle = 1;
    int32_t muted = 0;
    int32_t paused = 0;
};

// A playing sound row on a wave, as the sound operations would make it.
inline int32_t add_raw_sound(int32_t wave, const RawSound &how) {
    zyn::EngineState &e = zyn::engine();
    zyn::EngineLock hold(e.lock);
    const int32_t row = zyn::take_sound_row();
    zyn::SoundEntry &s = e.sounds[static_cast<size_t>(row)];
    const zyn::WaveEntry &w = e.waves[static_cast<size_t>(wave)];
    s.wave_start = s.position = s.loop_start = w.samples;
    s.wave_end = s.loop_end = w.samples + w.size / 2;
    s.wave_rate = w.rate;
    s.wave_channels = w.channels;
    if (s.buffer == nullptr) {
        s.buffer = static_cast<int16_t *>(std::calloc(static_cast<size_t>(e.work_buffer_bytes), 1));
        s.buffer_mark = s.buffer;
        s.buffer_bytes = e.work_buffer_bytes;
    }
    s.callback = nullptr;
    s.callback_enabled = 0;
    s.loops = how.loops;
    s.speed = how.speed;
    s.volume = how.volume;
    s.pan = how.pan;
    s.left_gain = how.pan > 0 ? 1.0f - how.pan : 1.0f;
    s.right_gain = how.pan < 0 ? 1.0f + how.pan : 1.0f;
    s.has_handle = how.has_handle;
    s.muted = how.muted;
    s.paused = how.paused;
    return row;
}

inline zyn::SoundEntry &sound_row(int32_t row) {
    return zyn::engine().sounds[static_cast<size_t>(row)];
}

}  // namespace zyn_test
