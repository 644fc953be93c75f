// The keys pressed while zynplay runs in a terminal. A thread of its own
// reads them through the engine from the start, so keys pressed while the
// device or a file is being opened wait in order for the player (the
// engine's own queue keeps only the last 15 between two reads).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace zynplay {

// q, Q and Escape end the run.
bool is_quit_key(int32_t key);

class KeyReader {
  public:
    KeyReader() = default;
    ~KeyReader() { stop(); }
    KeyReader(const KeyReader &) = delete;
    KeyReader &operator=(const KeyReader &) = delete;

    // Starts reading; the engine switches the terminal to raw input then.
    void start();
    void stop();
    // The keys read since the last call, oldest first.
    std::vector<int32_t> take();
    // True once a quit key was read, whether taken or not.
    bool quit_pressed() const { return quit_.load(); }

  private:
    void run();

    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::deque<int32_t> keys_;
    std::atomic<bool> quit_{false};
};

}  // namespace zynplay
