// SDL_mixer rendering the peer workload offline through SDL's disk audio
// driver, writing to /dev/null with no delay between blocks, so its mixing
// thread runs as fast as it can.
//
// Like for like with zyn's mixer: 16-bit stereo at 44.1 kHz in 2048-frame
// blocks (the format SDL is asked for is the one the disk driver takes, so no
// conversion runs), one channel per voice playing the same chunk in a loop,
// Mix_Volume 102 (0.8 x 128) and Mix_SetPanning(179, 255): SDL_mixer's
// panning keeps the right channel and scales the left by 179 / 255 = 0.70,
// the balance law zyn uses for pan 0.3.
//
// SDL_mixer cannot change a channel's speed, so workload b is reported n/a
// (a chunk resampled beforehand would measure workload a again).
//
// The mixing runs on SDL's audio thread. The clock is the process CPU clock,
// read at the end of a block inside the post-mix hook, while the main thread
// sleeps on a semaphore, so it counts SDL's whole block: mixing, effects and
// the driver's write of the block to /dev/null.
//
//   sdlmixer_render [--voices ...] [--workloads ...]
//   sdlmixer_render --load FILE [--repeat R]   times Mix_LoadWAV (WAV, MP3, Ogg)
#include "peer_workload.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Shared with the audio thread: the main thread writes the other fields only
// while `armed` is false and publishes them by setting it; from then on only
// the audio thread touches them until it clears `armed` and posts `done`.
struct Capture {
    std::atomic<bool> armed{false};
    int block = 0;            // blocks mixed since arming
    int bad_length = 0;       // hook calls whose length was not one block
    double t0 = 0.0, t1 = 0.0;
    // The mixing callback alone, without the driver's wait and write: from
    // the music hook, which SDL_mixer calls first in every block, to the
    // post-mix hook, which it calls last, on the audio thread's own clock.
    double callback_start = 0.0, callback_sum = 0.0;
    int callback_blocks = 0;
    int16_t *out = nullptr;
    SDL_sem *done = nullptr;
};

double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void SDLCALL block_start(void *udata, Uint8 *, int) {
    auto *c = static_cast<Capture *>(udata);
    if (c->armed.load(std::memory_order_acquire)) c->callback_start = thread_cpu_seconds();
}

void SDLCALL post_mix(void *udata, Uint8 *stream, int len) {
    auto *c = static_cast<Capture *>(udata);
    if (!c->armed.load(std::memory_order_acquire)) return;
    const int bytes = peers::kBlockFrames * peers::kChannels * 2;
    if (len != bytes) ++c->bad_length;
    const int k = c->block++;
    if (k == peers::kWarmBlocks - 1) c->t0 = peers::cpu_seconds();
    if (k >= peers::kWarmBlocks && k < peers::kWarmBlocks + peers::kTimedBlocks) {
        c->callback_sum += thread_cpu_seconds() - c->callback_start;
        ++c->callback_blocks;
        SDL_memcpy(reinterpret_cast<Uint8 *>(c->out) + static_cast<size_t>(k - peers::kWarmBlocks) * bytes,
                   stream, static_cast<size_t>(std::min(len, bytes)));
        if (k == peers::kWarmBlocks + peers::kTimedBlocks - 1) {
            c->t1 = peers::cpu_seconds();
            c->armed.store(false, std::memory_order_release);
            SDL_SemPost(c->done);
        }
    }
}

// SDL_mixer does not say which device it opened (SDL_LockAudio names only the
// legacy one), but it is the one device of this process that is playing.
SDL_AudioDeviceID mixer_device() {
    for (SDL_AudioDeviceID id = 1; id < 64; ++id)
        if (SDL_GetAudioDeviceStatus(id) == SDL_AUDIO_PLAYING) return id;
    return 0;
}

double wall_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int load_mode(const char *file, int repeat) {
    std::vector<double> cpu, wall;
    int64_t frames = 0;
    for (int r = 0; r < repeat; ++r) {
        const double c0 = peers::cpu_seconds(), w0 = wall_seconds();
        Mix_Chunk *chunk = Mix_LoadWAV(file);
        const double c1 = peers::cpu_seconds(), w1 = wall_seconds();
        if (chunk == nullptr) {
            std::fprintf(stderr, "sdlmixer_render: Mix_LoadWAV(%s): %s\n", file, Mix_GetError());
            return 1;
        }
        frames = chunk->alen / (peers::kChannels * 2);
        Mix_FreeChunk(chunk);
        cpu.push_back((c1 - c0) * 1000.0);
        wall.push_back((w1 - w0) * 1000.0);
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    std::printf("LOAD engine=sdl_mixer file=%s frames=%lld audio_s=%.3f cpu_ms=%.2f wall_ms=%.2f\n", file,
                static_cast<long long>(frames), static_cast<double>(frames) / peers::kRate,
                cpu[cpu.size() / 2], wall[wall.size() / 2]);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    const char *load_file = nullptr;
    int repeat = 3;
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--load" && i + 1 < argc)
            load_file = argv[++i];
        else if (a == "--repeat" && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            rest.push_back(argv[i]);
    }
    const peers::Selection sel = peers::parse_selection(static_cast<int>(rest.size()), rest.data());

    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    if (SDL_Init(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "sdlmixer_render: SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    if (load_file != nullptr) Mix_Init(MIX_INIT_MP3 | MIX_INIT_OGG);
    if (Mix_OpenAudio(peers::kRate, AUDIO_S16SYS, peers::kChannels, peers::kBlockFrames) != 0) {
        std::fprintf(stderr, "sdlmixer_render: Mix_OpenAudio: %s\n", Mix_GetError());
        return 1;
    }
    int rate = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&rate, &format, &channels);
    if (rate != peers::kRate || format != AUDIO_S16SYS || channels != peers::kChannels) {
        std::fprintf(stderr, "sdlmixer_render: device opened as %d Hz, format %#x, %d channels\n", rate,
                     format, channels);
        return 1;
    }
    if (load_file != nullptr) {
        const int rc = load_mode(load_file, repeat);
        Mix_CloseAudio();
        Mix_Quit();
        SDL_Quit();
        return rc;
    }
    const SDL_version *v = Mix_Linked_Version();
    std::fprintf(stderr, "sdlmixer_render: SDL_mixer %d.%d.%d, driver %s\n", v->major, v->minor, v->patch,
                 SDL_GetCurrentAudioDriver());

    std::vector<int16_t> signal = peers::make_signal();
    Mix_Chunk *chunk = Mix_QuickLoad_RAW(reinterpret_cast<Uint8 *>(signal.data()),
                                         static_cast<Uint32>(signal.size() * sizeof(int16_t)));
    if (chunk == nullptr) {
        std::fprintf(stderr, "sdlmixer_render: Mix_QuickLoad_RAW: %s\n", Mix_GetError());
        return 1;
    }
    std::vector<int16_t> out(static_cast<size_t>(peers::kTimedBlocks) * peers::kBlockFrames * peers::kChannels);
    Capture capture;
    capture.out = out.data();
    capture.done = SDL_CreateSemaphore(0);
    Mix_SetPostMix(post_mix, &capture);
    const SDL_AudioDeviceID device = mixer_device();
    if (device == 0) std::fprintf(stderr, "sdlmixer_render: no playing device found; voices may start a block apart\n");
    Mix_HookMusic(block_start, &capture);
    const Uint8 left = static_cast<Uint8>(255.0f * (1.0f - peers::kPan) + 0.5f);
    bool all_ok = true;

    for (const peers::Workload &w : sel.workloads) {
        for (int voices : sel.voices) {
            if (w.speed != 1.0f) {
                std::printf("RESULT engine=sdl_mixer workload=%c voices=%d speed=%.1f status=na "
                            "note=no_per_channel_speed\n",
                            w.name, voices, static_cast<double>(w.speed));
                continue;
            }
            Mix_AllocateChannels(voices);
            // Holding the device's lock makes every channel start in the same
            // block, as the other engines' voices do.
            if (device != 0) SDL_LockAudioDevice(device);
            int started = 0;
            for (int ch = 0; ch < voices; ++ch) {
                Mix_Volume(ch, static_cast<int>(peers::kVolume * MIX_MAX_VOLUME));
                if (Mix_SetPanning(ch, left, 255) == 0) break;
                if (Mix_PlayChannel(ch, chunk, -1) == ch) ++started;
            }
            capture.block = 0;
            capture.bad_length = 0;
            capture.callback_sum = 0.0;
            capture.callback_blocks = 0;
            capture.armed.store(true, std::memory_order_release);
            if (device != 0) SDL_UnlockAudioDevice(device);
            SDL_SemWait(capture.done);
            const int playing = Mix_Playing(-1);
            Mix_HaltChannel(-1);
            for (int ch = 0; ch < voices; ++ch) Mix_UnregisterAllEffects(ch);

            peers::OutputCheck check;
            for (int b = 0; b < peers::kTimedBlocks; ++b)
                check.add(out.data() + static_cast<size_t>(b) * peers::kBlockFrames * peers::kChannels,
                          peers::kBlockFrames);
            char note[64] = "";
            if (capture.callback_blocks == peers::kTimedBlocks)
                std::snprintf(note, sizeof(note), "callback_ms_per_s_%.4f",
                              capture.callback_sum * 1000.0 * peers::kRate /
                                  (static_cast<double>(peers::kTimedBlocks) * peers::kBlockFrames));
            if (started != voices || playing != voices)
                std::snprintf(note, sizeof(note), "started_%d_playing_%d", started, playing);
            else if (capture.bad_length != 0)
                std::snprintf(note, sizeof(note), "odd_block_lengths_%d", capture.bad_length);
            all_ok &= peers::report("sdl_mixer", w, voices, capture.t1 - capture.t0, check, note,
                                    std::strncmp(note, "callback", 8) == 0);
        }
    }

    Mix_HookMusic(nullptr, nullptr);
    Mix_SetPostMix(nullptr, nullptr);
    Mix_FreeChunk(chunk);
    Mix_CloseAudio();
    SDL_DestroySemaphore(capture.done);
    SDL_Quit();
    return all_ok ? 0 : 1;
}
