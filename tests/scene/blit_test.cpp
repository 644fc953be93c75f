// Pixel arithmetic of every put mode, grabs, coordinate rounding and lines,
// all on the frame buffer without a window.
#include "blit.h"
#include "screen.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zyn::scene;

namespace {

ImagePtr solid(int32_t w, int32_t h, uint32_t colour) {
    ImagePtr image = make_image(w, h);
    image->fill(colour);
    return image;
}

uint32_t put_one(uint32_t s, uint32_t d, PutMode mode, int32_t alpha = 255) {
    ImagePtr target = solid(1, 1, d);
    ImagePtr source = solid(1, 1, s);
    put(*target, 0, 0, source.get(), mode, alpha);
    return target->row(0)[0];
}

// Independent of the shift the code uses: a real floor of a real quotient.
int reference_channel(int s, int d, int weight) {
    return d + static_cast<int>(std::floor((s - d) * static_cast<double>(weight) / 256.0));
}

}  // namespace

TEST(PutModes, WorkedExamples) {
    EXPECT_EQ(put_one(0x80FFFFFF, 0xFF000000, PUT_ALPHA) & 0xFFFFFF, 0x7F7F7Fu);
    EXPECT_EQ(put_one(0x80000000, 0xFFFFFFFF, PUT_ALPHA) & 0xFFFFFF, 0x7F7F7Fu);
    EXPECT_EQ(put_one(0x00123456, 0xFF654321, PUT_ALPHA) & 0xFFFFFF, 0x654321u);  // a = 0: unchanged
    EXPECT_EQ(put_one(0xFFFFFFFF, 0xFF000000, PUT_ALPHA) & 0xFFFFFF, 0xFEFEFEu);  // a = 255 falls short
    EXPECT_EQ(put_one(0x12345678, 0xFFABCDEF, PUT_COPY), 0x12345678u);
    EXPECT_EQ(put_one(0x12345678, 0xFFABCDEF, PUT_TRANS), 0x00345678u);
    EXPECT_EQ(put_one(0x40FFFFFF, 0xFF000000, PUT_BLEND, 255) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(put_one(0xFFFFFFFF, 0xFF000000, PUT_BLEND, 127) & 0xFFFFFF, 0x7F7F7Fu);
    EXPECT_EQ(put_one(0xFFFFFFFF, 0xFF102030, PUT_BLEND, 0), 0xFF102030u);  // alpha 0 draws nothing
}

TEST(PutModes, MaskColourIsRecognisedByRgbOnly) {
    for (uint32_t alpha : {0x00u, 0x7Fu, 0xFFu}) {
        const uint32_t magenta = alpha << 24 | 0xFF00FF;
        EXPECT_EQ(put_one(magenta, 0xFF010203, PUT_TRANS), 0xFF010203u);
        EXPECT_EQ(put_one(magenta, 0xFF010203, PUT_BLEND, 200), 0xFF010203u);
        // PUT_ALPHA and PUT_COPY skip nothing.
        EXPECT_EQ(put_one(magenta, 0xFF010203, PUT_COPY), magenta);
    }
    EXPECT_EQ(put_one(0xFFFF00FE, 0xFF010203, PUT_TRANS), 0x00FF00FEu);
    EXPECT_NE(put_one(0xFFFF00FF, 0xFF000000, PUT_ALPHA), 0xFF000000u);
}

// Every source/destination pair of every channel, for every weight, against
// the floor computed independently. Source columns and destination rows each
// cover 0..255 in each channel (through different permutations per channel).
TEST(PutModes, ChannelFloorsOverAllPairs) {
    ImagePtr source = make_image(256, 256);
    ImagePtr base = make_image(256, 256);
    auto src_channels = [](int x) { return std::array<int, 3>{x, 255 - x, x ^ 0x5A}; };  // b, g, r
    auto dst_channels = [](int y) { return std::array<int, 3>{y, y ^ 0xA5, 255 - y}; };
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const auto s = src_channels(x);
            const auto d = dst_channels(y);
            source->row(y)[x] = uint32_t(s[2]) << 16 | uint32_t(s[1]) << 8 | uint32_t(s[0]);
            base->row(y)[x] = 0xFF000000u | uint32_t(d[2]) << 16 | uint32_t(d[1]) << 8 | uint32_t(d[0]);
        }
    }
    ImagePtr target = make_image(256, 256);
    int failures = 0;
    for (int a = 0; a < 256 && failures < 10; ++a) {
        // PUT_ALPHA takes the image pixel's own alpha; PUT_BLEND alpha a weighs a + 1.
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) source->row(y)[x] = (source->row(y)[x] & 0xFFFFFF) | uint32_t(a) << 24;
        for (PutMode mode : {PUT_ALPHA, PUT_BLEND}) {
            grab(*base, 0, 0, 256, 256, target.get());
            put(*target, 0, 0, source.get(), mode, a);
            const int weight = mode == PUT_ALPHA ? a : a + 1;
            for (int y = 0; y < 256; ++y) {
                for (int x = 0; x < 256; ++x) {
                    const auto s = src_channels(x);
                    const auto d = dst_channels(y);
                    const uint32_t got = target->row(y)[x];
                    for (int c = 0; c < 3; ++c) {
                        const int expected = (mode == PUT_BLEND && a == 0) ? d[c] : reference_channel(s[c], d[c], weight);
                        const int actual = static_cast<int>((got >> (8 * c)) & 0xFF);
                        if (actual != expected && ++failures < 10)
                            ADD_FAILURE() << "mode " << mode << " a " << a << " s " << s[c] << " d " << d[c]
                                          << " got " << actual << " want " << expected;
                    }
                }
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(PutModes, ClippedAtEveryEdge) {
    ImagePtr screen = solid(SCREEN_WIDTH, SCREEN_HEIGHT, 0xFF000000);
    ImagePtr image = solid(24, 24, 0xFF112233);
    put(*screen, 799, 10, image.get(), PUT_COPY);
    EXPECT_EQ(screen->row(10)[799], 0xFF112233u);
    EXPECT_EQ(screen->row(10)[798], 0xFF000000u);
    put(*screen, -23, -23, image.get(), PUT_COPY);
    EXPECT_EQ(screen->row(0)[0], 0xFF112233u);
    EXPECT_EQ(screen->row(1)[0], 0xFF000000u);
    EXPECT_EQ(screen->row(0)[1], 0xFF000000u);
    put(*screen, 10, 479, image.get(), PUT_COPY);
    EXPECT_EQ(screen->row(479)[33], 0xFF112233u);
    put(*screen, -24, 100, image.get(), PUT_COPY);  // wholly off: nothing, no crash
    put(*screen, 1e12, -1e12, image.get(), PUT_COPY);
    put(*screen, NAN, 0, image.get(), PUT_COPY);
    put(*screen, 5, 5, nullptr, PUT_COPY);
    EXPECT_EQ(screen->row(100)[0], 0xFF000000u);
    EXPECT_EQ(screen->row(5)[5], 0xFF000000u);
}

TEST(Coordinates, HalvesRoundAwayFromZero) {
    EXPECT_EQ(round_coordinate(10.5), 11);
    EXPECT_EQ(round_coordinate(-0.5), -1);
    EXPECT_EQ(round_coordinate(2.5), 3);
    EXPECT_EQ(round_coordinate(-2.5), -3);
    EXPECT_EQ(round_coordinate(2.4999), 2);
    ImagePtr screen = solid(20, 20, 0);
    set_pixel(screen.get(), 10.5, 3.5, 0xABCDEF01);
    EXPECT_EQ(screen->row(4)[11], 0xABCDEF01u);
    EXPECT_EQ(get_pixel(screen.get(), 10.6, 4.4), 0xABCDEF01u);
    set_pixel(screen.get(), -0.5, 0, 0x1);  // lands on -1: off the image
    EXPECT_EQ(screen->row(0)[0], 0u);
    ImagePtr dot = solid(1, 1, 0xFF00FF00);
    put(*screen, -0.5, 0, dot.get(), PUT_COPY);
    EXPECT_EQ(screen->row(0)[0], 0u);
    put(*screen, 0.5, 0, dot.get(), PUT_COPY);
    EXPECT_EQ(screen->row(0)[1], 0xFF00FF00u);
}

TEST(Grab, WholeAreaOrNothing) {
    ImagePtr screen = make_image(SCREEN_WIDTH, SCREEN_HEIGHT);
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) screen->row(y)[x] = uint32_t(y) << 16 | uint32_t(x);
    ImagePtr target = solid(24, 24, 0xDEADBEEF);
    EXPECT_FALSE(grab(*screen, 790, 10, 24, 24, target.get()));
    EXPECT_EQ(target->row(0)[0], 0xDEADBEEFu);
    EXPECT_TRUE(grab(*screen, 776, 10, 24, 24, target.get()));
    EXPECT_EQ(target->row(0)[0], (10u << 16) | 776u);
    EXPECT_EQ(target->row(23)[23], (33u << 16) | 799u);
    EXPECT_FALSE(grab(*screen, -1, 0, 24, 24, target.get()));
    EXPECT_FALSE(grab(*screen, 0, 457, 24, 24, target.get()));
    EXPECT_TRUE(grab(*screen, 0, 456, 24, 24, target.get()));
    // A target of another size takes the grabbed size; a failed grab keeps it.
    ImagePtr other = solid(3, 5, 0);
    EXPECT_TRUE(grab(*screen, 1, 2, 7, 4, other.get()));
    EXPECT_EQ(other->width(), 7);
    EXPECT_EQ(other->height(), 4);
    EXPECT_EQ(other->row(3)[6], (5u << 16) | 7u);
    EXPECT_FALSE(grab(*screen, 795, 0, 8, 8, other.get()));
    EXPECT_EQ(other->width(), 7);
}

TEST(Lines, BothEndsIncludedAndClipped) {
    ImagePtr screen = solid(SCREEN_WIDTH, SCREEN_HEIGHT, 0);
    draw_line(*screen, 10, 20, 10 + 5, 20 + 0, 0xFF0000FF);
    for (int x = 10; x <= 15; ++x) EXPECT_EQ(screen->row(20)[x], 0xFF0000FFu) << x;
    EXPECT_EQ(screen->row(20)[9], 0u);
    EXPECT_EQ(screen->row(20)[16], 0u);
    // A steep line backwards: every row between the ends gets one pixel.
    draw_line(*screen, 100, 110, 97, 100, 7);
    for (int y = 100; y <= 110; ++y) {
        int hits = 0;
        for (int x = 95; x <= 102; ++x) hits += screen->row(y)[x] == 7;
        EXPECT_EQ(hits, 1) << y;
    }
    EXPECT_EQ(screen->row(110)[100], 7u);
    EXPECT_EQ(screen->row(100)[97], 7u);
    // Clipped: the part on the screen is drawn, the rest ignored.
    draw_line(*screen, -50, 300, 850, 300, 9);
    EXPECT_EQ(screen->row(300)[0], 9u);
    EXPECT_EQ(screen->row(300)[799], 9u);
    draw_line(*screen, 0, 480, 799, 480, 11);  // wholly below: nothing
    draw_line(*screen, 5, -3, 5, 2, 13);
    EXPECT_EQ(screen->row(0)[5], 13u);
    EXPECT_EQ(screen->row(2)[5], 13u);
    EXPECT_EQ(screen->row(3)[5], 0u);
    draw_line(*screen, 400, 400, 400, 400, 15);  // one point
    EXPECT_EQ(screen->row(400)[400], 15u);
}

TEST(Images, CreationNeedsAScreenAndAValidSize) {
    EXPECT_EQ(create_image(4, 4), nullptr);  // no screen yet
    ASSERT_TRUE(open_offscreen_screen());
    ImagePtr image = create_image(5, 3);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->stride() * 4 % 16, 0);
    EXPECT_GE(image->stride(), 5);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(image->row(y)[x], 0xFFFF00FFu);
    EXPECT_EQ(create_image(0, 3), nullptr);
    EXPECT_EQ(create_image(3, -1), nullptr);
    EXPECT_EQ(create_image(1 << 30, 1 << 30), nullptr);
    EXPECT_EQ(screen_image().row(0)[0], 0xFF000000u);  // the screen starts black
}

TEST(Screen, BatchesNest) {
    ASSERT_TRUE(open_offscreen_screen());
    lock_screen();
    lock_screen();
    EXPECT_EQ(screen_lock_depth(), 2);
    unlock_screen();
    EXPECT_EQ(screen_lock_depth(), 1);
    unlock_screen();
    unlock_screen();  // one too many does not go below 0
    EXPECT_EQ(screen_lock_depth(), 0);
}
