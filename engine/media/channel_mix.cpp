#include "channel_mix.h"

namespace zyn {
namespace {

constexpr float kSide = 0.70710678f;

struct Share {
    float left, right;
};

Share share_of(ChannelPosition p) {
    switch (p) {
        case ChannelPosition::front_left:
        case ChannelPosition::front_left_of_centre: return {1.0f, 0.0f};
        case ChannelPosition::front_right:
        case ChannelPosition::front_right_of_centre: return {0.0f, 1.0f};
        case ChannelPosition::back_left:
        case ChannelPosition::side_left:
        case ChannelPosition::top_front_left:
        case ChannelPosition::top_back_left: return {kSide, 0.0f};
        case ChannelPosition::back_right:
        case ChannelPosition::side_right:
        case ChannelPosition::top_front_right:
        case ChannelPosition::top_back_right: return {0.0f, kSide};
        case ChannelPosition::lfe: return {0.0f, 0.0f};
        default: return {kSide, kSide};
    }
}

}  // namespace

std::vector<ChannelPosition> default_positions(int32_t channels, ChannelOrder order) {
    using P = ChannelPosition;
    if (channels == 1) return {P::mono};
    static const std::vector<P> wav[] = {
        {P::front_left, P::front_right},
        {P::front_left, P::front_right, P::front_centre},
        {P::front_left, P::front_right, P::back_left, P::back_right},
        {P::front_left, P::front_right, P::front_centre, P::back_left, P::back_right},
        {P::front_left, P::front_right, P::front_centre, P::lfe, P::back_left, P::back_right},
        {P::front_left, P::front_right, P::front_centre, P::lfe, P::back_centre, P::side_left, P::side_right},
        {P::front_left, P::front_right, P::front_centre, P::lfe, P::back_left, P::back_right, P::side_left,
         P::side_right},
    };
    static const std::vector<P> vorbis[] = {
        {P::front_left, P::front_right},
        {P::front_left, P::front_centre, P::front_right},
        {P::front_left, P::front_right, P::back_left, P::back_right},
        {P::front_left, P::front_centre, P::front_right, P::back_left, P::back_right},
        {P::front_left, P::front_centre, P::front_right, P::back_left, P::back_right, P::lfe},
        {P::front_left, P::front_centre, P::front_right, P::side_left, P::side_right, P::back_centre, P::lfe},
        {P::front_left, P::front_centre, P::front_right, P::side_left, P::side_right, P::back_left,
         P::back_right, P::lfe},
    };
    std::vector<P> positions;
    if (channels >= 2 && channels <= 8)
        positions = (order == ChannelOrder::wav ? wav : vorbis)[channels - 2];
    // Channels beyond the known layouts have no place: they count as centre.
    positions.resize(static_cast<size_t>(channels < 0 ? 0 : channels), P::unknown);
    return positions;
}

ChannelMix::ChannelMix(const std::vector<ChannelPosition> &positions, int32_t out_channels)
    : in_(static_cast<int32_t>(positions.size())), out_(out_channels) {
    weights_.assign(static_cast<size_t>(in_ * out_), 0.0f);
    if (in_ == 0 || out_ < 1) return;
    std::vector<float> left(static_cast<size_t>(in_)), right(static_cast<size_t>(in_));
    for (int32_t c = 0; c < in_; ++c) {
        const Share s = in_ == 1 ? Share{1.0f, 1.0f} : share_of(positions[static_cast<size_t>(c)]);
        left[static_cast<size_t>(c)] = s.left;
        right[static_cast<size_t>(c)] = s.right;
    }
    std::vector<std::vector<float>> rows;
    if (out_ == 1) {
        std::vector<float> both(static_cast<size_t>(in_));
        for (size_t c = 0; c < both.size(); ++c) both[c] = left[c] + right[c];
        rows.push_back(both);
    } else {
        rows.push_back(left);
        rows.push_back(right);
        // Devices never have more than two channels; any further output
        // channel would carry the centre mix.
        for (int32_t o = 2; o < out_; ++o) rows.emplace_back(static_cast<size_t>(in_), 1.0f);
    }
    for (int32_t o = 0; o < out_; ++o) {
        std::vector<float> &row = rows[static_cast<size_t>(o)];
        float sum = 0.0f;
        for (float w : row) sum += w;
        if (sum <= 0.0f) {
            row.assign(row.size(), 1.0f);
            sum = static_cast<float>(in_);
        }
        for (int32_t c = 0; c < in_; ++c)
            weights_[static_cast<size_t>(o * in_ + c)] = row[static_cast<size_t>(c)] / sum;
    }
    passthrough_ = in_ == out_;
    for (int32_t o = 0; passthrough_ && o < out_; ++o)
        for (int32_t c = 0; c < in_; ++c)
            if (coefficient(o, c) != (o == c ? 1.0f : 0.0f)) passthrough_ = false;
}

void ChannelMix::apply(const float *in, float *out, size_t frames) const {
    const auto n_in = static_cast<size_t>(in_), n_out = static_cast<size_t>(out_);
    if (n_in == 1) {
        // The common case of a mono sound on a stereo device: a copy per side.
        for (size_t f = 0; f < frames; ++f)
            for (size_t o = 0; o < n_out; ++o) out[f * n_out + o] = in[f] * weights_[o];
        return;
    }
    for (size_t f = 0; f < frames; ++f) {
        const float *frame = in + f * n_in;
        for (size_t o = 0; o < n_out; ++o) {
            const float *w = weights_.data() + o * n_in;
            float sum = 0.0f;
            for (size_t c = 0; c < n_in; ++c) sum += w[c] * frame[c];
            out[f * n_out + o] = sum;
        }
    }
}

}  // namespace zyn
