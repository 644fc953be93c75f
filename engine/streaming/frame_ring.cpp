#include "frame_ring.h"

#include <cstdlib>
#include <cstring>

namespace zyn {

FrameRing::~FrameRing() { std::free(frames_); }

bool FrameRing::allocate(int64_t frames, int32_t channels) {
    if (frames < 1 || channels < 1) return false;
    void *block = std::calloc(static_cast<size_t>(frames) * static_cast<size_t>(channels), sizeof(int16_t));
    if (block == nullptr) return false;
    std::free(frames_);
    frames_ = static_cast<int16_t *>(block);
    capacity_ = frames;
    channels_ = channels;
    reset();
    return true;
}

void FrameRing::reset() {
    write_at_ = read_at_ = consumed_ = 0;
    fill_.store(0, std::memory_order_release);
    failure_[0] = '\0';
    closed_.store(false, std::memory_order_release);
}

int16_t *FrameRing::write_span(int64_t *frames) {
    const int64_t free = room();
    *frames = free < capacity_ - write_at_ ? free : capacity_ - write_at_;
    return frames_ + write_at_ * channels_;
}

void FrameRing::commit(int64_t frames) {
    write_at_ = (write_at_ + frames) % capacity_;
    fill_.fetch_add(frames, std::memory_order_release);
}

void FrameRing::close_input(const char *failure) {
    if (failure != nullptr && failure[0] != '\0') {
        std::strncpy(failure_, failure, kReasonBytes - 1);
        failure_[kReasonBytes - 1] = '\0';
    }
    closed_.store(true, std::memory_order_release);
}

const int16_t *FrameRing::read_span(int64_t *frames) const {
    const int64_t have = available();
    *frames = have < capacity_ - read_at_ ? have : capacity_ - read_at_;
    return frames_ + read_at_ * channels_;
}

void FrameRing::release(int64_t frames) {
    consumed_ += frames;
    fill_.fetch_sub(frames, std::memory_order_acq_rel);
}

void FrameRing::advance(int64_t frames) { read_at_ = (read_at_ + frames) % capacity_; }

void FrameRing::consume(int64_t frames) {
    advance(frames);
    release(frames);
}

}  // namespace zyn
