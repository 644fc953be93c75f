// The SDL2 window that shows the frame buffer and feeds the key queue.
#pragma once

#include "image.h"

#include <string>

namespace zyn::scene {

bool window_open(int32_t width, int32_t height, const std::string &title);
bool window_is_open();
// Shows the frame: the only place that hands pixels to SDL.
void window_present(const Image &frame);
// Handles pending events; every key press or repeat is queued (push_key).
void window_pump();
void window_close();
// Closes the window and ends every SDL service (audio of the beep included).
void platform_shutdown();

// The program file's name without folder and extension.
std::string program_title();

}  // namespace zyn::scene
