// Decoded audio brought to the device's format, fed a chunk at a time:
// channels mixed (channel_mix.h), rate converted by libsoxr in streaming
// mode (rate_converter.h), then rounded to 16 bits (sample_convert.h). The
// loader runs a whole file through one (device_samples.h), a track its file
// a little at a time ahead of the mix; both hear the same samples.
//
// Feeding: while needs_input(), read up to chunk_frames() source frames
// into input() and push() them; at the end of the input, finish(). pull()
// hands out what is ready, converting the pushed input as far as its
// caller takes it; exhausted() once everything, the converter's tail
// included, has been pulled.
#pragma once

#include "channel_mix.h"
#include "rate_converter.h"
#include "sound_decoder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zyn {

struct DeviceFormat {
    int32_t rate = 0;
    int32_t channels = 0;
    bool operator==(const DeviceFormat &) const = default;
};

class DevicePipeline {
  public:
    DevicePipeline() = default;
    DevicePipeline(const DevicePipeline &) = delete;
    DevicePipeline &operator=(const DevicePipeline &) = delete;

    // For the decoder's format. False with the reason recorded (naming the
    // source by name) for a rate outside what zyn converts, or when libsoxr
    // refuses it.
    bool open(const SoundDecoder &decoder, const DeviceFormat &device, const std::string &name,
              size_t chunk_frames);

    // A 16-bit source that needs neither mixing nor rate conversion: its
    // decoder's read_int16 gives the device samples as they are, exactly as
    // the float road would round them, and the caller may skip this object.
    bool direct() const { return direct_; }
    bool converts_rate() const { return convert_; }
    size_t chunk_frames() const { return chunk_; }
    // Source frames per device frame.
    double source_per_device() const { return source_per_device_; }

    bool needs_input() const;
    float *input() { return decoded_.data(); }
    // frames (at most chunk_frames()) source frames written to input().
    void push(size_t frames);
    // No more input: the converter's held frames come out through pull().
    void finish() { finished_ = true; }
    bool exhausted() const;

    // Up to frames device frames into out; the count written. Fails (-1,
    // the reason recorded) only when libsoxr stops taking input.
    int64_t pull(int16_t *out, size_t frames);

    // Forgets all input and output, the converter as new: what is pushed
    // next is converted as the start of a sound (after a seek).
    void restart();

  private:
    bool refill_output();

    std::string name_;
    size_t chunk_ = 0;
    size_t in_channels_ = 0;
    size_t out_channels_ = 0;
    bool direct_ = false;
    bool convert_ = false;
    double source_per_device_ = 1.0;
    ChannelMix mix_{{}, 0};
    RateConverter converter_;
    size_t room_ = 0;  // output frames the converter may write per call
    std::vector<float> decoded_;
    std::vector<float> mixed_;
    std::vector<float> converted_;
    // Device-format frames waiting at the converter's input.
    const float *pending_in_ = nullptr;
    size_t pending_in_frames_ = 0;
    // Device frames ready to round: [ready_, ready_ + ready_frames_).
    const float *ready_ = nullptr;
    size_t ready_frames_ = 0;
    bool finished_ = false;
    bool drained_ = false;
};

}  // namespace zyn
