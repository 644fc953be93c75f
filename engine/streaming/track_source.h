// The decoding side of a track: its bytes (a file read in pieces, or the
// caller's memory in place), the decoder ZYN_LOAD_FILE would use, the
// device pipeline, and the passes of its plan. It writes the device frames
// of the plan into the track's ring: the first pass up to the loop's end,
// then the loop region again and again (the decoder seeks back to the
// loop's start, and the pipeline converts the joined signal as one, so a
// seam is as clean as the music itself).
//
// Used by one thread at a time: whoever holds the track's decoding lock
// (a pool thread, or an application thread priming or seeking). Never on
// the output thread.
#pragma once

#include "media/byte_source.h"
#include "media/device_pipeline.h"
#include "media/sound_decoder.h"
#include "play_plan.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zyn {

class FrameRing;

class TrackSource {
  public:
    // Null with the reason recorded (naming the file) when the bytes are
    // not a sound zyn reads.
    static std::unique_ptr<TrackSource> open(std::unique_ptr<ByteSource> bytes);
    ~TrackSource();
    TrackSource(const TrackSource &) = delete;
    TrackSource &operator=(const TrackSource &) = delete;

    const SoundFormat &format() const { return decoder_->format(); }
    const std::string &name() const { return bytes_->name(); }

    // The road to a device of this format; false with the reason recorded.
    // Follow with restart().
    bool configure(const DeviceFormat &device);
    const DeviceFormat &device() const { return device_; }

    // Decoding starts over at file frame first with plan. A first frame at
    // or past the loop's end ends that pass at once. False with the reason
    // recorded when the decoder cannot go there: what was decoded before
    // then ends the ring it went to.
    bool restart(int64_t first, const PlayPlan &plan);
    // What the ring holds from the restart on.
    const RingStart &start() const { return start_; }

    // Writes into ring until it holds fill frames or is full, and closes its
    // input after the last pass, or where the decoding failed (with the
    // reason). Also returns once the file's end is first found, so that the
    // caller can publish it (file_end()) before any frame of a later pass
    // is in the ring.
    void produce(FrameRing &ring, int64_t fill);

    // The file's length as the decoding found it; -1 until it reached it.
    int64_t file_end() const { return file_end_; }
    // True once after produce() found the file's end (start().plan.loop_end
    // then holds it where it was -1).
    bool take_found_end();

    // Whether the plan can change without a restart: the decoding is still
    // in its first pass and has not read past where the new plan ends it.
    bool can_replan(const PlayPlan &plan) const;
    void replan(const PlayPlan &plan);

  private:
    TrackSource() = default;
    int64_t read_limit(int64_t most) const;
    void feed();
    void at_file_end();
    void end_pass();
    void fail_input();
    bool seek_to(int64_t frame);

    std::unique_ptr<ByteSource> bytes_;
    FileBytes *file_ = nullptr;  // bytes_ when they are a file
    std::unique_ptr<SoundDecoder> decoder_;
    std::unique_ptr<DevicePipeline> pipeline_;
    DeviceFormat device_;
    RingStart start_;
    PlayPlan plan_;      // as the decoding goes: its passes count down
    int64_t next_ = 0;   // file frame the decoder reads next; -1 unknown
    int64_t pass_read_ = 0;
    bool seam_ = false;  // a pass has ended since the restart
    bool input_done_ = false;
    bool found_end_ = false;
    int64_t file_end_ = -1;
    std::string failure_;
};

}  // namespace zyn
