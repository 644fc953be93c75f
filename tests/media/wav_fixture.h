// WAV files written by the tests: a header with every field under the test's
// control, so that broken files are as easy to make as good ones.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zyn_test {

struct WavSpec {
    char riff[5] = "RIFF";
    char wave[5] = "WAVE";
    uint16_t format_tag = 1;
    uint16_t channels = 2;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    int32_t block_align = -1;          // -1: channels x bytes per sample
    uint32_t fmt_size = 16;            // bytes beyond 16 are written as zeros
    std::vector<uint8_t> before_data;  // raw bytes between the fmt and data chunks
    int64_t data_size = -1;            // -1: the real size of the data
};

inline void put16(std::vector<uint8_t> &out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t> &out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
inline void put_id(std::vector<uint8_t> &out, const char *id) { out.insert(out.end(), id, id + 4); }

inline std::vector<uint8_t> wav_image(const WavSpec &spec, const std::vector<uint8_t> &data) {
    const uint32_t align = spec.block_align >= 0 ? static_cast<uint32_t>(spec.block_align)
                                                 : spec.channels * ((spec.bits + 7u) / 8u);
    std::vector<uint8_t> fmt;
    put16(fmt, spec.format_tag);
    put16(fmt, spec.channels);
    put32(fmt, spec.rate);
    put32(fmt, spec.rate * align);
    put16(fmt, align);
    put16(fmt, spec.bits);
    if (spec.fmt_size > 16) fmt.resize(spec.fmt_size, 0);

    std::vector<uint8_t> out;
    put_id(out, spec.riff);
    put32(out, 0);
    put_id(out, spec.wave);
    put_id(out, "fmt ");
    put32(out, spec.fmt_size);
    out.insert(out.end(), fmt.begin(), fmt.end());
    out.insert(out.end(), spec.before_data.begin(), spec.before_data.end());
    put_id(out, "data");
    put32(out, spec.data_size >= 0 ? static_cast<uint32_t>(spec.data_size)
                                   : static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t riff_size = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riff_size >> (8 * i));
    return out;
}

inline std::vector<uint8_t> pcm16(const std::vector<int16_t> &samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) put16(out, static_cast<uint16_t>(s));
    return out;
}

inline bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace zyn_test
