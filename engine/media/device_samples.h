// A decoded sound brought to the device's format in one pass, a chunk at a
// time: channels mixed (channel_mix.h), rate converted (rate_converter.h), then
// rounded to 16 bits (sample_convert.h) into the block that becomes the wave.
#pragma once

#include "sound_decoder.h"

#include <cstdint>

namespace zyn {

struct DeviceFormat {
    int32_t rate = 0;
    int32_t channels = 0;
};

// Longest wave in bytes (a wave's size is an int32).
constexpr int64_t kMaxWaveBytes = INT32_MAX;

// On success *samples is a malloc'ed block of *bytes bytes (the caller frees
// it with free()). On failure nothing stays allocated and the reason is
// recorded with fail(). size_hint is the size of the encoded source in
// bytes: the first allocation trusts the header's length only as far as the
// source could plausibly hold it, and grows from there.
bool decode_to_device(SoundDecoder &decoder, const DeviceFormat &device, const std::string &name,
                      int64_t size_hint, int16_t **samples, int32_t *bytes);

}  // namespace zyn
