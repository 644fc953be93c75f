#include "reverb.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

namespace zyn {
namespace {

// Freeverb's delay lengths in samples at 44.1 kHz: mutually detuned so that
// the combs' echoes rarely coincide.
constexpr int32_t kCombTuning[Reverb::kCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int32_t kAllPassTuning[Reverb::kAllPasses] = {556, 441, 341, 225};
constexpr int32_t kStereoSpread = 23;
constexpr double kTuningRate = 44100.0;
constexpr float kAllPassGain = 0.5f;
constexpr float kMaxDampingPole = 0.4f;

inline float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

int32_t scaled_length(int32_t tuning, int32_t rate) {
    const auto n = static_cast<int32_t>(std::lround(tuning * (static_cast<double>(rate) / kTuningRate)));
    return n < 1 ? 1 : n;
}

bool all_zero(const float *in, int32_t frames) {
    if (in == nullptr) return true;
    for (int32_t i = 0; i < frames; ++i)
        if (in[i] != 0.0f) return false;
    return true;
}

}  // namespace

const char *check_reverb(float room_size, float damping, float width, float wet, ReverbSettings *out) {
    if (!std::isfinite(room_size)) return "the room size is not a finite number";
    if (!std::isfinite(damping)) return "the damping is not a finite number";
    if (!std::isfinite(width)) return "the width is not a finite number";
    if (!std::isfinite(wet)) return "the wet level is not a finite number";
    out->room_size = clamp01(room_size);
    out->damping = clamp01(damping);
    out->width = clamp01(width);
    out->wet = clamp01(wet);
    return nullptr;
}

double reverb_rt60(float room_size) {
    return 0.25 * std::pow(40.0, static_cast<double>(clamp01(room_size)));
}

bool Reverb::configure(int32_t rate, int32_t max_frames) {
    rate_ = 0;
    if (rate < 8000 || rate > 768000 || max_frames < 1 || max_frames > (1 << 20)) return false;
    size_t total = 0;
    for (int ch = 0; ch < 2; ++ch) {
        const int32_t spread = ch == 0 ? 0 : kStereoSpread;
        for (int32_t t : kCombTuning) total += static_cast<size_t>(scaled_length(t + spread, rate));
        for (int32_t t : kAllPassTuning) total += static_cast<size_t>(scaled_length(t + spread, rate));
    }
    try {
        memory_.assign(total, 0.0f);
        bus_.assign(static_cast<size_t>(max_frames), 0.0f);
        return_.assign(2 * static_cast<size_t>(max_frames), 0.0f);
        scratch_.assign(3 * static_cast<size_t>(max_frames), 0.0f);
    } catch (const std::bad_alloc &) {
        memory_.clear();
        bus_.clear();
        return_.clear();
        scratch_.clear();
        return false;
    }
    float *next = memory_.data();
    for (int ch = 0; ch < 2; ++ch) {
        const int32_t spread = ch == 0 ? 0 : kStereoSpread;
        for (int i = 0; i < kCombs; ++i) {
            Comb &c = combs_[ch][i];
            c.length = scaled_length(kCombTuning[i] + spread, rate);
            c.line = next;
            next += c.length;
        }
        for (int i = 0; i < kAllPasses; ++i) {
            AllPass &a = allpasses_[ch][i];
            a.length = scaled_length(kAllPassTuning[i] + spread, rate);
            a.line = next;
            next += a.length;
        }
    }
    rate_ = rate;
    max_frames_ = max_frames;
    clear();
    tune();
    applied_input_gain_ = input_gain_;
    applied_same_ = wet_same_;
    applied_cross_ = wet_cross_;
    return true;
}

void Reverb::set(const ReverbSettings &settings) {
    settings_ = settings;
    tune();
    if (!active_) {
        // Nothing rings: no level to move from.
        applied_input_gain_ = input_gain_;
        applied_same_ = wet_same_;
        applied_cross_ = wet_cross_;
    }
}

void Reverb::tune() {
    const float wet = settings_.wet, width = settings_.width;
    wet_same_ = wet * (1.0f + width) * 0.5f;
    wet_cross_ = wet * (1.0f - width) * 0.5f;
    damp_ = kMaxDampingPole * settings_.damping;
    if (rate_ <= 0) return;
    const double rt60 = reverb_rt60(settings_.room_size);
    double energy = 0.0;
    int64_t longest = 0;
    for (auto &channel : combs_) {
        for (Comb &c : channel) {
            // g^(rt60 x rate / length) = 10^-3: 60 dB lost in rt60 seconds.
            const double g = std::pow(10.0, -3.0 * c.length / (rt60 * rate_));
            c.feedback = static_cast<float>(g);
            energy += 1.0 / (1.0 - g * g);
            longest = std::max<int64_t>(longest, c.length);
        }
    }
    // A comb's undamped impulse response carries 1 / (1 - g^2); the
    // all-passes keep energy. Averaged over the two channels.
    input_gain_ = static_cast<float>(1.0 / std::sqrt(energy / 2.0));
    for (auto &channel : allpasses_)
        for (AllPass &a : channel) longest += a.length;
    ring_frames_ = static_cast<int64_t>(2.0 * rt60 * rate_) + longest;
}

void Reverb::clear() {
    std::fill(memory_.begin(), memory_.end(), 0.0f);
    for (auto &channel : combs_)
        for (Comb &c : channel) {
            c.index = 0;
            c.low = 0.0f;
        }
    for (auto &channel : allpasses_)
        for (AllPass &a : channel) a.index = 0;
    silent_frames_ = 0;
    active_ = false;
}

void Reverb::process(const float *in, float *out, int32_t frames) {
    if (out == nullptr || frames <= 0) return;
    if (rate_ <= 0) {
        std::fill(out, out + 2 * static_cast<ptrdiff_t>(frames), 0.0f);
        return;
    }
    // Longer blocks than configured go through in pieces.
    while (frames > max_frames_) {
        process(in, out, max_frames_);
        if (in != nullptr) in += max_frames_;
        out += 2 * static_cast<ptrdiff_t>(max_frames_);
        frames -= max_frames_;
    }
    if (all_zero(in, frames)) {
        silent_frames_ += frames;
        if (active_ && silent_frames_ > ring_frames_) clear();
        if (!active_) {
            std::fill(out, out + 2 * static_cast<ptrdiff_t>(frames), 0.0f);
            applied_input_gain_ = input_gain_;
            applied_same_ = wet_same_;
            applied_cross_ = wet_cross_;
            return;
        }
    } else {
        silent_frames_ = 0;
        active_ = true;
    }

    const float n = static_cast<float>(frames);
    float *x = scratch_.data();
    float *sum_l = x + max_frames_;
    float *sum_r = sum_l + max_frames_;
    const float g0 = applied_input_gain_, gd = (input_gain_ - applied_input_gain_) / n;
    if (in != nullptr)
        for (int32_t i = 0; i < frames; ++i) x[i] = in[i] * (g0 + gd * static_cast<float>(i + 1));
    else
        std::fill(x, x + frames, 0.0f);

    const float damp = damp_, undamp = 1.0f - damp_;
    float *sums[2] = {sum_l, sum_r};
    for (int ch = 0; ch < 2; ++ch) {
        float *y = sums[ch];
        std::fill(y, y + frames, 0.0f);
        for (Comb &c : combs_[ch]) {
            float low = c.low;
            int32_t index = c.index;
            const float g = c.feedback;
            for (int32_t i = 0; i < frames; ++i) {
                const float delayed = c.line[index];
                low = delayed * undamp + low * damp;
                c.line[index] = x[i] + low * g;
                if (++index == c.length) index = 0;
                y[i] += delayed;
            }
            c.low = low;
            c.index = index;
        }
        for (AllPass &a : allpasses_[ch]) {
            int32_t index = a.index;
            for (int32_t i = 0; i < frames; ++i) {
                const float delayed = a.line[index];
                const float v = y[i] + kAllPassGain * delayed;
                a.line[index] = v;
                if (++index == a.length) index = 0;
                y[i] = delayed - kAllPassGain * v;
            }
            a.index = index;
        }
    }

    const float s0 = applied_same_, sd = (wet_same_ - applied_same_) / n;
    const float c0 = applied_cross_, cd = (wet_cross_ - applied_cross_) / n;
    if (wet_same_ == 0.0f && wet_cross_ == 0.0f && s0 == 0.0f && c0 == 0.0f) {
        std::fill(out, out + 2 * static_cast<ptrdiff_t>(frames), 0.0f);
    } else {
        for (int32_t i = 0; i < frames; ++i) {
            const float k = static_cast<float>(i + 1);
            const float same = s0 + sd * k, cross = c0 + cd * k;
            out[2 * i] = same * sum_l[i] + cross * sum_r[i];
            out[2 * i + 1] = same * sum_r[i] + cross * sum_l[i];
        }
    }
    applied_input_gain_ = input_gain_;
    applied_same_ = wet_same_;
    applied_cross_ = wet_cross_;
}

}  // namespace zyn
