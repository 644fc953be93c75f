// The WAV loader: a RIFF/WAVE PCM file converted in one pass to the device's
// rate and channel count (nearest sample, no filtering, half of the 16-bit
// range). The MP3 and Ogg loaders decode into a temporary WAV file and come
// through here, so this is the one place where loaded sounds are converted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn {

// What the header of a WAV file says, and where its samples begin.
struct WavHeader {
    int32_t fmt_size = 0;
    int32_t format_tag = 0;
    int32_t channels = 0;
    int32_t rate = 0;
    int32_t byte_rate = 0;
    int32_t block_align = 0;
    int32_t bits = 0;
    int32_t data_size = 0;
    int64_t data_offset = 0;  // first sample byte in the file
    int64_t file_length = 0;
};

// Output never grows past this many bytes (a wave's size is an int32).
constexpr int64_t kWavMaxOutputBytes = INT32_MAX;

// Loads the WAV file at path converted to rate / bits / channels. On success
// *samples is a calloc'ed block (the caller frees it with free()) of *bytes
// bytes; on failure both are left untouched and nothing stays allocated.
// Reads the file in large blocks; touches no engine state, so any thread may
// call it. max_bytes caps the converted size (a file may legally ask for a
// very long wave at a very low rate); longer results are refused.
bool load_wav_converted(const char *path, int32_t rate, int32_t bits, int32_t channels,
                        int16_t **samples, int32_t *bytes, int64_t max_bytes = kWavMaxOutputBytes);

// The same for a file image already in memory.
bool convert_wav_image(const uint8_t *image, size_t size, int32_t rate, int32_t bits,
                       int32_t channels, int16_t **samples, int32_t *bytes,
                       int64_t max_bytes = kWavMaxOutputBytes);

// Header of a file image, or false when it is not a WAV file this loader takes.
bool parse_wav_image(const uint8_t *image, size_t size, WavHeader *header);

}  // namespace zyn
