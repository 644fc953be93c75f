#include "device_pipeline.h"

#include "last_error.h"
#include "sample_convert.h"

namespace zyn {
namespace {

// Rates a sound may have: below this, a short file would stretch into hours.
constexpr int32_t kLowestRate = 1000;
constexpr int32_t kHighestRate = 768000;

}  // namespace

bool DevicePipeline::open(const SoundDecoder &decoder, const DeviceFormat &device, const std::string &name,
                          size_t chunk_frames) {
    const SoundFormat &source = decoder.format();
    name_ = name;
    if (source.rate < kLowestRate || source.rate > kHighestRate)
        return fail("%s has a sample rate of %d Hz, outside the %d .. %d Hz zyn converts", name.c_str(),
                    source.rate, kLowestRate, kHighestRate) != 0;
    chunk_ = chunk_frames;
    in_channels_ = static_cast<size_t>(source.channels);
    out_channels_ = static_cast<size_t>(device.channels);
    mix_ = ChannelMix(source.positions, device.channels);
    convert_ = source.rate != device.rate;
    source_per_device_ = static_cast<double>(source.rate) / device.rate;
    if (convert_ && !converter_.open(source.rate, device.rate, device.channels)) return false;
    direct_ = decoder.exact_int16() && mix_.passthrough() && !convert_;
    decoded_.assign(chunk_ * in_channels_, 0.0f);
    mixed_.assign(mix_.passthrough() ? 0 : chunk_ * out_channels_, 0.0f);
    room_ = convert_ ? converter_.output_room(chunk_) : 0;
    converted_.assign(room_ * out_channels_, 0.0f);
    restart();
    return true;
}

bool DevicePipeline::needs_input() const {
    return !finished_ && pending_in_frames_ == 0 && ready_frames_ == 0;
}

bool DevicePipeline::exhausted() const {
    return finished_ && pending_in_frames_ == 0 && ready_frames_ == 0 && (!convert_ || drained_);
}

void DevicePipeline::push(size_t frames) {
    if (frames > chunk_) frames = chunk_;
    const float *at_device = decoded_.data();
    if (!mix_.passthrough()) {
        mix_.apply(decoded_.data(), mixed_.data(), frames);
        at_device = mixed_.data();
    }
    if (convert_) {
        pending_in_ = at_device;
        pending_in_frames_ = frames;
    } else {
        ready_ = at_device;
        ready_frames_ = frames;
    }
}

// Converts what waits at the converter's input (or drains its tail) into
// converted_; false when nothing more can come out.
bool DevicePipeline::refill_output() {
    if (!convert_) return false;
    if (pending_in_frames_ > 0) {
        size_t taken = 0;
        const size_t made = converter_.process(pending_in_, pending_in_frames_, converted_.data(), room_, &taken);
        // libsoxr takes all the input it has room for; a call that takes
        // nothing and makes nothing would never end.
        if (taken == 0 && made == 0) {
            fail("cannot convert the rate of %s", name_.c_str());
            return false;
        }
        pending_in_ += taken * out_channels_;
        pending_in_frames_ -= taken;
        ready_ = converted_.data();
        ready_frames_ = made;
        return true;
    }
    if (finished_ && !drained_) {
        const size_t made = converter_.drain(converted_.data(), room_);
        if (made == 0) drained_ = true;
        ready_ = converted_.data();
        ready_frames_ = made;
        return true;
    }
    return false;
}

int64_t DevicePipeline::pull(int16_t *out, size_t frames) {
    size_t done = 0;
    while (done < frames) {
        if (ready_frames_ == 0) {
            if (pending_in_frames_ == 0 && !(finished_ && convert_ && !drained_)) break;
            if (!refill_output()) return -1;
            continue;
        }
        const size_t n = frames - done < ready_frames_ ? frames - done : ready_frames_;
        float_to_int16(ready_, out + done * out_channels_, n * out_channels_);
        ready_ += n * out_channels_;
        ready_frames_ -= n;
        done += n;
    }
    return static_cast<int64_t>(done);
}

void DevicePipeline::restart() {
    if (convert_) converter_.restart();
    pending_in_ = ready_ = nullptr;
    pending_in_frames_ = ready_frames_ = 0;
    finished_ = drained_ = false;
}

}  // namespace zyn
