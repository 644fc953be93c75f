// The real window under Xvfb: its title, and keys typed into it (and its
// close button) arriving through the engine's key queue. Run by CTest
// under xvfb-run.
#include "keys.h"
#include "screen.h"
#include "sleep.h"
#include "x_display.h"
#include "zyn.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace zyn::scene;

namespace {

// Serves the window until a key code arrives (0 after about five seconds).
int32_t next_code() {
    for (int i = 0; i < 250; ++i) {
        sleep_ms(20);
        if (int32_t code = ZYN_GET_KEYCODE()) return code;
    }
    return 0;
}

}  // namespace

TEST(WindowKeys, KeysAndTheCloseButtonBecomeCodes) {
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    ASSERT_TRUE(open_screen(SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0, 4, 0));
    ASSERT_TRUE(screen_has_window());
    const unsigned long window = scene_test::find_window(getpid(), 10000);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(scene_test::window_name(window), "scene_window_tests");

    EXPECT_FALSE(key_pressed_mark());
    ASSERT_TRUE(scene_test::type_key(window, "Right"));
    EXPECT_EQ(next_code(), KEY_RIGHT);
    ASSERT_TRUE(scene_test::type_key(window, "Left"));
    EXPECT_EQ(next_code(), KEY_LEFT);
    ASSERT_TRUE(scene_test::type_key(window, "Escape"));
    EXPECT_EQ(next_code(), KEY_ESCAPE);
    ASSERT_TRUE(scene_test::type_key(window, "a"));
    EXPECT_EQ(next_code(), 'a');

    // A key typed during wait_key ends it and stays queued.
    ASSERT_TRUE(scene_test::type_key(window, "Right"));
    wait_key();
    EXPECT_EQ(ZYN_GET_KEYCODE(), KEY_RIGHT);

    // Closing only queues its code: the window and the program stay.
    ASSERT_TRUE(scene_test::close_window(window));
    EXPECT_EQ(next_code(), KEY_CLOSE);
    EXPECT_TRUE(screen_has_window());
    close_screen();
    EXPECT_FALSE(screen_is_open());
}
