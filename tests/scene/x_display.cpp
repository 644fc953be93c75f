#include "x_display.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace scene_test {
namespace {

std::string command_output(const std::string &command) {
    std::string out;
    if (std::FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) out += buffer;
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

}  // namespace

unsigned long find_window(pid_t pid, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
        const std::string ids =
            command_output("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null");
        if (!ids.empty()) return std::strtoul(ids.c_str(), nullptr, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}

std::string window_name(unsigned long window) {
    return command_output("xdotool getwindowname " + std::to_string(window));
}

bool type_key(unsigned long window, const std::string &key) {
    const std::string id = std::to_string(window);
    return std::system(("xdotool windowfocus --sync " + id + " key " + key + " >/dev/null 2>&1").c_str()) == 0;
}

std::string display_check() {
    const char *name = std::getenv("DISPLAY");
    const std::string shown = name != nullptr ? name : "(DISPLAY unset)";
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) return "the test cannot open " + shown + " either";
    XCloseDisplay(display);
    return "the test opens " + shown;
}

bool close_window(unsigned long window) {
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return sent != 0;
}

}  // namespace scene_test
