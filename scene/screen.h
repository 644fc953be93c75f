// The scene's drawing and input services: one 800 x 480 screen (a frame
// buffer shown in a window, or kept offscreen for tests and scripted runs),
// screen batches, text output, beep, waiting, keys, random numbers, exit.
#pragma once

#include "image.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zyn::scene {

constexpr int32_t SCREEN_WIDTH = 800;
constexpr int32_t SCREEN_HEIGHT = 480;

constexpr int32_t KEY_ESCAPE = 27;
constexpr int32_t KEY_LEFT = 331;   // 256 + scan code 75
constexpr int32_t KEY_RIGHT = 333;  // 256 + scan code 77
constexpr int32_t KEY_CLOSE = 363;  // 256 + 'k': the window's close button

// Opens the screen with a window (flags 4: no full screen, no maximise).
// The frame buffer starts black. False when the window cannot be made.
bool open_screen(int32_t width, int32_t height, int32_t depth, int32_t pages, int32_t flags,
                 int32_t refresh_rate);
// The same screen without a window: drawing, text and keys work unchanged.
bool open_offscreen_screen();
bool screen_is_open();
// Closes the window and releases the frame buffer (end_program does this).
void close_screen();
bool screen_has_window();
Image &screen_image();  // only while the screen is open

// Batches nest; the window never shows a state from inside one.
void lock_screen();
void unlock_screen();
int32_t screen_lock_depth();
// Drawing outside a batch (set-up, text) asks for the next presentation here.
void mark_screen_changed();
// Shows the frame buffer when it changed and no batch is open, then handles
// window events. Called wherever the scene waits.
void pump_screen();

// One line of text (8 x 8 cells, 100 x 60) from the top-left text position,
// or on stdout without a screen.
void print_line(const std::string &text);
const std::vector<std::string> &printed_lines();  // every line printed so far

// 1000 Hz for 250 ms; the caller waits.
void beep();
void sleep_ms(int32_t milliseconds);
// Blocks until a key has been pressed since the last wait or key poll.
void wait_key();
// The scene's key poll: ZYN_GET_KEYCODE, clearing the key-pressed mark.
int32_t poll_key();
// Queues a key code as the window does (sets the key-pressed mark).
void push_key(int32_t code);

// Uniform on [0, 1), the same sequence every run.
double random_unit();

// Runs the exit hooks, closes the window and ends the process.
[[noreturn]] void end_program(int32_t code);
void add_exit_hook(std::function<void()> hook);

// Scripted runs: beeps and printed lines are also logged to this stream
// ("beep", "message: TEXT"); null (the default) logs nothing.
void set_trace_stream(std::FILE *stream);
std::FILE *trace_stream();

// Test seams: a beep replaced by a call (no sound, no wait), and a look at
// the key-pressed mark.
void set_beep_hook(std::function<void()> hook);
bool key_pressed_mark();

}  // namespace zyn::scene
