// An engine opened on a device that exists only in its state: enough for the
// file loaders, which read the device format and the frame kernels and store
// waves, without a plug-in library or an output thread.
#pragma once

#include "engine_state.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace zyn_fuzz {

inline std::string &scratch_folder() {
    static std::string folder;
    return folder;
}

inline void open_engine() {
    char pattern[] = "/tmp/zyn-fuzz-XXXXXX";
    const char *made = mkdtemp(pattern);
    scratch_folder() = made != nullptr ? made : "/tmp";
    setenv("TMPDIR", scratch_folder().c_str(), 1);
    zyn::EngineState &e = zyn::engine();
    zyn::EngineLock hold(e.lock);
    e.plugouts.reserve(4);
    e.plugouts.emplace_back();
    e.plugout_count = 1;
    e.plugout_index = 0;
    e.initialized.store(1);
}

// Picks the device format from a selector byte: channels and rate.
inline void choose_device(uint8_t selector) {
    static const int32_t rates[4] = {44100, 22050, 48000, 8000};
    zyn::EngineState &e = zyn::engine();
    zyn::EngineLock hold(e.lock);
    PlugoutRecord &r = e.plugouts[0];
    r.channels = (selector & 1) ? 1 : 2;
    r.rate = rates[(selector >> 1) & 3];
    r.bits = 16;
    r.frame_size = 2 * r.channels;
    r.buffer_size = 1024 * r.frame_size;
    const bool mono = r.channels == 1;
    e.slots.kernel_scale_mp3_frame_stereo = mono ? SCALEMP3FRAME_21_16 : SCALEMP3FRAME_22_16;
    e.slots.kernel_scale_mp3_frame_mono = mono ? SCALEMP3FRAME_11_16 : SCALEMP3FRAME_12_16;
}

// Writes the input as a file, runs the loader, frees the wave it made.
template <typename Loader>
int run_loader(const uint8_t *data, size_t size, const char *name, Loader load) {
    if (size < 1) return 0;
    choose_device(data[0]);
    const std::string path = scratch_folder() + "/" + name;
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    int32_t wave = -1;
    if (load(path.c_str(), &wave) == 1) {
        zyn::EngineState &e = zyn::engine();
        zyn::EngineLock hold(e.lock);
        zyn::WaveEntry &row = e.waves[static_cast<size_t>(wave)];
        std::free(row.samples);
        row.samples = nullptr;
        row.size = 0;
    } else if (wave != -1) {
        std::abort();  // a failed load must leave the handle at -1
    }
    return 0;
}

}  // namespace zyn_fuzz
