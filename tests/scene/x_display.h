// Talking to the X server the window tests run under (Xvfb): finding the
// scene's window, focusing it, typing keys into it and closing it the way a
// window manager's close button does.
#pragma once

#include <string>
#include <sys/types.h>

namespace scene_test {

// The visible window of the process, 0 when none shows within the time.
unsigned long find_window(pid_t pid, int timeout_ms);
std::string window_name(unsigned long window);
// xdotool key with the window focused: key is an X key name ("Right").
bool type_key(unsigned long window, const std::string &key);
// Whether this process can connect to the X server now, and if not, why.
std::string display_check();
// Sends WM_DELETE_WINDOW, as pressing the close button does.
bool close_window(unsigned long window);

}  // namespace scene_test
