// WAV files in every test suite: written with each header field under the
// test's control, so that broken files are as easy to make as good ones, and
// read back from the file format alone, sharing no code with what is tested.
#pragma once

#include "file_bytes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zyn_test {

// What a 16-bit PCM file holds: interleaved samples at a rate.
struct Pcm {
    int32_t rate = 44100;
    int32_t channels = 1;
    std::vector<int16_t> samples;
    size_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
    std::vector<double> channel(int32_t c) const;
};

struct WavLayout {
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

// The whole file: the header as described, then the data as it is.
std::vector<uint8_t> wav_image(const WavLayout &layout, const std::vector<uint8_t> &data);
std::vector<uint8_t> pcm16(const std::vector<int16_t> &samples);
// A plain 16-bit PCM file.
bool write_wav(const std::string &path, const Pcm &sound);

// A file as its bytes describe it, chunks found by their ids; samples are
// those of a 16-bit data chunk that are on disk, even where the header claims
// more (a file still being written).
struct WavFile : Pcm {
    size_t file_bytes = 0;
    std::string riff, wave;  // the ids at 0 and 8
    uint32_t riff_size = 0;
    uint32_t fmt_size = 0, byte_rate = 0;
    uint16_t format = 0, align = 0, bits = 0;
    size_t data_at = 0;  // where the data chunk's bytes start; 0: no data chunk
    uint32_t data_size = 0;
    // Why the file is not a complete, consistent 16-bit PCM file; empty when
    // it is one.
    std::string problem;
};
WavFile parse_wav(const std::vector<uint8_t> &bytes);
WavFile read_wav(const std::string &path);

}  // namespace zyn_test
