#include "row_tables.h"

#include "engine_state.h"
#include "last_error.h"

#include <cstdlib>
#include <vector>

namespace zyn {

bool wave_handle_valid(int32_t wave) {
    const EngineState &e = engine();
    if (!e.initialized.load(std::memory_order_relaxed) || e.wave_count < 1) return false;
    if (wave < 0 || wave >= e.wave_count) return false;
    const WaveEntry &row = e.waves[static_cast<size_t>(wave)];
    return row.samples != nullptr && row.size >= 1;
}

bool sound_handle_valid(int32_t sound) {
    const EngineState &e = engine();
    if (!e.initialized.load(std::memory_order_relaxed) || e.wave_count < 1) return false;
    if (e.sound_count < 1 || sound < 0 || sound >= e.sound_count) return false;
    const SoundEntry &row = e.sounds[static_cast<size_t>(sound)];
    // A row fading out after ZYN_DESTROY_SOUND has no handle any more.
    return row.wave_start != nullptr && row.buffer != nullptr && row.releasing == 0;
}

int32_t fail_wave_handle(int32_t wave) {
    if (engine().initialized.load(std::memory_order_relaxed) == 0) return fail_not_initialised();
    return fail("no wave with handle %d", wave);
}

int32_t fail_sound_handle(int32_t sound) {
    if (engine().initialized.load(std::memory_order_relaxed) == 0) return fail_not_initialised();
    return fail("no sound with handle %d", sound);
}

int32_t take_wave_row() {
    EngineState &e = engine();
    if (e.wave_count == 0) {
        e.waves.clear();
        e.waves.emplace_back();
        e.wave_count = 1;
        return 0;
    }
    for (int32_t i = 0; i < e.wave_count; ++i)
        if (e.waves[static_cast<size_t>(i)].samples == nullptr) return i;
    e.waves.emplace_back();
    return e.wave_count++;
}

int32_t take_sound_row() {
    EngineState &e = engine();
    for (int32_t i = 0; i < e.sound_count; ++i)
        if (e.sounds[static_cast<size_t>(i)].wave_start == nullptr) return i;
    e.sounds.emplace_back();
    return e.sound_count++;
}

int32_t store_wave(int16_t *samples, int32_t size) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    int32_t row = take_wave_row();
    WaveEntry &wave = e.waves[static_cast<size_t>(row)];
    wave.samples = samples;
    wave.size = size;
    return row;
}

void shutdown_tables() {
    EngineState &e = engine();
    std::vector<void *> released;
    {
        EngineLock hold(e.lock);
        for (int32_t i = 0; i < e.sound_count; ++i) {
            SoundEntry &row = e.sounds[static_cast<size_t>(i)];
            if (row.loops != 0) row.paused = 1;
            row.loops = 0;
            if (row.buffer != nullptr && row.buffer == row.buffer_mark) {
                released.push_back(row.buffer);
                row.buffer = nullptr;
                row.buffer_mark = nullptr;
            }
            row.wave_start = nullptr;
            row.position = nullptr;
            row.wave_end = nullptr;
        }
        for (int32_t i = 0; i < e.wave_count; ++i) {
            WaveEntry &row = e.waves[static_cast<size_t>(i)];
            if (row.samples != nullptr) released.push_back(row.samples);
            row.samples = nullptr;
            row.size = 0;
        }
        e.wave_count = 0;
    }
    // Freed outside the lock: nothing can reach these blocks any more.
    for (void *block : released) std::free(block);
}

}  // namespace zyn
