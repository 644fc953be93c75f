// Keys. The key queue itself lives in the engine; the scene keeps only the
// key-pressed mark that wait_key and the key poll read and clear.
#pragma once

#include <cstdint>

namespace zyn::scene {

constexpr int32_t KEY_ESCAPE = 27;
constexpr int32_t KEY_LEFT = 331;   // 256 + scan code 75
constexpr int32_t KEY_RIGHT = 333;  // 256 + scan code 77
constexpr int32_t KEY_CLOSE = 363;  // 256 + 'k': the window's close button

// Blocks until a key has been pressed since the last wait or key poll.
void wait_key();
// The scene's key poll: ZYN_GET_KEYCODE, clearing the key-pressed mark.
int32_t poll_key();
// Queues a key code as the window does (sets the key-pressed mark).
void push_key(int32_t code);

// Test seam: the key-pressed mark, unchanged by the look.
bool key_pressed_mark();

}  // namespace zyn::scene
