// Mixing a sound's channels down (or up) to the device's one or two.
//
// Each source channel has a position; each position sends a share to the
// left and the right output:
//   front left, front left of centre               left 1
//   side, back and top left                        left 0.7071 (-3 dB)
//   any centre, mono, unknown positions            left 0.7071, right 0.7071
//   low-frequency effects (LFE)                    nowhere
// and mirrored for the right. Each output row is then divided by its sum,
// so that a signal present equally in every channel keeps its level and no
// output sample exceeds the largest input sample: nothing clips. A mono
// device takes the sum of both rows, normalised the same way. A one-channel
// sound plays unchanged on both sides; an output row no channel reaches
// takes all channels equally.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zyn {

enum class ChannelPosition : uint8_t {
    unknown,
    mono,
    front_left,
    front_right,
    front_centre,
    lfe,
    back_left,
    back_right,
    back_centre,
    side_left,
    side_right,
    front_left_of_centre,
    front_right_of_centre,
    top_centre,
    top_front_left,
    top_front_right,
    top_front_centre,
    top_back_left,
    top_back_right,
    top_back_centre,
};

// The channel order a format assumes when a file names no positions.
enum class ChannelOrder {
    wav,     // WAVE, FLAC, AIFF: FL FR FC LFE BL BR SL SR
    vorbis,  // Vorbis and Opus: FL FC FR ..., LFE last
};

std::vector<ChannelPosition> default_positions(int32_t channels, ChannelOrder order);

class ChannelMix {
  public:
    ChannelMix(const std::vector<ChannelPosition> &positions, int32_t out_channels);

    int32_t in_channels() const { return in_; }
    int32_t out_channels() const { return out_; }
    // Source and device channels are the same and each goes to its own output.
    bool passthrough() const { return passthrough_; }
    float coefficient(int32_t out, int32_t in) const {
        return weights_[static_cast<size_t>(out * in_ + in)];
    }
    // frames interleaved frames of in_channels() into out_channels().
    void apply(const float *in, float *out, size_t frames) const;

  private:
    int32_t in_;
    int32_t out_;
    bool passthrough_ = false;
    std::vector<float> weights_;  // out rows of in columns
};

}  // namespace zyn
