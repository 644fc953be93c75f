// The one shared reverb: a Schroeder-Moorer design in the topology of
// Jezar's Freeverb (public domain, 2000): per output channel eight parallel
// feedback combs, each with a one-pole low-pass in its loop (J. A. Moorer,
// "About this reverberation business", 1979), then four all-passes in
// series (M. R. Schroeder, "Natural sounding artificial reverberation",
// 1962), the right channel's delays 23 samples (at 44.1 kHz) longer than the
// left's. Two things differ from Freeverb: each comb gets the feedback that
// makes its own loop lose 60 dB in the same time, RT60 (J.-M. Jot, "Digital
// delay networks for designing artificial reverberators", 1991), instead of
// one feedback for all; and the all-passes are true all-passes.
//
// Parameters (ReverbSettings), each 0..1:
//   room_size  the decay time: RT60 = 0.25 s x 40^room_size at low
//              frequencies (0.25 s at 0, 1.58 s at 0.5, 10 s at 1);
//   damping    the low-pass in every comb loop, pole at 0.4 x damping: the
//              tail's highs die sooner the higher it is (0: as fast as lows);
//   width      the stereo spread of the return: 0 gives the same signal on
//              both channels, 1 two independent tails;
//   wet        the level of the return. At wet 1 the impulse response of
//              each channel carries the energy of the impulse (without
//              damping), whatever the room size. At wet 0 the return is
//              exactly zero.
//
// Use:
//   app thread, with the device open (allocates; outside the engine lock,
//   then publish):   Reverb r; r.configure(rate, block_frames);
//   app thread, under the lock:  r.set(settings);
//   mix thread, each block:
//     float *bus = r.bus(); zero frames of it; for each sound with a send:
//       add_to_bus(bus, block, frames, channels, send_before, send_now)
//     if (any send this block || r.active()) {
//       r.process(bus, ret, frames);   // ret: 2 x frames floats (r.return_block())
//       add_stereo_float(out, channels, ret, frames, false);
//     }
// Sends below 1e-6 should count as none (they would feed the tail values
// too small to matter and keep it from ever settling).
#pragma once

#include <cstdint>
#include <vector>

namespace zyn {

struct ReverbSettings {
    float room_size = 0.5f;
    float damping = 0.5f;
    float width = 1.0f;
    float wet = 0.0f;
};

// Checks requested settings: nullptr when usable (out holds them clamped
// into 0..1), else the reason (out untouched): any NaN or infinite value.
const char *check_reverb(float room_size, float damping, float width, float wet, ReverbSettings *out);

// The low-frequency decay time in seconds for a room size (0..1).
double reverb_rt60(float room_size);

class Reverb {
  public:
    static constexpr int kCombs = 8;
    static constexpr int kAllPasses = 4;

    // Sizes every delay line for the rate and the bus and return for blocks
    // of up to max_frames, and clears the tail. App thread; allocates; false
    // (and unconfigured) when the rate or block is outside 8000..768000 Hz
    // or 1..1 << 20 frames, or memory runs out.
    bool configure(int32_t rate, int32_t max_frames);
    bool configured() const { return rate_ > 0; }
    int32_t max_frames() const { return max_frames_; }

    // New parameters; while the tail rings, the mix moves the input and
    // output gains to them across its next block. App thread, under the
    // lock the mix takes.
    void set(const ReverbSettings &settings);
    const ReverbSettings &settings() const { return settings_; }

    // Empties the tail. App thread, under the lock.
    void clear();

    // Whether the tail still rings: false once the input has been silent for
    // twice RT60 (120 dB of decay), when process() would give zeros anyway.
    bool active() const { return active_; }

    // The send bus (max_frames floats, mono) and the return block
    // (2 x max_frames floats, interleaved stereo) it owns.
    float *bus() { return bus_.data(); }
    float *return_block() { return return_.data(); }

    // frames of mono input (null: silence) into frames of interleaved stereo
    // output (overwritten), frames <= max_frames. in and out may be bus()
    // and return_block(). Mix thread: no allocation.
    void process(const float *in, float *out, int32_t frames);

  private:
    struct Comb {
        float *line = nullptr;
        int32_t length = 0, index = 0;
        float feedback = 0.0f, low = 0.0f;
    };
    struct AllPass {
        float *line = nullptr;
        int32_t length = 0, index = 0;
    };

    void tune();  // feedbacks, damping and the input gain from settings_

    int32_t rate_ = 0;
    int32_t max_frames_ = 0;
    ReverbSettings settings_;
    std::vector<float> memory_;  // every delay line, one allocation
    std::vector<float> bus_, return_, scratch_;
    Comb combs_[2][kCombs];
    AllPass allpasses_[2][kAllPasses];
    float damp_ = 0.0f;
    float input_gain_ = 0.0f, applied_input_gain_ = 0.0f;
    float wet_same_ = 0.0f, wet_cross_ = 0.0f;  // targets of the output gains
    float applied_same_ = 0.0f, applied_cross_ = 0.0f;
    int64_t silent_frames_ = 0, ring_frames_ = 0;
    bool active_ = false;
};

}  // namespace zyn
