// A ring of device frames (16-bit, interleaved) between one producer and
// one consumer: the thread decoding a track (a pool thread, or an
// application thread priming it) or the classic MP3 stream's decoder, and
// the fill.
//
// The producer alone moves the write index and writes the frames ahead of
// it; the consumer alone moves the read index. The fill count is the one
// field both change: the producer publishes frames with a release add, the
// consumer hands frames back with an acquire-release subtraction, and each
// side reads it with acquire before it touches the frames, so neither ever
// waits. A side that must see the other's latest change after a store of
// its own (the classic stream ending itself) reads it with fill_now(), a
// read-modify-write. The producer closes the input after its last frame: a
// consumer that finds a closed ring empty has reached the end.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zyn {

class FrameRing {
  public:
    FrameRing() = default;
    ~FrameRing();
    FrameRing(const FrameRing &) = delete;
    FrameRing &operator=(const FrameRing &) = delete;

    // Storage for frames frames of channels channels; false without memory.
    // Before the ring is shared.
    bool allocate(int64_t frames, int32_t channels);
    int64_t capacity() const { return capacity_; }
    int32_t channels() const { return channels_; }
    int32_t frame_bytes() const { return 2 * channels_; }
    // Empty and open again, both indices at the start. Neither side may run.
    void reset();

    // Producer.
    int64_t room() const { return capacity_ - fill_.load(std::memory_order_acquire); }
    // The free frames from the write position up to the end of the
    // storage; *frames says how many.
    int16_t *write_span(int64_t *frames);
    void commit(int64_t frames);
    // Nothing follows the frames committed. With a reason (at most
    // kReasonBytes - 1 bytes kept), the input ended because it failed.
    void close_input(const char *failure = nullptr);
    bool input_closed() const { return closed_.load(std::memory_order_acquire); }

    // Consumer.
    int64_t available() const { return fill_.load(std::memory_order_acquire); }
    // The frames from the read position up to the end of the storage.
    const int16_t *read_span(int64_t *frames) const;
    // Hands frames back to the producer and moves past them.
    void consume(int64_t frames);
    // The two halves of consume(), for a consumer that keeps pointing at
    // the frames it has handed back a little longer.
    void release(int64_t frames);
    void advance(int64_t frames);
    // Frames consumed since the ring was made or reset (engine lock held:
    // the fill consumes under it).
    int64_t consumed() const { return consumed_; }
    // Closed and empty. Reads the closing before the count, so a frame
    // committed before the close is never mistaken for the end.
    bool drained() const { return input_closed() && available() == 0; }
    // Why the input ended early ("" when it did not); valid once the ring
    // is closed.
    const char *failure() const { return failure_; }

    // Either side: the fill count as the other side last left it.
    int64_t fill_now() { return fill_.fetch_add(0, std::memory_order_acq_rel); }

    // Byte addresses, for the classic stream's frame kernels, which write
    // with their own wrap: the storage, its end, and each side's position.
    uint8_t *start() { return reinterpret_cast<uint8_t *>(frames_); }
    uint8_t *end() { return start() + capacity_ * frame_bytes(); }
    uint8_t *write_pointer() { return start() + write_at_ * frame_bytes(); }
    uint8_t *read_pointer() { return start() + read_at_ * frame_bytes(); }

    static constexpr size_t kReasonBytes = 256;

  private:
    int16_t *frames_ = nullptr;
    int64_t capacity_ = 0;
    int32_t channels_ = 0;
    int64_t write_at_ = 0;  // the producer's
    int64_t read_at_ = 0;   // the consumer's
    int64_t consumed_ = 0;  // the consumer's
    std::atomic<int64_t> fill_{0};
    std::atomic<bool> closed_{false};
    char failure_[kReasonBytes] = "";
};

}  // namespace zyn
