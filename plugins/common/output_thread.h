// The thread a plug-in runs its block loop on. Plain data only, so it can sit
// in a global of a library that the engine finalises and unloads.
#pragma once

#include "error_text.h"

#include <atomic>
#include <pthread.h>
#include <sys/types.h>

namespace zyn::plugout {

class OutputThread {
  public:
    // Starts body(argument) unless the thread already runs; signals are
    // blocked on it so that they keep going to the application's threads.
    bool start(void *(*body)(void *), void *argument, ErrorText &error);
    // Asks the loop to end (it polls stop_flag()); the caller may then wake
    // whatever the loop blocks on before join().
    void request_stop() { stop_.store(1, std::memory_order_release); }
    void join();
    // Both; safe when not started.
    void stop_and_join() {
        request_stop();
        join();
    }
    bool running() const { return started_; }
    const std::atomic<int> &stop_flag() const { return stop_; }
    bool stopping() const { return stop_.load(std::memory_order_acquire) != 0; }
    // The running thread's kernel id, once it has begun (at most about a
    // second after start); 0 when it is not running.
    pid_t kernel_id() const;

  private:
    static void *launch(void *self);

    pthread_t thread_{};
    bool started_ = false;
    std::atomic<int> stop_{0};
    std::atomic<pid_t> tid_{0};
    void *(*body_)(void *) = nullptr;
    void *argument_ = nullptr;
};

}  // namespace zyn::plugout
