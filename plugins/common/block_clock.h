// Real-time pacing of blocks against CLOCK_MONOTONIC. Deadlines are computed
// from the block count (never accumulated), so the pace does not drift however
// long the output runs.
#pragma once

#include <atomic>
#include <cstdint>

namespace zyn::plugout {

class BlockClock {
  public:
    // Block 0 is due now. lead: how many blocks the caller may run ahead of
    // real time (a device's queue); also how far it may fall behind before the
    // clock gives up catching up and starts afresh, as a device would after an
    // underrun.
    void start(int32_t frames, int32_t rate, int32_t lead);

    // Waits until the next block may be produced and counts it. False when
    // stop became non-zero while waiting (the stop is noticed within 20 ms).
    bool pace(const std::atomic<int> &stop);

    // The device itself is pacing: the next block is due now.
    void resync();

    // pace() in two halves, for a loop that waits on something else too:
    // when the next block may be produced, and counting it once it was.
    int64_t next_due_ns() const;
    void count_block();

  private:
    int64_t span_ns(int64_t blocks) const;
    int64_t due_ns(int64_t block) const;

    int64_t anchor_ns_ = 0;
    int64_t block_ = 0;
    int32_t frames_ = 1;
    int32_t rate_ = 1;
    int32_t lead_ = 0;
};

// Monotonic time in nanoseconds.
int64_t monotonic_ns();

// Sleeps until the monotonic deadline in slices, so that a stop request is
// seen promptly. False when stop became non-zero first.
bool sleep_until(int64_t deadline_ns, const std::atomic<int> &stop);

}  // namespace zyn::plugout
