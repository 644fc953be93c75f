// zyn rendering the positional scenes of openal_space_render through its
// public interface on the caller's thread (ZYN_INIT_RENDER, ZYN_RENDER:
// 16-bit stereo, 44.1 kHz, 2048 frames a call), with the same command line:
//   zyn_space_render [--voices N,...] [--workloads p,h] [--resampler linear|...]
// Scenes: p  N positional sounds (default 256) placed and moved before every
//            block as openal_space_render moves its sources (space_scene.h),
//            inverse distance (reference 1 m), Doppler on, the linear resampler;
//         h  the same, rendered binaurally (ZYN_SET_HRTF("default")).
// Each sound plays the left channel of the shared signal, looped, from frame
// i x 9973, at the same gain. zyn's waves have the device's channels, so the
// mono signal is a stereo wave with both sides alike (mixed back to mono per
// block; OpenAL's buffer is mono). Prints the shared RESULT line
// (engine=zyn).
#include "peer_workload.h"
#include "space_scene.h"
#include "zyn.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr float kBlockSeconds = static_cast<float>(peers::kBlockFrames) / peers::kRate;

int fail(const char *what) {
    std::fprintf(stderr, "zyn_space_render: %s (%s)\n", what, ZYN_GET_LASTERROR());
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    std::string letters = "ph";
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--workloads" && i + 1 < argc)
            letters = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    bool voices_given = false;
    for (char *a : rest) voices_given |= std::string(a) == "--voices";
    const peers::Selection sel = peers::parse_selection(static_cast<int>(rest.size()), rest.data());
    const std::string kind = sel.resampler.empty() ? "linear" : sel.resampler;
    const int32_t mode = kind == "nearest" ? ZYN_RESAMPLE_NEAREST
                         : kind == "linear" ? ZYN_RESAMPLE_LINEAR
                         : kind == "cubic"  ? ZYN_RESAMPLE_CUBIC
                                            : ZYN_RESAMPLE_SINC;
    const std::vector<int16_t> stereo = peers::make_signal();
    std::vector<int16_t> out(static_cast<size_t>(peers::kTimedBlocks) * peers::kBlockFrames * peers::kChannels);
    std::vector<int16_t> scratch(static_cast<size_t>(peers::kBlockFrames) * peers::kChannels);
    bool all_ok = true;

    for (char scene : letters) {
        if (scene != 'p' && scene != 'h') continue;
        for (int voices : voices_given ? sel.voices : std::vector<int>{256}) {
            if (ZYN_INIT_RENDER(peers::kRate, peers::kChannels, peers::kBlockFrames) != 1) return fail("ZYN_INIT_RENDER");
            ZYN_SET_MAXCHANNELS(voices);
            if (ZYN_SET_RESAMPLER(mode) != 1) return fail("ZYN_SET_RESAMPLER");
            if (scene == 'h' && ZYN_SET_HRTF("default") != 1) return fail("ZYN_SET_HRTF");
            int32_t wave = -1;
            int16_t *samples = nullptr;
            if (ZYN_CREATE_WAVE(peers::kWaveFrames, &wave, &samples) != 1) return fail("ZYN_CREATE_WAVE");
            for (size_t i = 0; i < stereo.size(); i += 2) samples[i] = samples[i + 1] = stereo[i];
            const float gain = std::min(peers::kVolume, 3.2f / std::sqrt(static_cast<float>(voices)));
            std::vector<int32_t> sounds(static_cast<size_t>(voices), -1);
            float position[3], velocity[3];
            for (int i = 0; i < voices; ++i) {
                int32_t &s = sounds[static_cast<size_t>(i)];
                if (ZYN_PLAY_WAVE(wave, 0, 1.0f, gain, 0.0f, &s) != 1) return fail("ZYN_PLAY_WAVE");
                ZYN_SET_SOUNDPOINTERS(s, nullptr, samples + 2 * ((static_cast<size_t>(i) * 9973u) % peers::kWaveFrames),
                                      nullptr);
                peers::place(i, voices, 0.0f, position, velocity);
                if (ZYN_SET_SOUNDPOSITION(s, position) != 1 || ZYN_SET_SOUNDVELOCITY(s, velocity) != 1)
                    return fail("placing a sound");
            }
            int block = 0;
            auto move_all = [&]() {
                const float t = static_cast<float>(++block) * kBlockSeconds;
                for (int i = 0; i < voices; ++i) {
                    peers::place(i, voices, t, position, velocity);
                    ZYN_SET_SOUNDPOSITION(sounds[static_cast<size_t>(i)], position);
                    ZYN_SET_SOUNDVELOCITY(sounds[static_cast<size_t>(i)], velocity);
                }
            };
            for (int b = 0; b < peers::kWarmBlocks; ++b) {
                move_all();
                ZYN_RENDER(scratch.data(), peers::kBlockFrames);
            }
            const double t0 = peers::cpu_seconds();
            for (int b = 0; b < peers::kTimedBlocks; ++b) {
                move_all();
                ZYN_RENDER(out.data() + static_cast<size_t>(b) * peers::kBlockFrames * peers::kChannels,
                           peers::kBlockFrames);
            }
            const double t1 = peers::cpu_seconds();
            const int32_t playing = ZYN_GET_PLAYINGSOUNDS();
            peers::OutputCheck check;
            for (int b = 0; b < peers::kTimedBlocks; ++b)
                check.add(out.data() + static_cast<size_t>(b) * peers::kBlockFrames * peers::kChannels,
                          peers::kBlockFrames);
            char note[64] = "";
            if (playing != voices) std::snprintf(note, sizeof(note), "only_%d_playing", playing);
            const peers::Workload w{scene, 1.0f};
            all_ok &= peers::report("zyn", w, voices, t1 - t0, check, note, playing == voices);
            ZYN_EXIT();
        }
    }
    return all_ok ? 0 : 1;
}
