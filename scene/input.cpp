// Waiting and keys. The key queue itself lives in the engine; the scene keeps
// only the key-pressed mark that wait_key and the key poll read and clear.
#include "screen.h"

#include "zyn.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace zyn::scene {
namespace {

std::atomic<bool> g_key_mark{false};

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

void push_key(int32_t code) {
    char text[2];
    int32_t bytes = 1;
    if (code >= 256) {
        text[0] = static_cast<char>(255);
        text[1] = static_cast<char>(code - 256);
        bytes = 2;
    } else {
        text[0] = static_cast<char>(code);
    }
    ZYN_PUSH_KEYTEXT(text, bytes);
    g_key_mark = true;
}

bool key_pressed_mark() { return g_key_mark; }

void sleep_ms(int32_t milliseconds) {
    wait_until(Clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0));
}

void wait_key() {
    for (;;) {
        pump_screen();
        if (g_key_mark.exchange(false)) return;
        sleep_ms(50);
    }
}

int32_t poll_key() {
    g_key_mark = false;
    return ZYN_GET_KEYCODE();
}

}  // namespace zyn::scene
