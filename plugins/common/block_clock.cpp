#include "block_clock.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace zyn::plugout {

namespace {
constexpr int64_t kSecond = 1000000000;
constexpr int64_t kStopSlice = 20000000;
}  // namespace

int64_t monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * kSecond + now.tv_nsec;
}

bool sleep_until(int64_t deadline_ns, const std::atomic<int> &stop) {
    for (;;) {
        if (stop.load(std::memory_order_acquire) != 0) return false;
        const int64_t now = monotonic_ns();
        if (now >= deadline_ns) return true;
        const int64_t target = std::min(deadline_ns, now + kStopSlice);
        timespec until{static_cast<time_t>(target / kSecond), static_cast<long>(target % kSecond)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
}

void BlockClock::start(int32_t frames, int32_t rate, int32_t lead) {
    frames_ = frames > 0 ? frames : 1;
    rate_ = rate > 0 ? rate : 1;
    lead_ = lead > 0 ? lead : 0;
    block_ = 0;
    anchor_ns_ = monotonic_ns();
}

int64_t BlockClock::span_ns(int64_t blocks) const {
    // Whole seconds and the remainder apart: exact, and no overflow for years.
    const int64_t frames = blocks * frames_;
    return (frames / rate_) * kSecond + (frames % rate_) * kSecond / rate_;
}

int64_t BlockClock::due_ns(int64_t block) const { return anchor_ns_ + span_ns(block); }

bool BlockClock::pace(const std::atomic<int> &stop) {
    if (!sleep_until(next_due_ns(), stop)) return false;
    count_block();
    return true;
}

int64_t BlockClock::next_due_ns() const {
    return block_ >= lead_ ? due_ns(block_ - lead_) : anchor_ns_;
}

void BlockClock::count_block() {
    // Far behind (the process was stopped, or a fill took far too long):
    // start afresh instead of rushing out a burst of blocks.
    if (monotonic_ns() - due_ns(block_) > span_ns(std::max(lead_, 2))) resync();
    ++block_;
}

void BlockClock::resync() { anchor_ns_ = monotonic_ns() - span_ns(block_); }

}  // namespace zyn::plugout
