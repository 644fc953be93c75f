// The search for a run of MPEG audio frames, on frames built here: a header
// and a silent (zero) body, so that only the headers can sync.
#include "media/mpeg_sync.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using zyn::find_mpeg_audio;

namespace {

using Header = std::array<uint8_t, 4>;

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, joint stereo: 417 bytes.
constexpr Header kMpeg1Layer3 = {0xFF, 0xFB, 0x90, 0x40};
constexpr size_t kMpeg1Layer3Bytes = 417;

void append_frame(std::vector<uint8_t> &data, const Header &h, size_t bytes) {
    data.insert(data.end(), h.begin(), h.end());
    data.resize(data.size() + bytes - h.size(), 0);
}

std::vector<uint8_t> frames(const Header &h, size_t bytes, int count, size_t lead = 0) {
    std::vector<uint8_t> data(lead, 0);
    for (int i = 0; i < count; ++i) append_frame(data, h, bytes);
    return data;
}

int64_t find(const std::vector<uint8_t> &data) { return find_mpeg_audio(data.data(), data.size()); }

}  // namespace

// Frame lengths of each version and layer, as published for these rates: a
// length one byte off puts the next header where the search does not look.
TEST(MpegSync, FrameLengthsOfEveryVersionAndLayer) {
    const struct {
        const char *name;
        Header header;
        size_t bytes;
    } cases[] = {
        {"MPEG-1 Layer III 128k 44.1k", kMpeg1Layer3, 417},
        {"MPEG-1 Layer III 128k 44.1k padded", {0xFF, 0xFB, 0x92, 0x40}, 418},
        {"MPEG-1 Layer III 320k 48k", {0xFF, 0xFB, 0xE4, 0x00}, 960},
        {"MPEG-1 Layer II 192k 48k", {0xFF, 0xFD, 0xA4, 0x00}, 576},
        {"MPEG-1 Layer I 384k 48k", {0xFF, 0xFF, 0xC4, 0x00}, 384},
        {"MPEG-1 Layer I 32k 44.1k padded", {0xFF, 0xFF, 0x12, 0x00}, 36},
        {"MPEG-2 Layer III 64k 24k", {0xFF, 0xF3, 0x84, 0x00}, 192},
        {"MPEG-2 Layer II 64k 24k", {0xFF, 0xF5, 0x84, 0x00}, 384},
        {"MPEG-2 Layer I 256k 16k", {0xFF, 0xF7, 0xE8, 0x00}, 768},
        {"MPEG-2.5 Layer III 8k 8k", {0xFF, 0xE3, 0x18, 0x00}, 72},
        {"MPEG-2.5 Layer II 160k 8k padded", {0xFF, 0xE5, 0xEA, 0x00}, zyn::kMpegMaxFrameBytes},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        zyn::MpegFrameHeader parsed;
        ASSERT_TRUE(zyn::parse_mpeg_frame_header(c.header.data(), &parsed));
        EXPECT_EQ(find(frames(c.header, c.bytes, 4)), 0);
        EXPECT_EQ(find(frames(c.header, c.bytes + 1, 4)), -1);
        EXPECT_EQ(find(frames(c.header, c.bytes - 1, 4)), -1);
    }
}

// Variable-rate files change bit rate, padding and channel mode from frame to
// frame; a false sync in other data rarely keeps version, layer and rate.
TEST(MpegSync, RunHeadersShareVersionLayerAndRate) {
    const struct {
        const char *name;
        Header other;
        bool accepted;
    } cases[] = {
        {"bit rate 160k", {0xFF, 0xFB, 0xA0, 0x40}, true},
        {"padded", {0xFF, 0xFB, 0x92, 0x40}, true},
        {"mono, CRC, private bit", {0xFF, 0xFA, 0x91, 0xC0}, true},
        {"MPEG-2", {0xFF, 0xF3, 0x90, 0x40}, false},
        {"Layer II", {0xFF, 0xFD, 0x90, 0x40}, false},
        {"48 kHz", {0xFF, 0xFB, 0x94, 0x40}, false},
    };
    for (const auto &c : cases) {
        zyn::MpegFrameHeader other;
        ASSERT_TRUE(zyn::parse_mpeg_frame_header(c.other.data(), &other)) << c.name;
        for (int position : {1, 2}) {
            SCOPED_TRACE(std::string(c.name) + " as frame " + std::to_string(position + 1));
            std::vector<uint8_t> data;
            for (int i = 0; i < 3; ++i) {
                if (i == position)
                    append_frame(data, c.other, static_cast<size_t>(other.frame_bytes));
                else
                    append_frame(data, kMpeg1Layer3, kMpeg1Layer3Bytes);
            }
            EXPECT_EQ(find(data), c.accepted ? 0 : -1);
        }
    }
}

// Headers libmad would take but whose frame length is unknown or whose codes
// are reserved: a run of them is no evidence of audio.
TEST(MpegSync, ReservedAndFreeFormatHeadersAreNoFrames) {
    const struct {
        const char *name;
        Header header;
    } cases[] = {
        {"free format", {0xFF, 0xFB, 0x00, 0x40}}, {"bit rate index 15", {0xFF, 0xFB, 0xF0, 0x40}},
        {"sample rate index 3", {0xFF, 0xFB, 0x9C, 0x40}}, {"reserved version", {0xFF, 0xEB, 0x90, 0x40}},
        {"reserved layer", {0xFF, 0xF9, 0x90, 0x40}},    {"reserved emphasis", {0xFF, 0xFB, 0x90, 0x42}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        zyn::MpegFrameHeader parsed;
        EXPECT_FALSE(zyn::parse_mpeg_frame_header(c.header.data(), &parsed));
        for (size_t bytes : {size_t{48}, size_t{104}, kMpeg1Layer3Bytes, size_t{1044}})
            ASSERT_EQ(find(frames(c.header, bytes, 6)), -1) << bytes;
    }
    // The two defined emphasis codes besides none.
    EXPECT_EQ(find(frames({0xFF, 0xFB, 0x90, 0x41}, kMpeg1Layer3Bytes, 3)), 0);
    EXPECT_EQ(find(frames({0xFF, 0xFB, 0x90, 0x43}, kMpeg1Layer3Bytes, 3)), 0);
}

TEST(MpegSync, RunIsFoundAfterJunkOnlyInsideTheWindow) {
    // Junk full of sync words: random bytes with 0xFF 0xFB pairs sprinkled in.
    std::mt19937 random(3);
    std::vector<uint8_t> junk(3000);
    for (auto &b : junk) b = static_cast<uint8_t>(random() >> 24);
    for (size_t i = 0; i + 1 < junk.size(); i += 37) junk[i] = 0xFF, junk[i + 1] = 0xFB;
    std::vector<uint8_t> data = junk;
    const std::vector<uint8_t> run = frames(kMpeg1Layer3, kMpeg1Layer3Bytes, 3);
    data.insert(data.end(), run.begin(), run.end());
    EXPECT_EQ(find(data), static_cast<int64_t>(junk.size()));

    const size_t last = zyn::kMpegSearchWindow - 1;
    EXPECT_EQ(find(frames(kMpeg1Layer3, kMpeg1Layer3Bytes, 3, last)), static_cast<int64_t>(last));
    EXPECT_EQ(find(frames(kMpeg1Layer3, kMpeg1Layer3Bytes, 3, last + 1)), -1);

    // The stream decides on its first kMpegProbeBytes alone: enough for a run
    // of the longest frames starting at the window's last byte.
    std::vector<uint8_t> longest = frames({0xFF, 0xE5, 0xEA, 0x00}, zyn::kMpegMaxFrameBytes, 4, last);
    longest.resize(zyn::kMpegProbeBytes);
    EXPECT_EQ(find(longest), static_cast<int64_t>(last));
}

TEST(MpegSync, FileTooShortForARunIsWholeFramesFromItsFirstByte) {
    const auto tagged = [](std::vector<uint8_t> data, size_t tag_bytes, const char *id) {
        const size_t start = data.size();
        data.resize(start + tag_bytes, 0x20);
        for (size_t i = 0; i < 3 && i < tag_bytes; ++i) data[start + i] = static_cast<uint8_t>(id[i]);
        return data;
    };
    const std::vector<uint8_t> one = frames(kMpeg1Layer3, kMpeg1Layer3Bytes, 1);
    const std::vector<uint8_t> two = frames(kMpeg1Layer3, kMpeg1Layer3Bytes, 2);
    EXPECT_EQ(find(one), 0);
    EXPECT_EQ(find(two), 0);
    EXPECT_EQ(find(tagged(one, 128, "TAG")), 0);
    EXPECT_EQ(find(tagged(two, 128, "TAG")), 0);

    EXPECT_EQ(find(tagged(two, 127, "TAG")), -1);
    EXPECT_EQ(find(tagged(two, 129, "TAG")), -1);
    EXPECT_EQ(find(tagged(two, 128, "GAT")), -1);
    EXPECT_EQ(find(tagged(two, 1, "x")), -1);
    EXPECT_EQ(find(std::vector<uint8_t>(two.begin(), two.end() - 1)), -1);
    EXPECT_EQ(find(frames(kMpeg1Layer3, kMpeg1Layer3Bytes, 2, 1)), -1);  // a byte in front
    std::vector<uint8_t> mixed = one;
    append_frame(mixed, {0xFF, 0xFB, 0x94, 0x40}, 384);  // 48 kHz
    EXPECT_EQ(find(mixed), -1);
    EXPECT_EQ(find(std::vector<uint8_t>(kMpeg1Layer3.begin(), kMpeg1Layer3.end())), -1);
    EXPECT_EQ(find({}), -1);
}

// Headers alone match by chance in machine code: "ff ff 48 89 c7 e8" (a
// call every 192 bytes) reads as MPEG-1 Layer I, 128 kbit/s, 32 kHz. The
// bodies of such frames do not decode; silent (zero) bodies do.
TEST(MpegSync, HeadersWhoseFramesDoNotDecodeAreNoRun) {
    const Header code = {0xFF, 0xFF, 0x48, 0x89};
    std::mt19937 random(9);
    std::vector<uint8_t> data;
    for (int i = 0; i < 3; ++i) {
        data.insert(data.end(), code.begin(), code.end());
        for (int b = 4; b < 192; ++b) data.push_back(static_cast<uint8_t>(random() >> 24));
    }
    EXPECT_EQ(find(data), -1);
    EXPECT_EQ(find(frames(code, 192, 3)), 0);
}
