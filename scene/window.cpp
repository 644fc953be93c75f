#include "window.h"

#include "keys.h"
#include "trace.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstring>
#include <unistd.h>

namespace zyn::scene {
namespace {

struct Window {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_Texture *texture = nullptr;
};

Window &win() {
    static Window w;
    return w;
}

constexpr int32_t kExtended = 256;

// PC scan codes of the extended keys a program may ask for.
int32_t extended_code(SDL_Scancode scancode) {
    switch (scancode) {
        case SDL_SCANCODE_UP: return 72;
        case SDL_SCANCODE_DOWN: return 80;
        case SDL_SCANCODE_LEFT: return 75;
        case SDL_SCANCODE_RIGHT: return 77;
        case SDL_SCANCODE_HOME: return 71;
        case SDL_SCANCODE_END: return 79;
        case SDL_SCANCODE_PAGEUP: return 73;
        case SDL_SCANCODE_PAGEDOWN: return 81;
        case SDL_SCANCODE_INSERT: return 82;
        case SDL_SCANCODE_DELETE: return 83;
        case SDL_SCANCODE_F11: return 133;
        case SDL_SCANCODE_F12: return 134;
        default: break;
    }
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F10)
        return 59 + (scancode - SDL_SCANCODE_F1);
    return 0;
}

// Keys that give a character without text input.
int32_t control_code(SDL_Keycode key) {
    switch (key) {
        case SDLK_ESCAPE: return 27;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return 13;
        case SDLK_BACKSPACE: return 8;
        case SDLK_TAB: return 9;
        default: return 0;
    }
}

void handle(const SDL_Event &event) {
    switch (event.type) {
        case SDL_KEYDOWN: {
            // Held keys repeat as further presses.
            if (int32_t code = control_code(event.key.keysym.sym)) {
                push_key(code);
            } else if (int32_t scan = extended_code(event.key.keysym.scancode)) {
                push_key(kExtended + scan);
            }
            break;
        }
        case SDL_TEXTINPUT:
            for (const char *c = event.text.text; *c != '\0'; ++c) {
                const auto byte = static_cast<unsigned char>(*c);
                if (byte >= 32 && byte < 127) push_key(byte);
            }
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) push_key(KEY_CLOSE);
            break;
        default:
            break;  // SDL_QUIT follows a close request; closing only queues its key
    }
}

// A scripted run names its X window, so what drives it finds the window
// without searching the server's tree for a process id.
void trace_window_id(SDL_Window *window) {
    std::FILE *trace = trace_stream();
    if (trace == nullptr) return;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
#if defined(SDL_VIDEO_DRIVER_X11)
    if (SDL_GetWindowWMInfo(window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11) {
        std::fprintf(trace, "window %lu\n", static_cast<unsigned long>(info.info.x11.window));
        std::fflush(trace);
    }
#else
    (void)window;
#endif
}

}  // namespace

std::string program_title() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    std::string name = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string("zyn-scene");
    if (size_t slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

bool window_open(int32_t width, int32_t height, const std::string &title) {
    Window &w = win();
    if (w.window != nullptr) return true;
    // Ctrl+C must end the program as usual, not become a close request.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // No SDL_WINDOW_RESIZABLE: the window has no maximise button and keeps its size.
    w.window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width,
                                height, SDL_WINDOW_SHOWN);
    if (w.window != nullptr) {
        w.renderer = SDL_CreateRenderer(w.window, -1, 0);
        if (w.renderer == nullptr) w.renderer = SDL_CreateRenderer(w.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (w.renderer != nullptr)
        w.texture = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                      width, height);
    if (w.texture == nullptr) {
        window_close();
        return false;
    }
    trace_window_id(w.window);
    return true;
}

bool window_is_open() { return win().texture != nullptr; }

void window_present(const Image &frame) {
    Window &w = win();
    if (w.texture == nullptr) return;
    void *pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(w.texture, nullptr, &pixels, &pitch) != 0) return;
    const size_t row_bytes = sizeof(uint32_t) * static_cast<size_t>(frame.width());
    auto *out = static_cast<unsigned char *>(pixels);
    for (int32_t y = 0; y < frame.height(); ++y)
        std::memcpy(out + static_cast<size_t>(y) * static_cast<size_t>(pitch), frame.row(y), row_bytes);
    SDL_UnlockTexture(w.texture);
    SDL_RenderCopy(w.renderer, w.texture, nullptr, nullptr);
    SDL_RenderPresent(w.renderer);
}

void window_pump() {
    if (win().window == nullptr) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) handle(event);
}

void window_close() {
    Window &w = win();
    if (w.texture != nullptr) SDL_DestroyTexture(w.texture);
    if (w.renderer != nullptr) SDL_DestroyRenderer(w.renderer);
    if (w.window != nullptr) SDL_DestroyWindow(w.window);
    if (w.window != nullptr) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    w = Window{};
}

void platform_shutdown() {
    window_close();
    SDL_Quit();
}

}  // namespace zyn::scene
