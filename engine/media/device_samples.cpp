#include "device_samples.h"

#include "last_error.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zyn {
namespace {

constexpr size_t kChunkFrames = 4096;

// The growing block of 16-bit samples that becomes the wave.
class SampleBlock {
  public:
    ~SampleBlock() { std::free(data_); }
    bool reserve(size_t samples) {
        if (samples <= capacity_) return true;
        auto *grown = static_cast<int16_t *>(std::realloc(data_, samples * sizeof(int16_t)));
        if (grown == nullptr) return false;
        data_ = grown;
        capacity_ = samples;
        return true;
    }
    int16_t *tail() { return data_ + used_; }
    size_t used() const { return used_; }
    size_t capacity() const { return capacity_; }
    void advance(size_t samples) { used_ += samples; }
    // The block cut to what it holds, handed over. A tail of a few frames
    // (the length was known) stays: cutting may copy the whole block.
    int16_t *release() {
        if (capacity_ - used_ > 4096 + capacity_ / 256) {
            auto *cut = static_cast<int16_t *>(std::realloc(data_, used_ * sizeof(int16_t)));
            if (cut != nullptr) data_ = cut;
        }
        int16_t *out = data_;
        data_ = nullptr;
        capacity_ = used_ = 0;
        return out;
    }

  private:
    int16_t *data_ = nullptr;
    size_t capacity_ = 0;
    size_t used_ = 0;
};

class Sink {
  public:
    Sink(SampleBlock &block, int32_t channels, const std::string &name)
        : block_(block), channels_(static_cast<size_t>(channels)), name_(name) {}

    // Room for count more frames at the block's tail.
    bool make_room(size_t count) {
        const size_t need = block_.used() + count * channels_;
        if (static_cast<double>(need) * sizeof(int16_t) > static_cast<double>(kMaxWaveBytes))
            return fail("%s is too long for a wave: more than 2 GiB of samples in the device format",
                        name_.c_str()) != 0;
        if (need > block_.capacity()) {
            size_t grown = block_.capacity() + block_.capacity() / 2;
            if (grown < need) grown = need;
            const size_t most = static_cast<size_t>(kMaxWaveBytes) / sizeof(int16_t) / channels_ * channels_;
            if (grown > most) grown = most;
            if (grown < need || !block_.reserve(grown)) return fail("not enough memory for %s", name_.c_str()) != 0;
        }
        return true;
    }

    // Up to count frames from read(dst, frames) straight into the block;
    // the frames read, 0 at the end, -1 on failure. While the block has room
    // it is read into as far as the room goes; only frames beyond it (a
    // header that said too little) go through scratch and grow the block,
    // so the last read of a sound of known length never moves it.
    template <typename Read>
    int64_t read_from(Read read, size_t count, std::vector<int16_t> &scratch) {
        const size_t room = (block_.capacity() - block_.used()) / channels_;
        if (room > 0) {
            const int64_t got = read(block_.tail(), room < count ? room : count);
            if (got > 0) block_.advance(static_cast<size_t>(got) * channels_);
            return got;
        }
        scratch.resize(count * channels_);
        const int64_t got = read(scratch.data(), count);
        if (got <= 0) return got;
        const size_t samples = static_cast<size_t>(got) * channels_;
        if (!make_room(static_cast<size_t>(got))) return -1;
        std::memcpy(block_.tail(), scratch.data(), samples * sizeof(int16_t));
        block_.advance(samples);
        return got;
    }

  private:
    SampleBlock &block_;
    size_t channels_;
    const std::string &name_;
};

}  // namespace

bool decode_to_device(SoundDecoder &decoder, const DeviceFormat &device, const std::string &name,
                      int64_t size_hint, int16_t **samples, int32_t *bytes) {
    const SoundFormat &format = decoder.format();
    DevicePipeline pipeline;
    if (!pipeline.open(decoder, device, name, kChunkFrames)) return false;

    const auto out_channels = static_cast<size_t>(device.channels);
    SampleBlock block;
    if (format.frames > 0) {
        // Within a source that could hold it, the header's length is taken
        // as it is; the block is then allocated once and never copied.
        const double ratio = static_cast<double>(device.rate) / format.rate;
        const double expected = std::ceil(static_cast<double>(format.frames) * ratio) + 1.0;
        const double plausible = 32.0 * static_cast<double>(size_hint) / sizeof(int16_t) + (1 << 20);
        const double most = static_cast<double>(kMaxWaveBytes) / sizeof(int16_t);
        const double first = std::fmin(std::fmin(expected * static_cast<double>(out_channels), plausible), most);
        if (!block.reserve(static_cast<size_t>(first))) return fail("not enough memory for %s", name.c_str()) != 0;
    }
    Sink sink(block, device.channels, name);
    std::vector<int16_t> scratch;
    if (pipeline.direct()) {
        const auto read = [&](int16_t *dst, size_t frames) {
            return decoder.read_int16(dst, static_cast<int64_t>(frames));
        };
        for (int64_t got; (got = sink.read_from(read, kChunkFrames, scratch)) != 0;)
            if (got < 0) return false;
    } else {
        const auto pull = [&](int16_t *dst, size_t frames) { return pipeline.pull(dst, frames); };
        while (!pipeline.exhausted()) {
            if (pipeline.needs_input()) {
                const int64_t got = decoder.read(pipeline.input(), static_cast<int64_t>(kChunkFrames));
                if (got < 0) return false;
                if (got == 0)
                    pipeline.finish();
                else
                    pipeline.push(static_cast<size_t>(got));
            }
            if (sink.read_from(pull, kChunkFrames, scratch) < 0) return false;
        }
    }
    if (block.used() == 0) return fail("%s holds no audio", name.c_str()) != 0;
    *bytes = static_cast<int32_t>(block.used() * sizeof(int16_t));
    *samples = block.release();
    return true;
}

}  // namespace zyn
