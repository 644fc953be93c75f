// A whole decoded sound brought to the device's format (device_pipeline.h)
// into the one block that becomes the wave.
#pragma once

#include "device_pipeline.h"
#include "sound_decoder.h"

#include <cstdint>
#include <string>

namespace zyn {

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
