// The scene's screen: one 800 x 480 frame buffer, shown in a window or kept
// offscreen for tests and scripted runs, and the batches that keep the window
// from showing a half-drawn state.
#pragma once

#include "image.h"

#include <cstdint>

namespace zyn::scene {

constexpr int32_t SCREEN_WIDTH = 800;
constexpr int32_t SCREEN_HEIGHT = 480;

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

}  // namespace zyn::scene
