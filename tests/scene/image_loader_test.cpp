// Pictures as images of the file's own size, and the reports: exact texts,
// one beep each, a wait for a key that stays queued.
#include "image_loader.h"
#include "scene_test_support.h"
#include "screen.h"
#include "text.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace zyn::scene;
using namespace scene_test;

TEST(LoadImage, PictureOfTheFilesSize) {
    ASSERT_TRUE(open_offscreen_screen());
    TempFolder folder;
    write_picture(folder.file("p.bmp"), 9, 4, [](int x, int y) { return uint32_t(x * 16 + y); });
    Player player;
    ImagePtr image = load_image(folder.file("p.bmp"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 9);
    EXPECT_EQ(image->height(), 4);
    EXPECT_EQ(image->row(3)[8], 0xFF000000u | (8 * 16 + 3));
    EXPECT_EQ(player.beeps, 0);
    EXPECT_TRUE(printed_lines().empty());
}

TEST(LoadImage, MissingFilesAreReportedInOrder) {
    ASSERT_TRUE(open_offscreen_screen());
    ZYN_SET_KEYWINDOW(1);
    Player player;
    EXPECT_EQ(load_image("./data/kk.bmp"), nullptr);
    EXPECT_EQ(load_image("./data/sky_264.bmp"), nullptr);
    ASSERT_EQ(printed_lines().size(), 2u);
    EXPECT_EQ(printed_lines()[0], "error: can't open [./data/kk.bmp] !");
    EXPECT_EQ(printed_lines()[1], "error: can't open [./data/sky_264.bmp] !");
    EXPECT_EQ(player.beeps, 2);
    // The keys that ended the waits are still queued for the scene's poll.
    EXPECT_EQ(ZYN_GET_KEYCODE(), ' ');
    EXPECT_EQ(ZYN_GET_KEYCODE(), ' ');
    EXPECT_EQ(ZYN_GET_KEYCODE(), 0);
    // Both lines are on the screen, one below the other from the top-left.
    Image &screen = screen_image();
    auto ink_in_line = [&](int line) {
        int ink = 0;
        for (int y = line * 8; y < line * 8 + 8; ++y)
            for (int x = 0; x < 8 * 36; ++x) ink += screen.row(y)[x] == 0xFFFFFFFFu;
        return ink;
    };
    EXPECT_GT(ink_in_line(0), 50);
    EXPECT_GT(ink_in_line(1), 50);
    EXPECT_EQ(ink_in_line(2), 0);
}

TEST(LoadImage, WithoutAScreen) {
    Player player;
    EXPECT_EQ(load_image("./data/bubble_8.bmp"), nullptr);
    ASSERT_EQ(printed_lines().size(), 1u);
    EXPECT_EQ(printed_lines()[0], "error: no active gfx screen !./data/bubble_8.bmp !");
    EXPECT_EQ(player.beeps, 1);
}

TEST(LoadImage, HeaderSizesDecideTheImage) {
    ASSERT_TRUE(open_offscreen_screen());
    TempFolder folder;
    Player player;
    auto write_bytes = [&](const std::string &name, const std::string &bytes) {
        std::ofstream(folder.file(name), std::ios::binary) << bytes;
        return folder.file(name);
    };
    // 22 bytes or fewer: the height reads 0, no image, no message.
    std::string short_file(22, '\0');
    short_file[18] = 10;
    EXPECT_EQ(load_image(write_bytes("short.bmp", short_file)), nullptr);
    // A width that runs past the end reads the bytes that are there.
    std::string partial(20, '\0');
    partial[18] = 3;
    partial[19] = 0;
    EXPECT_EQ(load_image(write_bytes("partial.bmp", partial)), nullptr);
    // Text with plausible bytes at 18 and 22: an image of that size in the fill colour.
    std::string text = "this is not a picture at all, honestly";
    text[18] = 5, text[19] = 0, text[20] = 0, text[21] = 0;
    text[22] = 2, text[23] = 0, text[24] = 0, text[25] = 0;
    ImagePtr image = load_image(write_bytes("text.bmp", text));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 5);
    EXPECT_EQ(image->height(), 2);
    EXPECT_EQ(image->row(1)[4], 0xFFFF00FFu);
    // Rows stored top-down (negative height): no image.
    BmpSpec s;
    s.width = 3, s.height = 2, s.top_down = true, s.pixels = {1, 2, 3, 4, 5, 6};
    write_file(folder.file("topdown.bmp"), make_bmp(s));
    EXPECT_EQ(load_image(folder.file("topdown.bmp")), nullptr);
    // Garbage sizes far too large for memory: no image, nothing allocated.
    std::string huge(26, '\x7f');
    EXPECT_EQ(load_image(write_bytes("huge.bmp", huge)), nullptr);
    EXPECT_EQ(player.beeps, 0);
    EXPECT_TRUE(printed_lines().empty());
}

TEST(PrintLine, ConsoleWithoutAScreen) {
    testing::internal::CaptureStdout();
    print_line("hello there");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "hello there\n");
}
