// Cutting sheets into frames, and drawing over a saved background with the
// position of the latest draw shared by every sprite.
#include "scene_test_support.h"
#include "screen.h"
#include "sprite.h"
#include "text.h"

#include <gtest/gtest.h>

using namespace zyn::scene;
using namespace scene_test;

namespace {

// Each pixel names its own position, so a frame tells where it was cut.
uint32_t position_colour(int x, int y) { return 0x100000u + uint32_t(y) * 256 + uint32_t(x); }

class SpriteTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(open_offscreen_screen());
        reset_last_drawn();
        ZYN_SET_KEYWINDOW(1);
    }
    void paint_background() {
        Image &s = screen_image();
        for (int y = 0; y < SCREEN_HEIGHT; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x) s.row(y)[x] = 0xFF000000u | uint32_t(x * 7 + y * 13);
    }
    uint32_t background(int x, int y) const { return 0xFF000000u | uint32_t(x * 7 + y * 13); }
    TempFolder folder;
    Player player;
};

}  // namespace

TEST_F(SpriteTest, FramesAreCutRowByRow) {
    write_picture(folder.file("grid.bmp"), 56, 80, position_colour);
    Sprite sprite;
    ASSERT_EQ(sprite.add_sheet(folder.file("grid.bmp"), 28, 40), 0);
    ASSERT_EQ(sprite.frame_count(0), 4);
    const int corners[4][2] = {{0, 0}, {28, 0}, {0, 40}, {28, 40}};
    paint_background();
    for (int f = 0; f < 4; ++f) {
        sprite.draw(0, f, 100, 100, DRAW_COPY);
        EXPECT_EQ(screen_image().row(100)[100], 0xFF000000u | position_colour(corners[f][0], corners[f][1])) << f;
        EXPECT_EQ(screen_image().row(139)[127],
                  0xFF000000u | position_colour(corners[f][0] + 27, corners[f][1] + 39)) << f;
    }
    EXPECT_EQ(sprite.frame_count(1), 0);
    EXPECT_EQ(sprite.frame_count(-1), 0);
}

TEST_F(SpriteTest, RemaindersAreNotUsedAndSheetsCountUp) {
    write_picture(folder.file("wide.bmp"), 100, 40, position_colour);
    write_picture(folder.file("prop.bmp"), 30, 20, position_colour);
    Sprite sprite;
    EXPECT_EQ(sprite.add_sheet(folder.file("wide.bmp"), 28, 40), 0);
    EXPECT_EQ(sprite.frame_count(0), 3);
    EXPECT_EQ(sprite.add_sheet(folder.file("prop.bmp"), 0, 0), 1);  // the whole image, one frame
    EXPECT_EQ(sprite.frame_count(1), 1);
    EXPECT_EQ(sprite.add_sheet(folder.file("missing.bmp"), 28, 40), -1);
    EXPECT_EQ(sprite.sheet_count(), 2);
    EXPECT_EQ(printed_lines().back(), "error: can't open [" + folder.file("missing.bmp") + "] !");
    paint_background();
    sprite.draw(0, 2, 0, 0, DRAW_COPY);
    EXPECT_EQ(screen_image().row(0)[0], 0xFF000000u | position_colour(56, 0));
    // A 30 x 20 prop still saves only the 28 x 40 area at its corner.
    sprite.draw(1, 0, 200, 300, DRAW_COPY);
    EXPECT_EQ(screen_image().row(319)[229], 0xFF000000u | position_colour(29, 19));
    ASSERT_NE(sprite.save_buffer(), nullptr);
    EXPECT_EQ(sprite.save_buffer()->width(), 28);
    EXPECT_EQ(sprite.save_buffer()->height(), 40);
}

TEST_F(SpriteTest, MovingRestoresTheBackground) {
    write_picture(folder.file("walk.bmp"), 56, 40, [](int, int) { return 0x00FF00u; });
    Sprite walker;
    ASSERT_EQ(walker.add_sheet(folder.file("walk.bmp"), 28, 40), 0);
    paint_background();
    walker.draw(0, 0, 300, 200, DRAW_TRANS);
    EXPECT_EQ(screen_image().row(200)[300], 0x0000FF00u);
    walker.draw(0, 1, 301, 200, DRAW_TRANS);
    EXPECT_EQ(screen_image().row(200)[300], background(300, 200));  // restored
    EXPECT_EQ(screen_image().row(239)[328], 0x0000FF00u);
    EXPECT_EQ(last_drawn().x, 301);
    EXPECT_EQ(screen_lock_depth(), 0);
}

// The restore step uses the latest draw of any sprite: a second sprite's
// first draw saves its own area, and its next draw puts that area back
// where the first sprite was drawn last.
TEST_F(SpriteTest, LastDrawnIsSharedBetweenSprites) {
    write_picture(folder.file("a.bmp"), 28, 40, [](int, int) { return 0x0000FFu; });
    write_picture(folder.file("b.bmp"), 28, 40, [](int, int) { return 0xFF0000u; });
    Sprite a, b;
    a.add_sheet(folder.file("a.bmp"), 0, 0);
    b.add_sheet(folder.file("b.bmp"), 0, 0);
    paint_background();
    a.draw(0, 0, 10, 10, DRAW_TRANS);
    b.draw(0, 0, 500, 300, DRAW_TRANS);  // first draw: restores nothing
    EXPECT_EQ(screen_image().row(10)[10], 0x000000FFu);
    b.draw(0, 0, 600, 300, DRAW_TRANS);  // puts b's saved area back at (500, 300)
    EXPECT_EQ(screen_image().row(300)[500], background(500, 300));
    a.draw(0, 0, 20, 10, DRAW_TRANS);  // puts a's saved area (from (10,10)) back at (600, 300)
    EXPECT_EQ(screen_image().row(300)[600], background(10, 10));
    EXPECT_EQ(last_drawn().x, 20);
    EXPECT_EQ(last_drawn().y, 10);
}

TEST_F(SpriteTest, SaveAreaAtTheRightEdge) {
    write_picture(folder.file("w.bmp"), 28, 40, [](int, int) { return 0x00FF00u; });
    Sprite walker;
    walker.add_sheet(folder.file("w.bmp"), 0, 0);
    paint_background();
    walker.draw(0, 0, 772, 100, DRAW_TRANS);  // saves 772..799
    ASSERT_NE(walker.save_buffer(), nullptr);
    EXPECT_EQ(walker.save_buffer()->row(0)[27], background(799, 100));
    walker.draw(0, 0, 773, 100, DRAW_TRANS);  // the save fails and keeps the area of 772
    EXPECT_EQ(walker.save_buffer()->row(0)[0], background(772, 100));
    EXPECT_EQ(screen_image().row(100)[772], background(772, 100));
}

TEST_F(SpriteTest, BadIndicesAndModes) {
    write_picture(folder.file("w.bmp"), 56, 40, [](int, int) { return 0x00FF00u; });
    Sprite empty;
    empty.draw(0, 0, 5, 5, DRAW_TRANS);
    EXPECT_EQ(player.beeps, 1);
    EXPECT_EQ(last_drawn().x, 0);
    Sprite walker;
    walker.add_sheet(folder.file("w.bmp"), 28, 40);
    paint_background();
    walker.draw(-1, 0, 50, 50, DRAW_TRANS);
    EXPECT_EQ(player.beeps, 2);
    EXPECT_EQ(walker.save_buffer(), nullptr);  // nothing restored or saved
    walker.draw(0, 0, 50, 50, 5);  // unknown mode: saved, nothing drawn, no beep
    EXPECT_EQ(player.beeps, 2);
    EXPECT_EQ(screen_image().row(50)[50], background(50, 50));
    EXPECT_EQ(last_drawn().x, 50);
    walker.draw(0, 2, 60, 50, DRAW_TRANS);  // no frame 2: restored, saved, one beep
    EXPECT_EQ(player.beeps, 3);
    EXPECT_EQ(screen_image().row(50)[60], background(60, 50));
    walker.draw(0, 1, 60, 50, DRAW_BLEND + 255);
    EXPECT_EQ(screen_image().row(50)[60] & 0xFFFFFF, 0x00FF00u);
    walker.draw(0, 1, 70, 50, DRAW_BLEND + 0);  // alpha 0 draws nothing
    EXPECT_EQ(screen_image().row(50)[70], background(70, 50));
}

TEST_F(SpriteTest, SheetWithoutFramesEndsTheProgram) {
    write_picture(folder.file("small.bmp"), 20, 40, [](int, int) { return 0x00FF00u; });
    EXPECT_EXIT(
        {
            Sprite sprite;
            sprite.add_sheet(folder.file("small.bmp"), 28, 40);
        },
        testing::ExitedWithCode(1), "");
    std::string zero(30, '\0');
    zero[0] = 'B', zero[1] = 'M';
    write_file(folder.file("zero.bmp"), std::vector<uint8_t>(zero.begin(), zero.end()));
    EXPECT_EXIT(
        {
            Sprite sprite;
            sprite.add_sheet(folder.file("zero.bmp"), 0, 0);
        },
        testing::ExitedWithCode(1), "");
}
