// The workload every engine of the side-by-side comparison renders, and the
// bookkeeping that proves each one really rendered it: one input signal, the
// same voices, speeds, volume and pan, the same number of output frames, the
// same CPU clock and the same machine-readable result line.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace peers {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kBlockFrames = 2048;
constexpr int kWaveFrames = 5 * kRate;
// 216 blocks of 2048 frames: 10.03 s, the first whole number of blocks past 10 s.
constexpr int kTimedBlocks = 216;
// Blocks rendered before the clock starts, so that first-touch page faults of
// the engine's buffers are not charged to the mix.
constexpr int kWarmBlocks = 8;
constexpr float kVolume = 0.8f;
constexpr float kPan = 0.3f;  // +1 is full right; the left channel gets 1 - pan

struct Workload {
    char name;
    float speed;
};
constexpr Workload kWorkloads[] = {{'a', 1.0f}, {'b', 1.5f}};
// The resampling comparison: a speed whose positions fall between frames
// everywhere. Run only when asked for (--workloads c).
constexpr Workload kResampleWorkload{'c', 1.37f};
constexpr int kVoiceCounts[] = {1, 16, 64, 256};

// 5 s of interleaved stereo: a different chord of three sines on each side
// plus white noise from a fixed LCG, peaking near a quarter of full scale.
inline std::vector<int16_t> make_signal() {
    std::vector<int16_t> out(static_cast<size_t>(kWaveFrames) * kChannels);
    const double left_hz[3] = {220.0, 331.0, 997.0};
    const double right_hz[3] = {277.0, 440.0, 1501.0};
    uint32_t lcg = 12345u;
    const double two_pi = 6.283185307179586;
    for (int i = 0; i < kWaveFrames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double l = 0.0, r = 0.0;
        for (int k = 0; k < 3; ++k) {
            l += std::sin(two_pi * left_hz[k] * t) / (k + 1);
            r += std::sin(two_pi * right_hz[k] * t) / (k + 1);
        }
        lcg = lcg * 1664525u + 1013904223u;
        const double noise_l = static_cast<double>(static_cast<int32_t>(lcg >> 16) - 32768) / 32768.0;
        lcg = lcg * 1664525u + 1013904223u;
        const double noise_r = static_cast<double>(static_cast<int32_t>(lcg >> 16) - 32768) / 32768.0;
        out[2 * static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(4000.0 * l + 600.0 * noise_l));
        out[2 * static_cast<size_t>(i) + 1] =
            static_cast<int16_t>(std::lround(4000.0 * r + 600.0 * noise_r));
    }
    return out;
}

inline double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// What came out of an engine during the timed blocks.
struct OutputCheck {
    int64_t frames = 0;
    double sum_l = 0.0, sum_r = 0.0;
    uint64_t fnv = 1469598103934665603ull;

    void add(const int16_t *block, int frames_in_block) {
        for (int i = 0; i < frames_in_block; ++i) {
            const double l = block[2 * i], r = block[2 * i + 1];
            sum_l += l * l;
            sum_r += r * r;
        }
        const auto *bytes = reinterpret_cast<const uint8_t *>(block);
        for (int i = 0; i < frames_in_block * kChannels * 2; ++i) {
            fnv ^= bytes[i];
            fnv *= 1099511628211ull;
        }
        frames += frames_in_block;
    }
    double rms_l() const { return frames > 0 ? std::sqrt(sum_l / static_cast<double>(frames)) : 0.0; }
    double rms_r() const { return frames > 0 ? std::sqrt(sum_r / static_cast<double>(frames)) : 0.0; }
};

// Prints the result line; returns false (and says so on the line) when the
// engine produced the wrong length or next to nothing, or when the caller saw
// that not every voice played (voices_ok).
inline bool report(const char *engine, const Workload &w, int voices, double cpu_s,
                   const OutputCheck &check, const char *note, bool voices_ok) {
    const int64_t expected = static_cast<int64_t>(kTimedBlocks) * kBlockFrames;
    const double audio_s = static_cast<double>(check.frames) / kRate;
    // One voice of the signal (RMS near 3300) at volume 0.8 and pan 0.3 is
    // near 1850 on the left and 2650 on the right; anything below 100 on
    // either side means the voices or a channel went missing.
    const bool ok =
        voices_ok && check.frames == expected && check.rms_l() > 100.0 && check.rms_r() > 100.0;
    std::printf("RESULT engine=%s workload=%c voices=%d speed=%.1f audio_s=%.3f cpu_ms_per_s=%.4f "
                "rms_l=%.1f rms_r=%.1f fnv=%016llx status=%s%s%s\n",
                engine, w.name, voices, static_cast<double>(w.speed), audio_s,
                audio_s > 0 ? cpu_s * 1000.0 / audio_s : 0.0, check.rms_l(), check.rms_r(),
                static_cast<unsigned long long>(check.fnv), ok ? "ok" : "FAIL",
                note[0] != '\0' ? " note=" : "", note);
    std::fflush(stdout);
    return ok;
}

// Command line shared by every render program:
//   [--voices 1,16,64,256] [--workloads a,b,c] [--resampler nearest|linear|cubic|sinc]
// The resampler names the interpolation each engine reads between frames
// with (its own of that kind); without it, the nearest frame.
struct Selection {
    std::vector<int> voices;
    std::vector<Workload> workloads;
    std::string resampler;
};

inline Selection parse_selection(int argc, char **argv) {
    Selection s;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        std::string list = argv[i + 1];
        size_t start = 0;
        while (start <= list.size()) {
            const size_t comma = list.find(',', start);
            const std::string item =
                list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            if (key == "--voices" && !item.empty()) s.voices.push_back(std::atoi(item.c_str()));
            if (key == "--workloads") {
                for (const Workload &w : kWorkloads)
                    if (item.size() == 1 && item[0] == w.name) s.workloads.push_back(w);
                if (item.size() == 1 && item[0] == kResampleWorkload.name) s.workloads.push_back(kResampleWorkload);
            }
            if (key == "--resampler") s.resampler = item;
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    if (s.voices.empty()) s.voices.assign(std::begin(kVoiceCounts), std::end(kVoiceCounts));
    if (s.workloads.empty()) s.workloads.assign(std::begin(kWorkloads), std::end(kWorkloads));
    return s;
}

}  // namespace peers
