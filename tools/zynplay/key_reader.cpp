#include "key_reader.h"

#include "zyn.h"

#include <chrono>

namespace zynplay {

namespace {

// Far more than anyone types between two looks by the player; a stalled
// player does not make the list grow without bound.
constexpr size_t kMostKeys = 256;

}  // namespace

bool is_quit_key(int32_t key) { return key == 'q' || key == 'Q' || key == 27; }

void KeyReader::start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void KeyReader::stop() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::vector<int32_t> KeyReader::take() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<int32_t> taken(keys_.begin(), keys_.end());
    keys_.clear();
    return taken;
}

void KeyReader::run() {
    std::unique_lock<std::mutex> hold(lock_);
    while (!stopping_) {
        hold.unlock();
        std::vector<int32_t> read;
        for (int32_t key = ZYN_GET_KEYCODE(); key != 0; key = ZYN_GET_KEYCODE()) read.push_back(key);
        hold.lock();
        for (int32_t key : read) {
            if (is_quit_key(key)) quit_.store(true);
            if (keys_.size() == kMostKeys) keys_.pop_front();
            keys_.push_back(key);
        }
        // Often enough that the engine's queue never fills from typing.
        wake_.wait_for(hold, std::chrono::milliseconds(10), [this] { return stopping_; });
    }
}

}  // namespace zynplay
