// Sound files for the loader tests, made at test time: WAV images built
// byte by byte (every sample encoding, WAVE_FORMAT_EXTENSIBLE, RF64) and
// compressed files from the system's encoders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zyn_test {

// Interleaved samples at full scale +-1.0.
struct Pcm {
    int32_t rate = 44100;
    int32_t channels = 1;
    std::vector<double> samples;
    size_t frames() const { return samples.size() / static_cast<size_t>(channels); }
};

// amplitude * cos(2 pi f t + phase) on every channel.
Pcm sine(int32_t rate, int32_t channels, double frequency, double seconds, double amplitude, double phase = 0.0);
// Seeded noise within +-amplitude, different on every channel.
Pcm noise(int32_t rate, int32_t channels, double seconds, double amplitude, uint32_t seed);

enum class Encoding { u8, s16, s24, s32, f32, f64 };

struct WavLayout {
    bool extensible = false;
    uint32_t channel_mask = 0;  // with extensible
    bool rf64 = false;
};

// The stored integer of a sample in an integer encoding (what the file holds).
int64_t stored_value(double sample, Encoding encoding);
// The file's sample as full scale +-1.0, as a reader decodes it.
double decoded_value(double sample, Encoding encoding);

std::vector<uint8_t> wav_image(const Pcm &pcm, Encoding encoding, const WavLayout &layout = {});

bool write_bytes(const std::string &path, const std::vector<uint8_t> &bytes);
std::vector<uint8_t> read_bytes(const std::string &path);

// Runs a shell command quietly; true when it exits 0.
bool run_quietly(const std::string &command);
bool have_program(const std::string &name);
std::string quoted(const std::string &path);

}  // namespace zyn_test
