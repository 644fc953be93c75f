#include "rate_converter.h"

#include "last_error.h"

#include <cmath>
#include <soxr.h>

namespace zyn {

RateConverter::~RateConverter() {
    if (soxr_ != nullptr) soxr_delete(soxr_);
}

bool RateConverter::open(int32_t in_rate, int32_t out_rate, int32_t channels) {
    if (channels < 1 || static_cast<size_t>(channels) > kMostChannels)
        return fail("cannot convert the rate of %d channels (the device has 1 or 2)", channels) != 0;
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: a load runs on the caller's thread and uses nothing more.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_ = soxr_create(in_rate, out_rate, static_cast<unsigned>(channels), &error, &io, &quality, &runtime);
    if (soxr_ == nullptr || error != nullptr) {
        if (soxr_ != nullptr) soxr_delete(soxr_);
        soxr_ = nullptr;
        return fail("cannot convert %d Hz to %d Hz: %s", in_rate, out_rate, error != nullptr ? error : "libsoxr failed") != 0;
    }
    ratio_ = static_cast<double>(out_rate) / in_rate;
    channels_ = static_cast<size_t>(channels);
    return true;
}

size_t RateConverter::output_room(size_t in_frames) const {
    return static_cast<size_t>(std::ceil(static_cast<double>(in_frames) * ratio_)) + 64;
}

size_t RateConverter::run(const float *in, size_t in_frames, float *out, size_t room, size_t *taken) {
    size_t made = 0;
    if (channels_ == 1) {
        const float *ins[1] = {in};
        float *outs[1] = {out};
        soxr_process(soxr_, in != nullptr ? ins : nullptr, in_frames, taken, outs, room, &made);
        return made;
    }
    if (split_in_.size() < in_frames * 2) split_in_.resize(in_frames * 2);
    if (split_out_.size() < room * 2) split_out_.resize(room * 2);
    float *left = split_in_.data(), *right = left + in_frames;
    if (in != nullptr)
        for (size_t f = 0; f < in_frames; ++f) {
            left[f] = in[2 * f];
            right[f] = in[2 * f + 1];
        }
    const float *ins[2] = {left, right};
    float *outs[2] = {split_out_.data(), split_out_.data() + room};
    soxr_process(soxr_, in != nullptr ? ins : nullptr, in_frames, taken, outs, room, &made);
    for (size_t f = 0; f < made; ++f) {
        out[2 * f] = outs[0][f];
        out[2 * f + 1] = outs[1][f];
    }
    return made;
}

size_t RateConverter::process(const float *in, size_t in_frames, float *out, size_t room, size_t *taken) {
    *taken = 0;
    return run(in, in_frames, out, room, taken);
}

size_t RateConverter::drain(float *out, size_t room) { return run(nullptr, 0, out, room, nullptr); }

void RateConverter::restart() {
    if (soxr_ != nullptr) soxr_clear(soxr_);
}

}  // namespace zyn
