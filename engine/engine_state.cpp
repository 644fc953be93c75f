#include "engine_state.h"

#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace zyn {

namespace {

std::string executable_folder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return "./";
    std::string text(path, static_cast<size_t>(n));
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? std::string("./") : text.substr(0, slash + 1);
}

bool has_plugins(const std::string &folder) {
    return access((folder + "plug-null.so").c_str(), F_OK) == 0;
}

// An installed libzyn.so keeps its plug-ins in a folder beside itself; found
// through the library's own path so that the install prefix may move.
std::string installed_plugin_folder() {
#ifdef ZYN_INSTALL_PLUGIN_SUBDIR
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&installed_plugin_folder), &info) == 0 || info.dli_fname == nullptr)
        return "";
    std::string library = info.dli_fname;
    size_t slash = library.rfind('/');
    if (slash == std::string::npos) return "";
    return library.substr(0, slash + 1) + ZYN_INSTALL_PLUGIN_SUBDIR;
#else
    return "";
#endif
}

// The executable's folder, unless it holds no plug-ins and the installed
// folder does: a host program installed anywhere still finds them.
std::string default_plug_path() {
    std::string beside_program = executable_folder();
    if (has_plugins(beside_program)) return beside_program;
    std::string installed = installed_plugin_folder();
    if (!installed.empty() && has_plugins(installed)) return installed;
    return beside_program;
}

EngineState *make_engine() {
    auto *state = new EngineState();
    state->plug_path = default_plug_path();
    return state;
}

}  // namespace

EngineState &engine() {
    static EngineState *const state = make_engine();
    return *state;
}

PlugoutRecord *open_plugout() {
    EngineState &e = engine();
    if (e.plugout_index < 0 || e.plugout_index >= e.plugout_count) return nullptr;
    return &e.plugouts[static_cast<size_t>(e.plugout_index)];
}

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
    return row.wave_start != nullptr && row.buffer != nullptr;
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
    // ZYN_EXIT on another thread may have closed the engine while these
    // samples were made: stored now, they would outlive it.
    if (e.initialized.load() == 0) return -1;
    int32_t row = take_wave_row();
    WaveEntry &wave = e.waves[static_cast<size_t>(row)];
    wave.samples = samples;
    wave.size = size;
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

namespace zyn {

void resize_work_buffers(int32_t buffer_size) {
    EngineState &e = engine();
    const int32_t bytes = buffer_size + 512;
    int32_t rows = 0;
    {
        EngineLock hold(e.lock);
        if (e.work_buffer_bytes == bytes) return;
        for (int32_t i = 0; i < e.sound_count; ++i)
            if (e.sounds[static_cast<size_t>(i)].buffer != nullptr) ++rows;
    }
    // Allocate outside the lock; the table only changes on this thread.
    std::vector<int16_t *> fresh;
    for (int32_t i = 0; i < rows; ++i)
        fresh.push_back(static_cast<int16_t *>(std::calloc(static_cast<size_t>(bytes), 1)));
    std::vector<void *> released;
    {
        EngineLock hold(e.lock);
        size_t next = 0;
        for (int32_t i = 0; i < e.sound_count; ++i) {
            SoundEntry &row = e.sounds[static_cast<size_t>(i)];
            if (row.buffer == nullptr) continue;
            int16_t *block = next < fresh.size() ? fresh[next++] : nullptr;
            if (row.buffer == row.buffer_mark) released.push_back(row.buffer);
            if (block == nullptr) {
                // No memory for a larger block: the sound cannot be mixed safely any more.
                row.paused = 1;
                row.loops = 0;
                row.wave_start = nullptr;
            }
            row.buffer = block;
            row.buffer_mark = block;
        }
        e.work_buffer_bytes = bytes;
        for (; next < fresh.size(); ++next) released.push_back(fresh[next]);
    }
    for (void *block : released) std::free(block);
}

}  // namespace zyn
