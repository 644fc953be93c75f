// zyn rendering the reverb scene of openal_space_render (workload r) on the
// caller's thread (ZYN_INIT_RENDER, ZYN_RENDER: no device, so all the CPU
// time between the two clock readings is the mix's), in 2048-frame blocks:
//   N sounds (default 64) of the left channel of the shared signal, looped,
//   each from frame i x 9973, at the gain the peer's source gets (min(0.8,
//   3.2 / sqrt(N))) times 0.5 (its inverse-distance gain at 2 m), panned
//   round the circle the peer places them on, each sent whole (1.0) into the
//   reverb, whose decay is that of the peer's default reverb (1.49 s: room
//   size 0.484) at its default gain (wet 0.32).
// Also, for the cost of the stages on their own (workload letters):
//   s  the same sounds with every send at 0 (the reverb never runs);
//   g  the sounds in one group with a low-pass filter (1 kHz), no sends.
//   zyn_effects_render [--voices N,...] [--workloads r,s,g]
#include "peer_workload.h"
#include "zyn.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int fail(const char *what) {
    std::fprintf(stderr, "zyn_effects_render: %s (%s)\n", what, ZYN_GET_LASTERROR());
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<int> counts;
    std::string scenes = "r,s,g";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        std::string list = argv[i + 1];
        if (key == "--workloads") scenes = list;
        if (key != "--voices") continue;
        for (size_t start = 0; start <= list.size();) {
            const size_t comma = list.find(',', start);
            counts.push_back(std::atoi(list.substr(start, comma - start).c_str()));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    if (counts.empty()) counts.push_back(64);
    const std::vector<int16_t> signal = peers::make_signal();
    std::vector<int16_t> out(static_cast<size_t>(peers::kTimedBlocks) * peers::kBlockFrames * peers::kChannels);
    std::vector<int16_t> scratch(static_cast<size_t>(peers::kBlockFrames) * peers::kChannels);
    bool all_ok = true;
    for (const char scene : scenes) {
        if (scene != 'r' && scene != 's' && scene != 'g') continue;
        for (const int voices : counts) {
            if (ZYN_INIT_RENDER(peers::kRate, peers::kChannels, peers::kBlockFrames) != 1) return fail("ZYN_INIT_RENDER");
            int32_t wave = -1;
            int16_t *samples = nullptr;
            if (ZYN_CREATE_WAVE(peers::kWaveFrames, &wave, &samples) != 1) return fail("ZYN_CREATE_WAVE");
            for (int f = 0; f < peers::kWaveFrames; ++f) samples[2 * f] = samples[2 * f + 1] = signal[2 * static_cast<size_t>(f)];
            if (ZYN_SET_REVERB(0.484f, 0.5f, 1.0f, 0.32f) != 1) return fail("ZYN_SET_REVERB");
            int32_t group = -1;
            if (scene == 'g' && (ZYN_CREATE_GROUP(&group) != 1 ||
                                 ZYN_SET_GROUPFILTER(group, ZYN_FILTER_LOWPASS, 1000.0f, 0.7071f) != 1))
                return fail("the group");
            const float gain = 0.5f * std::min(peers::kVolume, 3.2f / std::sqrt(static_cast<float>(voices)));
            for (int i = 0; i < voices; ++i) {
                int32_t sound = -1;
                const float angle = 6.28318530718f * static_cast<float>(i) / static_cast<float>(voices);
                if (ZYN_CREATE_SOUND(wave, &sound) != 1 || ZYN_SET_SOUNDVOLUME(sound, gain) != 1 ||
                    ZYN_SET_SOUNDPAN(sound, std::cos(angle)) != 1)
                    return fail("a sound");
                if (scene == 'r' && ZYN_SET_SOUNDREVERB(sound, 1.0f) != 1) return fail("ZYN_SET_SOUNDREVERB");
                if (scene == 'g') ZYN_SET_SOUNDGROUP(sound, group);
                if (ZYN_PLAY_SOUND(sound, ZYN_LOOP_FOREVER) != 1) return fail("ZYN_PLAY_SOUND");
                // Its own start; the play rewound it.
                int16_t *start = nullptr, *position = nullptr, *end = nullptr;
                const size_t offset = (static_cast<size_t>(i) * 9973u) % peers::kWaveFrames;
                if (ZYN_GET_SOUNDPOINTERS(sound, &start, &position, &end) != 1 ||
                    ZYN_SET_SOUNDPOINTERS(sound, start, start + 2 * offset, end) != 1)
                    return fail("the sound's start");
            }
            for (int b = 0; b < peers::kWarmBlocks; ++b) ZYN_RENDER(scratch.data(), peers::kBlockFrames);
            const double t0 = peers::cpu_seconds();
            for (int b = 0; b < peers::kTimedBlocks; ++b)
                ZYN_RENDER(out.data() + static_cast<size_t>(b) * peers::kBlockFrames * peers::kChannels,
                           peers::kBlockFrames);
            const double t1 = peers::cpu_seconds();
            const int32_t playing = ZYN_GET_PLAYINGSOUNDS();
            peers::OutputCheck check;
            for (int b = 0; b < peers::kTimedBlocks; ++b)
                check.add(out.data() + static_cast<size_t>(b) * peers::kBlockFrames * peers::kChannels,
                          peers::kBlockFrames);
            char note[64] = "";
            if (playing != voices) std::snprintf(note, sizeof(note), "only_%d_playing", playing);
            all_ok &= peers::report("zyn", peers::Workload{scene, 1.0f}, voices, t1 - t0, check, note, playing == voices);
            ZYN_EXIT();
        }
    }
    return all_ok ? 0 : 1;
}
