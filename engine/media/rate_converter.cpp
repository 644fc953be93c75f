#include "rate_converter.h"

#include "last_error.h"

#include <cmath>
#include <soxr.h>

namespace zyn {

RateConverter::~RateConverter() {
    if (soxr_ != nullptr) soxr_delete(soxr_);
}

bool RateConverter::open(int32_t in_rate, int32_t out_rate, int32_t channels) {
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
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
    return true;
}

size_t RateConverter::output_room(size_t in_frames) const {
    return static_cast<size_t>(std::ceil(static_cast<double>(in_frames) * ratio_)) + 64;
}

size_t RateConverter::process(const float *in, size_t in_frames, float *out, size_t room, size_t *taken) {
    size_t made = 0;
    *taken = 0;
    soxr_process(soxr_, in, in_frames, taken, out, room, &made);
    return made;
}

size_t RateConverter::drain(float *out, size_t room) {
    size_t made = 0;
    soxr_process(soxr_, nullptr, 0, nullptr, out, room, &made);
    return made;
}

}  // namespace zyn
