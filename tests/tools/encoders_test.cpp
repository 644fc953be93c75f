// The generator's file writers, read back by the independent readers and, for
// the preview PNG, by an inflater of stored blocks written here.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "asset_files.h"
#include "bmp_file.h"
#include "png_file.h"
#include "wav_file.h"

namespace zyn::assets {
namespace {

Picture pattern(int w, int h) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.set(x, y, rgb(x * 37 + y, y * 11, (x ^ y) * 5));
    return p;
}

TEST(Encoders, BmpRowsArePaddedAndStoredBottomUpForEveryWidth) {
    for (int w = 1; w <= 6; ++w) {
        const Picture p = pattern(w, 3);
        zyn::test::Bmp b;
        std::string error;
        ASSERT_TRUE(zyn::test::parse_bmp(encode_bmp(p), b, error)) << "width " << w << ": " << error;
        ASSERT_EQ(b.width, w);
        ASSERT_EQ(b.height, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x) EXPECT_EQ(b.at(x, y), p.at(x, y)) << w << ": " << x << "," << y;
    }
}

TEST(Encoders, WavKeepsEverySampleAndTheFormat) {
    Pcm16 sound;
    sound.channels = 2;
    sound.rate = 44100;
    sound.samples = {0, -1, 32767, -32768, 1234, -4321};
    const zyn_test::WavFile w = zyn_test::parse_wav(encode_wav(sound));
    ASSERT_EQ(w.problem, "");
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.samples, sound.samples);
}

std::uint32_t be32(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 |
           b[at + 3];
}

// CRC-32 bit by bit, as the PNG format defines it.
std::uint32_t slow_crc(const unsigned char* data, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

TEST(Encoders, PngHasValidChunksAndStoredBlocksHoldingEveryPixel) {
    // Large enough to need several stored blocks, and scaled by 2.
    const Picture p = pattern(160, 120);
    const auto png = encode_png(p, 2);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    std::vector<unsigned char> zlib;
    std::uint32_t width = 0, height = 0;
    bool ended = false;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t size = be32(png, at);
        const std::string type(png.begin() + long(at + 4), png.begin() + long(at + 8));
        ASSERT_LE(at + 12 + size, png.size());
        EXPECT_EQ(be32(png, at + 8 + size), slow_crc(&png[at + 4], size + 4)) << type;
        if (type == "IHDR") {
            width = be32(png, at + 8);
            height = be32(png, at + 12);
            EXPECT_EQ(png[at + 16], 8);  // bit depth
            EXPECT_EQ(png[at + 17], 2);  // RGB
        } else if (type == "IDAT") {
            zlib.insert(zlib.end(), png.begin() + long(at + 8), png.begin() + long(at + 8 + size));
        } else if (type == "IEND") {
            ended = true;
        }
        at += 12 + size;
    }
    ASSERT_TRUE(ended);
    ASSERT_EQ(width, 320u);
    ASSERT_EQ(height, 240u);

    // Inflate: stored blocks only.
    std::vector<unsigned char> raw;
    std::size_t at = 2;
    int blocks = 0;
    for (bool last = false; !last; ++blocks) {
        ASSERT_LT(at + 5, zlib.size());
        last = zlib[at] & 1;
        ASSERT_EQ(zlib[at] >> 1 & 3, 0) << "not a stored block";
        const unsigned len = zlib[at + 1] | zlib[at + 2] << 8, nlen = zlib[at + 3] | zlib[at + 4] << 8;
        ASSERT_EQ(len ^ 0xFFFFu, nlen);
        raw.insert(raw.end(), zlib.begin() + long(at + 5), zlib.begin() + long(at + 5 + len));
        at += 5 + len;
    }
    EXPECT_GT(blocks, 1);
    ASSERT_EQ(at + 4, zlib.size());
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(be32(zlib, at), (b << 16 | a));

    ASSERT_EQ(raw.size(), std::size_t(240) * (1 + 320 * 3));
    for (int y = 0; y < 240; ++y) {
        const std::size_t row = std::size_t(y) * (1 + 320 * 3);
        ASSERT_EQ(raw[row], 0);
        for (int x = 0; x < 320; x += 7) {
            const Rgb c = p.at(x / 2, y / 2);
            const std::size_t px = row + 1 + std::size_t(x) * 3;
            ASSERT_EQ(raw[px], red(c));
            ASSERT_EQ(raw[px + 1], green(c));
            ASSERT_EQ(raw[px + 2], blue(c));
        }
    }
}

}  // namespace
}  // namespace zyn::assets
