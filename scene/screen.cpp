#include "screen.h"

#include "window.h"
#include "zyn.h"

namespace zyn::scene {
namespace {

struct ScreenState {
    ImagePtr frame;
    int32_t lock_depth = 0;
    bool changed = false;
};

ScreenState &state() {
    static ScreenState s;
    return s;
}

bool make_frame(int32_t width, int32_t height) {
    ScreenState &s = state();
    if (s.frame) return true;
    s.frame = make_image(width, height);
    if (!s.frame) return false;
    s.frame->fill(0xFF000000);
    s.changed = true;
    return true;
}

}  // namespace

bool open_screen(int32_t width, int32_t height, int32_t depth, int32_t pages, int32_t flags,
                 int32_t refresh_rate) {
    // One 32-bit page is all there is; full screen is never entered (flag 4).
    (void)depth, (void)pages, (void)flags, (void)refresh_rate;
    if (state().frame) return true;
    if (!window_open(width, height, program_title())) return false;
    if (!make_frame(width, height)) {
        window_close();
        return false;
    }
    ZYN_SET_KEYWINDOW(1);
    pump_screen();
    return true;
}

bool open_offscreen_screen() { return make_frame(SCREEN_WIDTH, SCREEN_HEIGHT); }

bool screen_is_open() { return state().frame != nullptr; }
bool screen_has_window() { return window_is_open(); }
Image &screen_image() { return *state().frame; }

void lock_screen() { ++state().lock_depth; }

void unlock_screen() {
    ScreenState &s = state();
    if (s.lock_depth > 0) --s.lock_depth;
    s.changed = true;
}

int32_t screen_lock_depth() { return state().lock_depth; }

void mark_screen_changed() { state().changed = true; }

void pump_screen() {
    ScreenState &s = state();
    if (!window_is_open()) return;
    if (s.changed && s.lock_depth == 0 && s.frame) {
        window_present(*s.frame);
        s.changed = false;
    }
    window_pump();
}

void close_screen() {
    platform_shutdown();
    state().frame.reset();
    state().lock_depth = 0;
}

}  // namespace zyn::scene
