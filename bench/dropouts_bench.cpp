// Dropouts of zyn's output under load, for bench/run_realtime.sh: plays a
// looping tone through a plug-in for a number of seconds and prints what
// ZYN_GET_OUTPUTSTATS counted. With --burn it only keeps threads busy.
//
//   dropouts_bench --plugins DIR --plug pulse --seconds 60 --frames 256 --realtime 10
//   dropouts_bench --burn 2 --seconds 60
#include "zyn.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Settings {
    std::string plugins;
    std::string plug = "pulse";
    int seconds = 60;
    int frames = 256;
    int buffers = 3;
    int realtime = 10;
    int burners = 0;
};

bool parse(int argc, char **argv, Settings &s) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--plugins") s.plugins = value;
        else if (name == "--plug") s.plug = value;
        else if (name == "--seconds") s.seconds = std::atoi(value.c_str());
        else if (name == "--frames") s.frames = std::atoi(value.c_str());
        else if (name == "--buffers") s.buffers = std::atoi(value.c_str());
        else if (name == "--realtime") s.realtime = std::atoi(value.c_str());
        else if (name == "--burn") s.burners = std::atoi(value.c_str());
        else return false;
    }
    return argc % 2 == 1 && s.seconds > 0;
}

// Busy threads at normal priority, as a game's own work would be.
int burn(int threads, int seconds) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> burners;
    for (int i = 0; i < threads; ++i)
        burners.emplace_back([&stop] {
            volatile uint64_t spin = 0;
            while (!stop.load(std::memory_order_relaxed)) spin = spin + 1;
        });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop.store(true);
    for (std::thread &t : burners) t.join();
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    Settings s;
    if (!parse(argc, argv, s)) {
        std::fprintf(stderr, "usage: dropouts_bench [--plugins DIR] [--plug NAME] [--seconds N] [--frames N] "
                             "[--buffers N] [--realtime P] | --burn THREADS --seconds N\n");
        return 1;
    }
    if (s.burners > 0) return burn(s.burners, s.seconds);
    if (!s.plugins.empty()) ZYN_SET_PLUGPATH(s.plugins.c_str());
    ZYN_SET_PLUGNAME(s.plug.c_str());
    ZYN_SET_REALTIME(s.realtime);
    if (ZYN_INIT(44100, 2, s.buffers, s.frames, -1) != 1) {
        std::fprintf(stderr, "dropouts_bench: %s\n", ZYN_GET_LASTERROR());
        return 2;
    }
    int32_t wave = -1;
    int16_t *samples = nullptr;
    const int32_t frames = 44100;
    if (ZYN_CREATE_WAVE(frames, &wave, &samples) != 1) return 2;
    for (int32_t i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] =
            static_cast<int16_t>(std::lround(3000.0 * std::sin(2 * M_PI * 440.0 * i / 44100.0)));
    ZYN_PLAY_WAVE(wave, ZYN_LOOP_FOREVER, 1.0f, 1.0f, 0.0f, nullptr);
    std::this_thread::sleep_for(std::chrono::seconds(s.seconds));
    ZynOutputStats stats;
    std::memset(&stats, 0, sizeof(stats));
    stats.size = sizeof(stats);
    ZYN_GET_OUTPUTSTATS(&stats);
    std::printf("underruns %lld reconnects %lld realtime %d latency_ms %.1f connected %d\n",
                static_cast<long long>(stats.underruns), static_cast<long long>(stats.reconnects), stats.realtime,
                stats.latency_ms, stats.connected);
    ZYN_EXIT();
    return 0;
}
