#include "keys.h"

#include "screen.h"
#include "sleep.h"
#include "zyn.h"

#include <atomic>

namespace zyn::scene {
namespace {

std::atomic<bool> g_key_mark{false};

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
