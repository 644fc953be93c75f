// The beep: a 1000 Hz tone for 250 ms through SDL audio, or a silent wait of
// the same length when there is no audio device. The caller waits either way.
#include "beep.h"

#include "sleep.h"
#include "trace.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace zyn::scene {
namespace {

constexpr int kRate = 44100;
constexpr int kMilliseconds = 250;
constexpr double kPi = 3.14159265358979323846;

std::function<void()> &hook() {
    static std::function<void()> h;
    return h;
}

struct BeepDevice {
    SDL_AudioDeviceID id = 0;
    bool tried = false;
    std::vector<int16_t> tone;
};

BeepDevice &device() {
    static BeepDevice d;
    return d;
}

bool open_device(BeepDevice &d) {
    if (d.tried) return d.id != 0;
    d.tried = true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 1024;
    d.id = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (d.id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    const int n = kRate * kMilliseconds / 1000;
    d.tone.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        // Short fades keep the tone from clicking.
        const double edge = std::min({1.0, i / 441.0, (n - i) / 441.0});
        d.tone[static_cast<size_t>(i)] =
            static_cast<int16_t>(std::lround(9000.0 * edge * std::sin(2.0 * kPi * 1000.0 * i / kRate)));
    }
    SDL_PauseAudioDevice(d.id, 0);
    return true;
}

}  // namespace

void set_beep_hook(std::function<void()> h) { hook() = std::move(h); }

void beep() {
    if (std::FILE *trace = trace_stream()) std::fputs("beep\n", trace);
    if (hook()) {
        hook()();
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    BeepDevice &d = device();
    if (open_device(d)) {
        SDL_ClearQueuedAudio(d.id);
        SDL_QueueAudio(d.id, d.tone.data(), static_cast<Uint32>(d.tone.size() * sizeof(int16_t)));
    }
    // The queued tone plays for the same 250 ms the caller waits.
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    sleep_ms(kMilliseconds - static_cast<int32_t>(elapsed.count()));
    // A device that plays late gets a little longer, a stalled one no more.
    for (int spare = 0; d.id != 0 && spare < 50 && SDL_GetQueuedAudioSize(d.id) > 0; ++spare) sleep_ms(5);
}

}  // namespace zyn::scene
