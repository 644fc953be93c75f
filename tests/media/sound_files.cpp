#include "sound_files.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace zyn_test {
namespace {

void put(std::vector<uint8_t> &b, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put_id(std::vector<uint8_t> &b, const char *id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

int bits_of(Encoding e) {
    switch (e) {
        case Encoding::u8: return 8;
        case Encoding::s16: return 16;
        case Encoding::s24: return 24;
        case Encoding::s32: return 32;
        case Encoding::f32: return 32;
        case Encoding::f64: return 64;
    }
    return 0;
}
bool is_float(Encoding e) { return e == Encoding::f32 || e == Encoding::f64; }

}  // namespace

Pcm sine(int32_t rate, int32_t channels, double frequency, double seconds, double amplitude, double phase) {
    Pcm p;
    p.rate = rate;
    p.channels = channels;
    const auto frames = static_cast<size_t>(std::lround(rate * seconds));
    p.samples.resize(frames * static_cast<size_t>(channels));
    for (size_t f = 0; f < frames; ++f) {
        const double v = amplitude * std::cos(2.0 * M_PI * frequency * static_cast<double>(f) / rate + phase);
        for (int32_t c = 0; c < channels; ++c) p.samples[f * static_cast<size_t>(channels) + static_cast<size_t>(c)] = v;
    }
    return p;
}

Pcm noise(int32_t rate, int32_t channels, double seconds, double amplitude, uint32_t seed) {
    Pcm p;
    p.rate = rate;
    p.channels = channels;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-amplitude, amplitude);
    p.samples.resize(static_cast<size_t>(std::lround(rate * seconds)) * static_cast<size_t>(channels));
    for (double &s : p.samples) s = value(random);
    return p;
}

int64_t stored_value(double sample, Encoding encoding) {
    const int bits = bits_of(encoding);
    const double scale = std::ldexp(1.0, bits - 1);
    double v = std::nearbyint(sample * scale);
    v = std::fmin(std::fmax(v, -scale), scale - 1.0);
    return encoding == Encoding::u8 ? static_cast<int64_t>(v) + 128 : static_cast<int64_t>(v);
}

double decoded_value(double sample, Encoding encoding) {
    if (encoding == Encoding::f32) return static_cast<float>(sample);
    if (encoding == Encoding::f64) return sample;
    const int64_t stored = stored_value(sample, encoding) - (encoding == Encoding::u8 ? 128 : 0);
    return static_cast<double>(stored) / std::ldexp(1.0, bits_of(encoding) - 1);
}

std::vector<uint8_t> wav_image(const Pcm &pcm, Encoding encoding, const WavLayout &layout) {
    const int bits = bits_of(encoding);
    const uint32_t block = static_cast<uint32_t>(bits / 8 * pcm.channels);
    const uint64_t data_bytes = static_cast<uint64_t>(pcm.frames()) * block;
    const uint16_t tag = is_float(encoding) ? 3 : 1;
    std::vector<uint8_t> fmt;
    put(fmt, layout.extensible ? 0xFFFE : tag, 2);
    put(fmt, static_cast<uint64_t>(pcm.channels), 2);
    put(fmt, static_cast<uint64_t>(pcm.rate), 4);
    put(fmt, static_cast<uint64_t>(pcm.rate) * block, 4);
    put(fmt, block, 2);
    put(fmt, static_cast<uint64_t>(bits), 2);
    if (layout.extensible) {
        put(fmt, 22, 2);
        put(fmt, static_cast<uint64_t>(bits), 2);
        put(fmt, layout.channel_mask, 4);
        static const uint8_t guid_tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        put(fmt, tag, 2);
        fmt.insert(fmt.end(), guid_tail, guid_tail + 14);
    }
    std::vector<uint8_t> b;
    const uint64_t riff_size = 4 + (layout.rf64 ? 8 + 28 : 0) + 8 + fmt.size() + 8 + data_bytes;
    put_id(b, layout.rf64 ? "RF64" : "RIFF");
    put(b, layout.rf64 ? 0xFFFFFFFFu : riff_size, 4);
    put_id(b, "WAVE");
    if (layout.rf64) {
        put_id(b, "ds64");
        put(b, 28, 4);
        put(b, riff_size, 8);
        put(b, data_bytes, 8);
        put(b, pcm.frames(), 8);
        put(b, 0, 4);
    }
    put_id(b, "fmt ");
    put(b, fmt.size(), 4);
    b.insert(b.end(), fmt.begin(), fmt.end());
    put_id(b, "data");
    put(b, layout.rf64 ? 0xFFFFFFFFu : data_bytes, 4);
    for (double s : pcm.samples) {
        if (encoding == Encoding::f32) {
            const float f = static_cast<float>(s);
            uint32_t u;
            std::memcpy(&u, &f, 4);
            put(b, u, 4);
        } else if (encoding == Encoding::f64) {
            uint64_t u;
            std::memcpy(&u, &s, 8);
            put(b, u, 8);
        } else {
            put(b, static_cast<uint64_t>(stored_value(s, encoding)), bits / 8);
        }
    }
    return b;
}

bool write_bytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> read_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool run_quietly(const std::string &command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool have_program(const std::string &name) { return run_quietly("command -v " + name); }

std::string quoted(const std::string &path) { return "'" + path + "'"; }

}  // namespace zyn_test
