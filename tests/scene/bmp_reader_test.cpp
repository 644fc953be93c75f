// The BMP reader against files written by the test for every variant it
// takes, checked pixel by pixel, and against truncated and garbage files.
#include "bmp_fixture.h"
#include "bmp_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace zyn::scene;
using scene_test::BmpSpec;
using scene_test::make_bmp;

namespace {

// An odd width makes every depth pad its rows.
constexpr int32_t kW = 7;
constexpr int32_t kH = 5;

std::vector<uint32_t> pattern(uint32_t modulus, uint32_t seed) {
    std::vector<uint32_t> p;
    for (uint32_t i = 0; i < kW * kH; ++i) p.push_back((i * 2654435761u + seed) % modulus);
    return p;
}

ImagePtr decode(const std::vector<uint8_t> &bytes, int32_t w = kW, int32_t h = kH) {
    ImagePtr image = make_image(w, h);
    EXPECT_TRUE(decode_bmp(bytes.data(), bytes.size(), *image));
    return image;
}

uint32_t scale(uint32_t value, uint32_t max) {
    return static_cast<uint32_t>(std::lround(value * 255.0 / max));
}

}  // namespace

TEST(BmpReader, PalettedDepthsAfterBothHeaderKinds) {
    for (uint16_t bits : {1, 4, 8}) {
        for (uint32_t info : {12u, 40u}) {
            BmpSpec s;
            s.width = kW, s.height = kH, s.bits = bits, s.info_size = info;
            const uint32_t colours = 1u << bits;
            for (uint32_t i = 0; i < colours; ++i) s.palette.push_back((i * 0x3B1F27u) & 0xFFFFFF);
            s.pixels = pattern(colours, bits);
            ImagePtr image = decode(make_bmp(s));
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    ASSERT_EQ(image->row(y)[x], 0xFF000000u | s.palette[s.pixels[y * kW + x]])
                        << bits << " bits, header " << info << " at " << x << "," << y;
        }
    }
}

TEST(BmpReader, ShortPaletteGivesBlackForMissingEntries) {
    BmpSpec s;
    s.width = kW, s.height = kH, s.bits = 8;
    s.palette = {0x112233, 0x445566};
    s.colours_used = 2;
    s.pixels = pattern(4, 1);
    ImagePtr image = decode(make_bmp(s));
    for (int i = 0; i < kW * kH; ++i) {
        const uint32_t v = s.pixels[i];
        ASSERT_EQ(image->row(i / kW)[i % kW], v < 2 ? 0xFF000000u | s.palette[v] : 0xFF000000u);
    }
}

TEST(BmpReader, SixteenBitsFiveFiveFiveAndBitFields) {
    BmpSpec plain;
    plain.width = kW, plain.height = kH, plain.bits = 16;
    plain.pixels = pattern(0x8000, 3);
    ImagePtr image = decode(make_bmp(plain));
    for (int i = 0; i < kW * kH; ++i) {
        const uint32_t v = plain.pixels[i];
        const uint32_t want = 0xFF000000u | scale((v >> 10) & 31, 31) << 16 | scale((v >> 5) & 31, 31) << 8 |
                              scale(v & 31, 31);
        ASSERT_EQ(image->row(i / kW)[i % kW], want) << i;
    }
    BmpSpec fields = plain;  // 5-6-5
    fields.compression = 3;
    fields.masks[0] = 0xF800, fields.masks[1] = 0x07E0, fields.masks[2] = 0x001F;
    fields.pixels = pattern(0x10000, 5);
    for (uint32_t info : {40u, 56u, 124u}) {
        fields.info_size = info;
        image = decode(make_bmp(fields));
        for (int i = 0; i < kW * kH; ++i) {
            const uint32_t v = fields.pixels[i];
            const uint32_t want = 0xFF000000u | scale(v >> 11, 31) << 16 | scale((v >> 5) & 63, 63) << 8 |
                                  scale(v & 31, 31);
            ASSERT_EQ(image->row(i / kW)[i % kW], want) << info << " " << i;
        }
    }
}

TEST(BmpReader, TwentyFourAndThirtyTwoBits) {
    BmpSpec s;
    s.width = kW, s.height = kH, s.bits = 24;
    s.pixels = pattern(0x1000000, 7);
    ImagePtr image = decode(make_bmp(s));
    for (int i = 0; i < kW * kH; ++i) ASSERT_EQ(image->row(i / kW)[i % kW], 0xFF000000u | s.pixels[i]);

    s.bits = 32;
    s.pixels = pattern(0xFFFFFFFF, 9);
    image = decode(make_bmp(s));
    for (int i = 0; i < kW * kH; ++i)
        ASSERT_EQ(image->row(i / kW)[i % kW], 0xFF000000u | (s.pixels[i] & 0xFFFFFF));

    // Bit fields in another order, with an alpha mask in a long header.
    s.compression = 3;
    s.info_size = 108;
    s.masks[0] = 0x000000FF, s.masks[1] = 0x0000FF00, s.masks[2] = 0x00FF0000, s.masks[3] = 0xFF000000;
    image = decode(make_bmp(s));
    for (int i = 0; i < kW * kH; ++i) {
        const uint32_t v = s.pixels[i];
        const uint32_t want = (v & 0xFF000000) | (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
        ASSERT_EQ(image->row(i / kW)[i % kW], want);
    }
}

TEST(BmpReader, TopDownRowsAndOnlyTheCommonArea) {
    BmpSpec s;
    s.width = kW, s.height = kH, s.bits = 24, s.top_down = true;
    s.pixels = pattern(0x1000000, 11);
    ImagePtr image = decode(make_bmp(s));
    for (int i = 0; i < kW * kH; ++i) ASSERT_EQ(image->row(i / kW)[i % kW], 0xFF000000u | s.pixels[i]);

    // A larger image gets the file's area top-left; the rest keeps its pixels.
    ImagePtr big = decode(make_bmp(s), kW + 3, kH + 2);
    EXPECT_EQ(big->row(0)[0], 0xFF000000u | s.pixels[0]);
    EXPECT_EQ(big->row(kH - 1)[kW - 1], 0xFF000000u | s.pixels[kW * kH - 1]);
    EXPECT_EQ(big->row(0)[kW], 0xFFFF00FFu);
    EXPECT_EQ(big->row(kH)[0], 0xFFFF00FFu);
    // A smaller one gets the file's top-left corner.
    s.top_down = false;
    ImagePtr small = decode(make_bmp(s), 2, 2);
    EXPECT_EQ(small->row(1)[1], 0xFF000000u | s.pixels[kW + 1]);
}

TEST(BmpReader, RefusesWhatItDoesNotRead) {
    BmpSpec s;
    s.width = kW, s.height = kH, s.bits = 24;
    s.pixels = pattern(0x1000000, 13);
    const std::vector<uint8_t> good = make_bmp(s);
    auto refused = [](std::vector<uint8_t> bytes) {
        ImagePtr image = make_image(kW, kH);
        const bool ok = decode_bmp(bytes.data(), bytes.size(), *image);
        bool untouched = true;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) untouched = untouched && image->row(y)[x] == 0xFFFF00FFu;
        return !ok && untouched;
    };
    auto with = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> b = good;
        b[at] = value;
        return b;
    };
    EXPECT_TRUE(refused(with(0, 'X')));                 // signature
    EXPECT_TRUE(refused(with(26, 2)));                  // planes
    EXPECT_TRUE(refused(with(28, 2)));                  // 2 bits per pixel
    EXPECT_TRUE(refused(with(30, 1)));                  // run-length compression
    EXPECT_TRUE(refused(with(14, 11)));                 // header size
    EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 20)));
    EXPECT_TRUE(refused({}));
    std::vector<uint8_t> zero_width = good;
    for (size_t i = 18; i < 22; ++i) zero_width.at(i) = 0;
    EXPECT_TRUE(refused(zero_width));
    std::vector<uint8_t> offset_past_end = good;
    offset_past_end[12] = 0x7F;
    EXPECT_TRUE(refused(offset_past_end));
}

TEST(BmpReader, TruncatedPixelsLeaveTheRestAlone) {
    BmpSpec s;
    s.width = kW, s.height = kH, s.bits = 24;
    s.pixels = pattern(0x1000000, 17);
    std::vector<uint8_t> bytes = make_bmp(s);
    const size_t stride = (kW * 3 + 3) / 4 * 4;
    // Keep the bottom two file rows (image rows 4 and 3) and 2 pixels of the next.
    bytes.resize(bytes.size() - (kH - 2) * stride + 2 * 3 + 1);
    ImagePtr image = make_image(kW, kH);
    EXPECT_TRUE(decode_bmp(bytes.data(), bytes.size(), *image));
    EXPECT_EQ(image->row(4)[kW - 1], 0xFF000000u | s.pixels[4 * kW + kW - 1]);
    EXPECT_EQ(image->row(3)[0], 0xFF000000u | s.pixels[3 * kW]);
    EXPECT_EQ(image->row(2)[1], 0xFF000000u | s.pixels[2 * kW + 1]);
    EXPECT_EQ(image->row(2)[2], 0xFFFF00FFu);
    EXPECT_EQ(image->row(0)[0], 0xFFFF00FFu);
}

// Random damage to valid files of every kind never reads outside the bytes
// (AddressSanitizer watches the tests) and never writes outside the image.
TEST(BmpReader, SurvivesGarbage) {
    std::mt19937 random(1234);
    std::vector<std::vector<uint8_t>> seeds;
    for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        BmpSpec s;
        s.width = kW, s.height = kH, s.bits = bits;
        if (bits <= 8)
            for (uint32_t i = 0; i < (1u << bits); ++i) s.palette.push_back(i * 0x010101u);
        s.pixels = pattern(bits <= 8 ? 1u << bits : 0xFFFFFFFFu, bits);
        seeds.push_back(make_bmp(s));
    }
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = seeds[round % seeds.size()];
        const int damage = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < damage; ++i) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        if (random() % 3 == 0) bytes.resize(random() % bytes.size());
        // An exact-size copy so that any read past the end is caught.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        ImagePtr image = make_image(1 + static_cast<int32_t>(random() % 12), 1 + static_cast<int32_t>(random() % 12));
        decode_bmp(exact.get(), bytes.size(), *image);
    }
}

TEST(BmpReader, MissingFileIsRefused) {
    ImagePtr image = make_image(2, 2);
    EXPECT_FALSE(load_bmp("/nonexistent/zyn/picture.bmp", image.get()));
    EXPECT_FALSE(load_bmp("/nonexistent/zyn/picture.bmp", nullptr));
    EXPECT_EQ(image->row(0)[0], 0xFFFF00FFu);
}
