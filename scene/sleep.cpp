#include "sleep.h"

#include "screen.h"

#include <chrono>
#include <thread>

namespace zyn::scene {
namespace {

using Clock = std::chrono::steady_clock;

// Sleeps until the deadline, presenting and serving the window meanwhile.
void wait_until(Clock::time_point deadline) {
    for (;;) {
        pump_screen();
        const auto now = Clock::now();
        if (now >= deadline) return;
        const auto rest = deadline - now;
        const auto slice = std::chrono::milliseconds(5);
        std::this_thread::sleep_for(screen_has_window() && rest > slice ? slice : rest);
    }
}

}  // namespace

void sleep_ms(int32_t milliseconds) {
    wait_until(Clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0));
}

}  // namespace zyn::scene
