// zyn rendering the peer workload: the engine opened on the benchmark's own
// pump plug-in (plug-null.so in a folder of its own), which has no thread and
// no device, so every fill is one call from here and all the CPU time between
// the two clock readings is the mixer's.
//
// Sounds are started through the public interface (ZYN_CREATE_WAVE,
// ZYN_PLAY_WAVE). The zyn_render_rows build places the same rows straight
// into the engine's sound table instead, for engines whose sound operations
// are not there yet: the fills, and so what is measured, are the same.
//
//   zyn_render [--plugdir DIR] [--voices ...] [--workloads ...]
//   zyn_render [--plugdir DIR] --load FILE [--repeat R]   times ZYN_LOAD_WAVFILE / MP3FILE / OGGFILE
#include "peer_workload.h"
#include "zyn.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

#ifdef ZYN_RENDER_ROWS
#include "engine_state.h"
#include "row_tables.h"
#endif

namespace {

using PumpEntry = int32_t (*)(void *);

#ifdef ZYN_RENDER_ROWS
constexpr const char *kEngineName = "zyn";
constexpr const char *kSetupNote = "rows";

bool make_wave(const std::vector<int16_t> &signal, int32_t *wave) {
    const size_t bytes = signal.size() * sizeof(int16_t);
    auto *block = static_cast<int16_t *>(std::calloc(signal.size(), sizeof(int16_t)));
    if (block == nullptr) return false;
    std::memcpy(block, signal.data(), bytes);
    *wave = zyn::store_wave(block, static_cast<int32_t>(bytes), peers::kRate, peers::kChannels);
    return *wave >= 0;
}

// A playing row as ZYN_PLAY_WAVE (wave, endless, speed, volume, pan, &handle) makes it.
bool start_voice(int32_t wave, float speed, int32_t *handle) {
    zyn::EngineState &e = zyn::engine();
    zyn::EngineLock hold(e.lock);
    const int32_t row = zyn::take_sound_row();
    zyn::SoundEntry &s = e.sounds[static_cast<size_t>(row)];
    const zyn::WaveEntry &w = e.waves[static_cast<size_t>(wave)];
    if (s.buffer == nullptr) {
        s.buffer = static_cast<int16_t *>(std::calloc(static_cast<size_t>(e.work_buffer_bytes), 1));
        if (s.buffer == nullptr) return false;
        s.buffer_mark = s.buffer;
        s.buffer_bytes = e.work_buffer_bytes;
    }
    s.position = s.loop_start = w.samples;
    s.wave_end = s.loop_end = w.samples + w.size / 2;
    s.wave_rate = w.rate;
    s.wave_channels = w.channels;
    s.callback = nullptr;
    s.callback_enabled = 0;
    s.loops = ZYN_LOOP_FOREVER;
    s.speed = speed;
    s.volume = peers::kVolume;
    s.pan = peers::kPan;
    s.left_gain = 1.0f - peers::kPan;
    s.right_gain = 1.0f;
    s.has_handle = 1;
    s.muted = 0;
    s.paused = 0;
    s.wave_start = w.samples;
    *handle = row;
    return true;
}

void stop_voice(int32_t *handle) {
    zyn::EngineState &e = zyn::engine();
    zyn::EngineLock hold(e.lock);
    zyn::SoundEntry &s = e.sounds[static_cast<size_t>(*handle)];
    s.paused = 1;
    s.loops = 0;
    s.wave_start = nullptr;
    *handle = -1;
}
#else
constexpr const char *kEngineName = "zyn";
constexpr const char *kSetupNote = "";

bool make_wave(const std::vector<int16_t> &signal, int32_t *wave) {
    int16_t *samples = nullptr;
    if (ZYN_CREATE_WAVE(peers::kWaveFrames, wave, &samples) != 1 || samples == nullptr) return false;
    std::memcpy(samples, signal.data(), signal.size() * sizeof(int16_t));
    return true;
}

bool start_voice(int32_t wave, float speed, int32_t *handle) {
    return ZYN_PLAY_WAVE(wave, 0, speed, peers::kVolume, peers::kPan, handle) == 1;
}

void stop_voice(int32_t *handle) { ZYN_DESTROY_SOUND(handle); }
#endif

#ifdef ZYN_RENDER_LOADERS
double wall_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
#endif

int load_mode(const char *file, int repeat) {
#ifdef ZYN_RENDER_LOADERS
    const std::string name = file;
    const std::string ext = name.size() > 4 ? name.substr(name.size() - 4) : "";
    std::vector<double> cpu, wall;
    int32_t length_ms = 0;
    for (int r = 0; r < repeat; ++r) {
        int32_t wave = -1;
        const double c0 = peers::cpu_seconds(), w0 = wall_seconds();
        int32_t ok = 0;
        if (ext == ".mp3")
            ok = ZYN_LOAD_MP3FILE(file, &wave, "");
        else if (ext == ".ogg")
            ok = ZYN_LOAD_OGGFILE(file, &wave, "");
        else
            ok = ZYN_LOAD_WAVFILE(file, &wave);
        const double c1 = peers::cpu_seconds(), w1 = wall_seconds();
        if (ok != 1) {
            std::fprintf(stderr, "zyn_render: cannot load %s\n", file);
            return 1;
        }
        ZYN_GET_WAVELENGTH(wave, &length_ms);
        ZYN_DESTROY_WAVE(&wave);
        cpu.push_back((c1 - c0) * 1000.0);
        wall.push_back((w1 - w0) * 1000.0);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    const long long frames = static_cast<long long>(length_ms) * peers::kRate / 1000;
    std::printf("LOAD engine=zyn file=%s frames=%lld audio_s=%.3f cpu_ms=%.2f wall_ms=%.2f\n", file, frames,
                length_ms / 1000.0, cpu[cpu.size() / 2], wall[wall.size() / 2]);
    return 0;
#else
    (void)repeat;
    std::printf("LOAD engine=zyn file=%s status=na note=loaders_not_built\n", file);
    return 0;
#endif
}

}  // namespace

int main(int argc, char **argv) {
    std::string plugdir = ZYN_BENCH_PUMP_DIR;
    const char *load_file = nullptr;
    int repeat = 3;
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--plugdir" && i + 1 < argc)
            plugdir = argv[++i];
        else if (a == "--load" && i + 1 < argc)
            load_file = argv[++i];
        else if (a == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            rest.push_back(argv[i]);
    }
    if (plugdir.empty() || plugdir.back() != '/') plugdir += '/';
    const peers::Selection sel = peers::parse_selection(static_cast<int>(rest.size()), rest.data());
    std::string engine_name = kEngineName;
    if (!sel.resampler.empty()) {
        const char *names[] = {"nearest", "linear", "cubic", "sinc"};
        int32_t mode = -1;
        for (int32_t m = 0; m < 4; ++m)
            if (sel.resampler == names[m]) mode = m;
        if (mode < 0 || ZYN_SET_RESAMPLER(mode) != 1) {
            std::fprintf(stderr, "zyn_render: no resampler \"%s\"\n", sel.resampler.c_str());
            return 1;
        }
        engine_name += "-" + sel.resampler;
    }

    ZYN_SET_PLUGPATH(plugdir.c_str());
    ZYN_SET_MAXCHANNELS(256);
    if (ZYN_INIT(peers::kRate, peers::kChannels, 3, peers::kBlockFrames, -1) != 1) {
        std::fprintf(stderr, "zyn_render: ZYN_INIT failed on %s\n", plugdir.c_str());
        return 1;
    }
    if (std::strcmp(ZYN_GET_PLUGNAME(), "bench pump") != 0 ||
        ZYN_GET_PLUGBUFFERSIZE() != peers::kBlockFrames * peers::kChannels * 2) {
        std::fprintf(stderr, "zyn_render: opened \"%s\" with %d-byte blocks, not the bench pump\n",
                     ZYN_GET_PLUGNAME(), ZYN_GET_PLUGBUFFERSIZE());
        return 1;
    }
    if (load_file != nullptr) {
        const int rc = load_mode(load_file, repeat);
        ZYN_EXIT();
        return rc;
    }
    // RTLD_NOLOAD hands back the engine's own copy of the plug-in.
    void *library = dlopen((plugdir + "plug-null.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    auto pump = library != nullptr ? reinterpret_cast<PumpEntry>(dlsym(library, "bench_pump")) : nullptr;
    if (pump == nullptr) {
        std::fprintf(stderr, "zyn_render: the pump plug-in has no bench_pump\n");
        return 1;
    }

    const std::vector<int16_t> signal = peers::make_signal();
    int32_t wave = -1;
    if (!make_wave(signal, &wave)) {
        std::fprintf(stderr, "zyn_render: cannot make the wave\n");
        return 1;
    }
    const size_t block_samples = static_cast<size_t>(peers::kBlockFrames) * peers::kChannels;
    std::vector<int16_t> out(static_cast<size_t>(peers::kTimedBlocks) * block_samples);
    std::vector<int16_t> scratch(block_samples);
    bool all_ok = true;

    for (const peers::Workload &w : sel.workloads) {
        for (int voices : sel.voices) {
            // Every playing sound is mixed only up to the channel limit.
            if (voices < 1 || voices > 256) {
                std::fprintf(stderr, "zyn_render: %d voices: zyn mixes 1 to 256\n", voices);
                all_ok = false;
                continue;
            }
            std::vector<int32_t> handles(static_cast<size_t>(voices), -1);
            int started = 0;
            for (int32_t &h : handles) started += start_voice(wave, w.speed, &h) ? 1 : 0;
            for (int b = 0; b < peers::kWarmBlocks; ++b) pump(scratch.data());

            const double t0 = peers::cpu_seconds();
            for (int b = 0; b < peers::kTimedBlocks; ++b) pump(out.data() + static_cast<size_t>(b) * block_samples);
            const double t1 = peers::cpu_seconds();

            const int32_t playing = ZYN_GET_PLAYINGSOUNDS();
            peers::OutputCheck check;
            for (int b = 0; b < peers::kTimedBlocks; ++b)
                check.add(out.data() + static_cast<size_t>(b) * block_samples, peers::kBlockFrames);
            char note[64];
            std::snprintf(note, sizeof(note), "%s", kSetupNote);
            if (started != voices || playing != voices)
                std::snprintf(note, sizeof(note), "started_%d_playing_%d", started, playing);
            all_ok &= peers::report(engine_name.c_str(), w, voices, t1 - t0, check, note,
                                    started == voices && playing == voices);
            for (int32_t &h : handles)
                if (h >= 0) stop_voice(&h);
        }
    }

    dlclose(library);
    ZYN_EXIT();
    return all_ok ? 0 : 1;
}
