// Bubbles: brightness to alpha, the order of random draws at creation and
// update, drift clamps, respawn at the bottom and the restored background.
#include "blit.h"
#include "bubble_field.h"
#include "scene_test_support.h"
#include "screen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>

using namespace zyn::scene;
using namespace scene_test;

namespace {

// Hands out given numbers (then 0.25 for ever) and counts the draws.
struct Numbers {
    std::deque<double> next;
    int drawn = 0;
    std::function<double()> source() {
        return [this] {
            ++drawn;
            if (next.empty()) return 0.25;
            const double r = next.front();
            next.pop_front();
            return r;
        };
    }
};

class BubbleTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(open_offscreen_screen());
        Image &s = screen_image();
        for (int y = 0; y < SCREEN_HEIGHT; ++y)
            for (int x = 0; x < SCREEN_WIDTH; ++x) s.row(y)[x] = background(x, y);
        for (int size : {8, 16, 24})
            write_picture(folder.file("b" + std::to_string(size) + ".bmp"), size, size,
                          [](int x, int) { return x % 2 ? 0xFFFFFFu : 0x040404u; });
    }
    static uint32_t background(int x, int y) { return 0xFF000000u | uint32_t(x * 3 + y * 1000); }
    std::string name(int size) const { return folder.file("b" + std::to_string(size) + ".bmp"); }
    TempFolder folder;
    Player player;
    Numbers numbers;
};

}  // namespace

TEST(AlphaFromBrightness, DarkVanishesBrightShows) {
    ImagePtr image = make_image(5, 1);
    const uint32_t in[5] = {0xFF070707, 0xFF080808, 0xFF646464, 0xFFFFFFFF, 0x12090807};
    for (int x = 0; x < 5; ++x) image->row(0)[x] = in[x];
    alpha_from_brightness(*image);
    EXPECT_EQ(image->row(0)[0], 0x00070707u);  // sum 21
    EXPECT_EQ(image->row(0)[1], 0x08080808u);  // sum 24
    EXPECT_EQ(image->row(0)[2], 0x64646464u);  // sum 300
    EXPECT_EQ(image->row(0)[3], 0xFFFFFFFFu);
    EXPECT_EQ(image->row(0)[4], 0x08090807u);  // sum 24 -> 8, the old alpha ignored
    // Every sum: alpha is the nearest integer to sum / 3 from 24 on.
    for (uint32_t sum = 0; sum <= 765; ++sum) {
        const uint32_t r = std::min(sum, 255u), g = std::min(sum - r, 255u), b = sum - r - g;
        image->row(0)[0] = 0xFF000000u | r << 16 | g << 8 | b;
        alpha_from_brightness(*image);
        const uint32_t want = sum < 24 ? 0 : static_cast<uint32_t>(std::lround(sum / 3.0));
        ASSERT_EQ(image->row(0)[0] >> 24, want) << sum;
    }
}

TEST_F(BubbleTest, CreationDrawsThreeNumbersPerBubble) {
    // Bubble 0: image 0.1*3 = 0.3 -> 0; 1: 0.5*3 = 1.5 -> 2 (half to even);
    // 2: 0.95*3 = 2.85 -> 3, kept at 2; 3: 0.5/3*3 = 0.5 -> 0 (half to even).
    numbers.next = {0.1, 0.5, 0.0, 0.5, 0.25, 0.99, 0.95, 0.0, 0.5, 0.5 / 3, 0.0, 0.0};
    BubbleField field(name(8), name(16), name(24), numbers.source());
    EXPECT_EQ(numbers.drawn, 150);
    EXPECT_EQ(field.image_count(), 3);
    const Bubble &b0 = field.bubble(0);
    EXPECT_EQ(b0.image_index, 0);
    EXPECT_EQ(b0.size, 8);
    EXPECT_FLOAT_EQ(b0.x, static_cast<float>(0.5 * 791));
    EXPECT_FLOAT_EQ(b0.y, 232.0f);
    EXPECT_FLOAT_EQ(b0.rise_speed, 0.5f);
    EXPECT_EQ(field.bubble(1).image_index, 2);
    EXPECT_EQ(field.bubble(1).size, 24);
    EXPECT_FLOAT_EQ(field.bubble(1).y, 216.0f);
    EXPECT_FLOAT_EQ(field.bubble(1).rise_speed, static_cast<float>(0.99 * 2 + 0.5));
    EXPECT_EQ(field.bubble(2).image_index, 2);
    EXPECT_EQ(field.bubble(3).image_index, 0);
    // The save buffer holds the screen under the bubble; prev = current.
    const Bubble &b1 = field.bubble(1);
    ASSERT_NE(b1.save_buffer, nullptr);
    const int left = round_coordinate(b1.x);
    EXPECT_EQ(b1.save_buffer->row(23)[0], background(left, 239));
    EXPECT_EQ(b1.prev_x, b1.x);
    EXPECT_EQ(b1.prev_y, b1.y);
}

TEST_F(BubbleTest, DriftIsClampedAtBothEdges) {
    numbers.next = {0.9};  // bubble 0 shows image 2, 24 wide
    BubbleField field(name(8), name(16), name(24), numbers.source());
    // Find a size-24 bubble and put it near the right edge, another at the left.
    int big = -1;
    for (int i = 0; i < BubbleField::kBubbles && big < 0; ++i)
        if (field.bubble(i).size == 24) big = i;
    ASSERT_GE(big, 0);
    for (int i = 0; i < BubbleField::kBubbles; ++i) field.bubble(i).rise_speed = 0.5f;
    field.bubble(big).x = 776.2f;
    const int other = big == 0 ? 1 : 0;
    field.bubble(other).x = 1.2f;
    numbers.next.clear();
    for (int i = 0; i < BubbleField::kBubbles; ++i) {
        // (x + r1) - r2: zero drift for most, -0.5 for "other".
        numbers.next.push_back(0.3);
        numbers.next.push_back(i == other ? 0.8 : 0.3);
    }
    numbers.drawn = 0;
    field.update();
    EXPECT_EQ(numbers.drawn, 100);
    EXPECT_FLOAT_EQ(field.bubble(big).x, 775.0f);   // 776.2 + 24 >= 800
    EXPECT_FLOAT_EQ(field.bubble(other).x, 1.0f);   // 0.7 < 1
    EXPECT_FLOAT_EQ(field.bubble(big).prev_x, 776.2f);
    EXPECT_EQ(screen_lock_depth(), 0);
}

TEST_F(BubbleTest, LeavingTheTopStartsAgainAtTheBottom) {
    BubbleField field(name(8), "", "", numbers.source());
    for (int i = 0; i < BubbleField::kBubbles; ++i) {
        EXPECT_EQ(field.bubble(i).image_index, 0);  // only one image named
        field.bubble(i).rise_speed = 0.5f;
        field.bubble(i).y = 100.0f;
    }
    Bubble &b = field.bubble(7);
    b.y = 0.3f;
    numbers.next.clear();
    for (int i = 0; i < 7 * 2 + 2; ++i) numbers.next.push_back(0.5);
    numbers.next.push_back(0.25);  // respawn x
    numbers.next.push_back(0.75);  // respawn speed
    numbers.drawn = 0;
    field.update();
    EXPECT_EQ(numbers.drawn, 102);
    EXPECT_FLOAT_EQ(b.y, 471.0f);  // 479 - 8
    EXPECT_FLOAT_EQ(b.x, static_cast<float>(0.25 * 791));
    EXPECT_FLOAT_EQ(b.rise_speed, 2.0f);
    EXPECT_FLOAT_EQ(b.prev_y, 0.3f);
    // Drawn at row 0 this frame; the next update puts row 0 back first.
    const int left = round_coordinate(b.prev_x);
    EXPECT_NE(screen_image().row(0)[left + 1], background(left + 1, 0));
    field.update();
    EXPECT_EQ(screen_image().row(0)[left + 1], background(left + 1, 0));
}

TEST_F(BubbleTest, BubblesAreAlphaPutAndErasedInReverse) {
    BubbleField field(name(24), "", "", numbers.source());
    // Two bubbles on the same spot: after they move away, the true background returns.
    for (int i = 0; i < BubbleField::kBubbles; ++i) {
        field.bubble(i).x = 300.0f;  // prev stays where the save buffer was taken
        field.bubble(i).y = 200.0f;
        field.bubble(i).rise_speed = 30.0f;
    }
    field.update();  // draws all fifty at (300, 200), then moves them up
    const uint32_t white_over = screen_image().row(200)[301];
    EXPECT_NE(white_over, background(301, 200));
    field.update();
    field.update();
    for (int y = 200; y < 224; ++y)
        for (int x = 300; x < 324; ++x) ASSERT_EQ(screen_image().row(y)[x], background(x, y)) << x << "," << y;
    // The dark columns have alpha 0 and leave the background as it was.
    EXPECT_EQ(screen_image().row(140)[300] & 0xFFFFFF, background(300, 140) & 0xFFFFFF);
}

TEST_F(BubbleTest, AFailedImageCountsButIsNeverDrawn) {
    BubbleField field(name(8), folder.file("missing.bmp"), name(24), numbers.source());
    EXPECT_EQ(field.image_count(), 3);
    EXPECT_EQ(field.image(1), nullptr);
    EXPECT_EQ(player.beeps, 1);
    int without = 0;
    for (int i = 0; i < BubbleField::kBubbles; ++i) {
        const Bubble &b = field.bubble(i);
        if (b.image_index != 1) continue;
        ++without;
        EXPECT_EQ(b.size, 0);
        EXPECT_EQ(b.save_buffer, nullptr);
    }
    EXPECT_GT(without, 0);
    field.update();  // nothing drawn for them, no crash
    field.update();
}
