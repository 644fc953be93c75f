// What ZYN_LOAD_FILE and ZYN_LOAD_MEMORY made, read back through the
// interface, and files encoded by the system's programs for them to load.
#pragma once

#include "sound_files.h"
#include "test_support.h"
#include "tone_measure.h"
#include "zyn.h"

#include <string>
#include <vector>

namespace zyn_test {

struct Wave {
    int32_t result = 0;
    int32_t handle = -2;
    int32_t channels = 0;
    std::vector<int16_t> samples;
    size_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
    std::vector<double> channel(int32_t c) const { return channel_samples(samples.data(), frames(), channels, c); }
};

inline Wave take_wave(int32_t result, int32_t handle) {
    Wave w;
    w.result = result;
    w.handle = handle;
    int16_t *start = nullptr, *end = nullptr;
    if (result == 1 && ZYN_GET_WAVEPOINTERS(handle, &start, &end, &w.channels) == 1) w.samples.assign(start, end);
    return w;
}

inline Wave load_memory(const std::vector<uint8_t> &image) {
    int32_t handle = -2;
    const int32_t result = ZYN_LOAD_MEMORY(image.data(), image.size(), &handle);
    return take_wave(result, handle);
}

inline Wave load_file(const std::string &path) {
    int32_t handle = -2;
    const int32_t result = ZYN_LOAD_FILE(path.c_str(), &handle);
    return take_wave(result, handle);
}

inline std::string last_error() { return ZYN_GET_LASTERROR(); }

// The largest difference between two loads, sample for sample (over the
// shorter of the two).
inline int32_t largest_difference(const std::vector<int16_t> &a, const std::vector<int16_t> &b) {
    int32_t worst = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const int32_t d = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
        if (d > worst) worst = d;
    }
    return worst;
}

// pcm written as a WAV of encoding into dir, then turned into name by
// command, in which IN and OUT stand for the two files; "" when the command
// fails.
inline std::string encoded(const TempDir &dir, const Pcm &pcm, const std::string &name, const std::string &command,
                           Encoding encoding = Encoding::s16) {
    const std::string wav = dir.file(name + ".source.wav"), out = dir.file(name);
    if (!write_bytes(wav, wav_image(pcm, encoding))) return "";
    std::string line;
    for (size_t at = 0; at < command.size();) {
        if (command.compare(at, 2, "IN") == 0) {
            line += quoted(wav);
            at += 2;
        } else if (command.compare(at, 3, "OUT") == 0) {
            line += quoted(out);
            at += 3;
        } else {
            line += command[at++];
        }
    }
    return run_quietly(line) ? out : "";
}

#define REQUIRE_PROGRAM(name) \
    if (!have_program(name)) GTEST_SKIP() << name << " is not installed"

}  // namespace zyn_test
