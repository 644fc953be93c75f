#include "row_tables.h"

#include "engine_state.h"
#include "last_error.h"

#include <cstdlib>
#include <deque>
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
    sound_rows_grew(e);
    return e.sound_count++;
}

int32_t store_wave(int16_t *samples, int32_t size, int32_t rate, int32_t channels) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    // ZYN_EXIT on another thread may have closed the engine while these
    // samples were made: stored now, they would outlive it.
    if (e.initialized.load() == 0) return -1;
    int32_t row = take_wave_row();
    WaveEntry &wave = e.waves[static_cast<size_t>(row)];
    wave.samples = samples;
    wave.size = size;
    wave.rate = rate;
    wave.channels = channels;
    return row;
}

void shutdown_tables() {
    EngineState &e = engine();
    // The rows go too, not only their blocks: rows of sounds the mixer ended
    // are kept for reuse, and without this the table would hold as many rows
    // as were ever alive together for the rest of the process. Empty tables
    // are made before the lock is taken (a deque allocates even when empty),
    // the full ones are swapped out under it and released after it.
    std::deque<SoundEntry> sounds;
    std::deque<WaveEntry> waves;
    int32_t sound_rows = 0;
    int32_t wave_rows = 0;
    {
        EngineLock hold(e.lock);
        e.sounds.swap(sounds);
        e.waves.swap(waves);
        sound_rows = e.sound_count;
        wave_rows = e.wave_count;
        e.sound_count = 0;
        e.wave_count = 0;
    }
    // Nothing can reach these rows any more.
    for (int32_t i = 0; i < sound_rows; ++i) {
        SoundEntry &row = sounds[static_cast<size_t>(i)];
        if (row.buffer != nullptr && row.buffer == row.buffer_mark) std::free(row.buffer);
    }
    for (int32_t i = 0; i < wave_rows; ++i) std::free(waves[static_cast<size_t>(i)].samples);
}

}  // namespace zyn
