// Sample-rate conversion of loaded sounds with libsoxr at its high quality
// (SOXR_HQ: 20-bit precision, a passband to about 91% of the lower Nyquist
// frequency and well over 100 dB of stopband rejection), fed in chunks so
// that a long sound never sits in memory twice. libsoxr is handed each
// channel on its own: it filters channels apart anyway, and splitting them
// here costs less than its own split of interleaved frames (the samples
// come out the same).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct soxr;

namespace zyn {

class RateConverter {
  public:
    RateConverter() = default;
    ~RateConverter();
    RateConverter(const RateConverter &) = delete;
    RateConverter &operator=(const RateConverter &) = delete;

    // False (with the reason recorded) when libsoxr refuses the rates.
    bool open(int32_t in_rate, int32_t out_rate, int32_t channels);

    // Most output frames one call can give for in_frames input frames.
    size_t output_room(size_t in_frames) const;

    // Converts up to in_frames interleaved frames, as many as room frames of
    // output allow; *taken says how many input frames it took. Returns the
    // output frames written to out.
    size_t process(const float *in, size_t in_frames, float *out, size_t room, size_t *taken);

    // The frames still held in the filter once the input has ended; call
    // until it returns 0.
    size_t drain(float *out, size_t room);

    // Forgets the input so far: the next frames are converted as the start
    // of a new sound.
    void restart();

    // The device's channels at most.
    static constexpr size_t kMostChannels = 2;

  private:
    size_t run(const float *in, size_t in_frames, float *out, size_t room, size_t *taken);

    soxr *soxr_ = nullptr;
    double ratio_ = 1.0;
    size_t channels_ = 0;
    std::vector<float> split_in_;   // channel after channel
    std::vector<float> split_out_;
};

}  // namespace zyn
