// ZYN_LOAD_WAVFILE on files written here: sample values after conversion to
// the device format, rate conversion in both directions, header variants and
// every kind of file that must be refused without a trace.
#include "media/wav_loader.h"
#include "test_support.h"
#include "wav_fixture.h"
#include "whitebox.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

using namespace zyn_test;

namespace {

// The loaded wave's samples, or empty when the load failed.
std::vector<int16_t> load(const std::string &path, int32_t *handle = nullptr) {
    int32_t wave = 12345;
    if (ZYN_LOAD_WAVFILE(path.c_str(), &wave) != 1) {
        EXPECT_EQ(wave, -1) << "a refused file leaves the handle at -1";
        return {};
    }
    if (handle != nullptr) *handle = wave;
    int16_t *start = nullptr;
    int16_t *end = nullptr;
    EXPECT_EQ(ZYN_GET_WAVEPOINTERS(wave, &start, &end, nullptr), 1);
    return std::vector<int16_t>(start, end);
}

std::vector<int16_t> load_image(const TempDir &dir, const std::vector<uint8_t> &image) {
    const std::string path = dir.file("sound.wav");
    EXPECT_TRUE(write_file(path, image));
    return load(path);
}

// Half-range scaling of a 16-bit sample on a stereo device, from the
// published factors: 1/65534 as a float, then 32767, nearest even.
int16_t expected16(int16_t s) {
    const float half = static_cast<float>(s) * static_cast<float>(1.0 / 65534.0);
    return static_cast<int16_t>(std::nearbyint(32767.0 * static_cast<double>(half)));
}

std::vector<int16_t> stereo_ramp(int frames) {
    std::vector<int16_t> s;
    for (int i = 0; i < frames; ++i) {
        s.push_back(static_cast<int16_t>(i * 7 + 1));
        s.push_back(static_cast<int16_t>(-i * 5 - 2));
    }
    return s;
}

}  // namespace

TEST(WavLoader, SixteenBitStereoIsScaledToHalfRange) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::vector<int16_t> source = {32767, -32768, 0, 1, -1, 2, 12345, -23456, 16384, -3};
    const std::vector<int16_t> got = load_image(dir, wav_image({}, pcm16(source)));
    ASSERT_EQ(got.size(), source.size());
    EXPECT_EQ(got[0], 16384);
    EXPECT_EQ(got[1], -16384);
    EXPECT_EQ(got[2], 0);
    for (size_t i = 0; i < source.size(); ++i) EXPECT_EQ(got[i], expected16(source[i])) << i;
}

TEST(WavLoader, EightBitMonoOnStereoAndMonoDevices) {
    const std::vector<uint8_t> bytes = {255, 0, 128, 129, 127, 200};
    {
        PumpDevice device(44100, 2);
        ASSERT_TRUE(device.ok());
        TempDir dir;
        WavLayout layout;
        layout.channels = 1;
        layout.bits = 8;
        const std::vector<int16_t> got = load_image(dir, wav_image(layout, bytes));
        ASSERT_EQ(got.size(), 2 * bytes.size());
        const std::vector<int16_t> head = {16256, 16256, -16384, -16384, 0, 0};
        EXPECT_EQ(std::vector<int16_t>(got.begin(), got.begin() + 6), head);
        for (size_t i = 0; i < bytes.size(); ++i) {
            const double x = (bytes[i] - 128) / 256.0;
            EXPECT_EQ(got[2 * i], static_cast<int16_t>(std::nearbyint(32767.0 * x))) << i;
            EXPECT_EQ(got[2 * i + 1], got[2 * i]);
        }
        ZYN_EXIT();
    }
    PumpDevice mono(44100, 1);
    ASSERT_TRUE(mono.ok());
    TempDir dir;
    WavLayout layout;
    layout.channels = 1;
    layout.bits = 8;
    const std::vector<int16_t> got = load_image(dir, wav_image(layout, bytes));
    ASSERT_EQ(got.size(), bytes.size());
    EXPECT_EQ(got[0], 16255);  // 16383 x 0.9921875
    EXPECT_EQ(got[1], -16383);
    EXPECT_EQ(got[2], 0);
}

TEST(WavLoader, StereoSourceOnMonoDeviceAddsBothChannels) {
    PumpDevice device(22050, 1);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    WavLayout layout;
    layout.bits = 8;
    layout.rate = 22050;
    // Up (same rate) conversion: 16383 per channel.
    std::vector<int16_t> got = load_image(dir, wav_image(layout, {0, 0, 255, 128, 0, 255}));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], -16383);
    EXPECT_EQ(got[1], static_cast<int16_t>(std::nearbyint(16383.0 * 127 / 256)));
    EXPECT_EQ(got[2], static_cast<int16_t>(std::nearbyint(16383.0 * (-128 + 127) / 256)));
    // Down conversion (44100 -> 22050): 16383.5 per channel, so -0.5 - 0.5
    // gives -16383.5, which rounds to even.
    layout.rate = 44100;
    got = load_image(dir, wav_image(layout, {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1}));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], -16384);
    EXPECT_EQ(got[1], -16384);
    EXPECT_EQ(got[2], 0) << "the last frame of a down-conversion stays silent";
}

TEST(WavLoader, UpConversionRepeatsEachSourceFrame) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    WavLayout layout;
    layout.rate = 22050;
    const std::vector<int16_t> source = stereo_ramp(1000);
    const std::vector<int16_t> got = load_image(dir, wav_image(layout, pcm16(source)));
    ASSERT_EQ(got.size(), 2u * 2000);
    for (size_t f = 0; f < 2000; ++f) {
        ASSERT_EQ(got[2 * f], expected16(source[2 * (f / 2)])) << f;
        ASSERT_EQ(got[2 * f + 1], expected16(source[2 * (f / 2) + 1])) << f;
    }
}

TEST(WavLoader, DownConversionTakesTheFirstSourceFrameOfEachOutputFrame) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    WavLayout layout;
    layout.rate = 48000;
    const std::vector<int16_t> source = stereo_ramp(1000);
    const std::vector<int16_t> got = load_image(dir, wav_image(layout, pcm16(source)));
    ASSERT_EQ(got.size(), 2u * 919);
    EXPECT_EQ(got[2 * 918], 0);
    EXPECT_EQ(got[2 * 918 + 1], 0);
    for (size_t f = 0; f < 918; ++f) {
        // Output frame f starts at source frame f x 48000 / 44100; an
        // accumulated step may land one frame later on the exact boundaries.
        const size_t first = static_cast<size_t>(std::ceil(f * 48000.0 / 44100.0 - 1e-9));
        const bool from_first = got[2 * f] == expected16(source[2 * first]) &&
                                got[2 * f + 1] == expected16(source[2 * first + 1]);
        const bool from_next = first + 1 < 1000 && got[2 * f] == expected16(source[2 * first + 2]);
        ASSERT_TRUE(from_first || from_next) << "frame " << f;
    }

    // A down-conversion to exactly one frame writes that frame.
    layout.rate = 88200;
    const std::vector<int16_t> one = load_image(dir, wav_image(layout, pcm16({300, -300, 500, -500})));
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0], expected16(300));
    EXPECT_EQ(one[1], expected16(-300));
}

TEST(WavLoader, LongerFmtChunkAndChunksBeforeDataLoadLikePlainHeader) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::vector<uint8_t> data = pcm16(stereo_ramp(50));
    const std::vector<int16_t> plain = load_image(dir, wav_image({}, data));
    ASSERT_EQ(plain.size(), 100u);

    WavLayout long_fmt;
    long_fmt.fmt_size = 18;
    EXPECT_EQ(load_image(dir, wav_image(long_fmt, data)), plain);

    WavLayout list;
    put_id(list.before_data, "LIST");
    put32(list.before_data, 14);
    const char info[] = "INFOISFT\x02\0\0\0z\0";
    list.before_data.insert(list.before_data.end(), info, info + 14);
    EXPECT_EQ(load_image(dir, wav_image(list, data)), plain);
}

TEST(WavLoader, TwelveBitSamplesInSixteenBitContainersAreRead) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    WavLayout layout;
    layout.bits = 12;
    const std::vector<int16_t> source = {0x7FF0, -0x8000, 0x0010, -0x0010};
    const std::vector<int16_t> got = load_image(dir, wav_image(layout, pcm16(source)));
    ASSERT_EQ(got.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(got[i], expected16(source[i]));
}

TEST(WavLoader, FileShorterThanItsDataSizeLoadsWhatIsThereAndPadsWithZero) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    for (int64_t declared : {int64_t{1000}, int64_t{0x7FFFFFFF}}) {
        WavLayout layout;
        layout.data_size = declared;
        // Two whole frames and the left sample of a third.
        const std::vector<uint8_t> data = pcm16({1000, -1000, 2000, -2000, 3000});
        const std::vector<int16_t> got = load_image(dir, wav_image(layout, data));
        ASSERT_EQ(got.size(), 6u) << "declared " << declared;
        EXPECT_EQ(got[4], expected16(3000));
        EXPECT_EQ(got[5], 0) << "the missing right sample reads as zero";
    }
}

TEST(WavLoader, BadFilesAreRefusedWithoutAddingAWave) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    int32_t kept = -1;
    ASSERT_FALSE(load(dir.file("none.wav"), &kept).size() > 0);
    const std::vector<uint8_t> data = pcm16(stereo_ramp(40));
    ASSERT_EQ(load_image(dir, wav_image({}, data)).size(), 80u);
    const int32_t waves_before = zyn::engine().wave_count;

    struct Case {
        const char *what;
        std::vector<uint8_t> image;
    };
    std::vector<Case> cases;
    const auto with = [&](const char *what, auto change) {
        WavLayout layout;
        change(layout);
        cases.push_back({what, wav_image(layout, data)});
    };
    with("float samples", [](WavLayout &s) { s.format_tag = 3; });
    with("extensible tag", [](WavLayout &s) { s.format_tag = 0xFFFE; });
    with("not RIFF", [](WavLayout &s) { s.riff[3] = 'X'; });
    with("not WAVE", [](WavLayout &s) { s.wave[0] = 'A'; });
    with("fmt size 15", [](WavLayout &s) { s.fmt_size = 15; });
    with("data size 0", [](WavLayout &s) { s.data_size = 0; });
    with("negative data size", [](WavLayout &s) { s.data_size = 0x80000000; });
    with("block align 0", [](WavLayout &s) { s.block_align = 0; });
    with("block align below a frame", [](WavLayout &s) { s.block_align = 2; });
    with("three channels", [](WavLayout &s) { s.channels = 3; });
    with("no channels", [](WavLayout &s) { s.channels = 0; });
    with("24-bit", [](WavLayout &s) { s.bits = 24; });
    with("32-bit", [](WavLayout &s) { s.bits = 32; });
    with("0-bit", [](WavLayout &s) { s.bits = 0; });
    with("rate 0", [](WavLayout &s) { s.rate = 0; });
    with("negative rate", [](WavLayout &s) { s.rate = 0x80000000u; });
    {
        std::vector<uint8_t> image = wav_image({}, data);
        image.resize(44);  // the header alone: nothing after the data size
        cases.push_back({"header only", image});
        std::vector<uint8_t> longer = wav_image({}, {});
        longer.resize(60, 0);
        longer[40] = 0;  // data size 0, padding after it
        cases.push_back({"empty data chunk", longer});
    }
    {
        std::vector<uint8_t> image = wav_image({}, data);
        image[12] = 'F';  // "Fmt ": no fmt chunk anywhere
        cases.push_back({"no fmt chunk", image});
        image = wav_image({}, data);
        image[36] = 'D';
        cases.push_back({"no data chunk", image});
        cases.push_back({"44 bytes", std::vector<uint8_t>(image.begin(), image.begin() + 44)});
        // The fmt id near the end, with too few bytes after it for its fields.
        std::vector<uint8_t> cut(image.begin(), image.begin() + 12);
        cut.resize(45, 'x');
        put_id(cut, "fmt ");
        put32(cut, 16);
        put16(cut, 1);
        cases.push_back({"truncated fmt", cut});
        // The data id as the last four bytes: no room for the data size.
        image = wav_image({}, data);
        image.resize(40);
        image.insert(image.begin() + 36, 8, 'y');
        cases.push_back({"truncated data size", image});
    }
    {
        // The data size is the last thing in the file.
        WavLayout layout;
        layout.data_size = 100;
        std::vector<uint8_t> image = wav_image(layout, {});
        image.insert(image.begin() + 36, 8, 'x');
        cases.push_back({"end of file after the data size", image});
    }
    {
        // Down-conversion of one frame at 8 times the device rate gives no frame.
        WavLayout fast;
        fast.rate = 44100 * 8;
        cases.push_back({"converts to no frame", wav_image(fast, pcm16({5, 6}))});
        fast.block_align = 4;
        fast.data_size = 3;  // less than one frame
        cases.push_back({"less than one frame", wav_image(fast, pcm16({5, 6, 7, 8, 9, 10}))});
    }

    for (const Case &c : cases) {
        EXPECT_TRUE(load_image(dir, c.image).empty()) << c.what;
        EXPECT_EQ(zyn::engine().wave_count, waves_before) << c.what;
    }
    EXPECT_TRUE(load(dir.path()).empty()) << "a directory";
    ASSERT_EQ(mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    EXPECT_TRUE(load(dir.file("pipe.wav")).empty()) << "a FIFO, which must not block";
    if (geteuid() != 0) {
        ASSERT_TRUE(write_file(dir.file("locked.wav"), wav_image({}, data)));
        ASSERT_EQ(chmod(dir.file("locked.wav").c_str(), 0), 0);
        EXPECT_TRUE(load(dir.file("locked.wav")).empty()) << "an unreadable file";
    }
    int32_t wave = 7;
    EXPECT_EQ(ZYN_LOAD_WAVFILE(nullptr, &wave), 0);
    EXPECT_EQ(wave, -1);
    EXPECT_EQ(ZYN_LOAD_WAVFILE(dir.file("sound.wav").c_str(), nullptr), 0);
    EXPECT_EQ(zyn::engine().wave_count, waves_before);
}

TEST(WavLoader, NeedsAnInitialisedEngine) {
    TempDir dir;
    const std::string path = dir.file("a.wav");
    ASSERT_TRUE(write_file(path, wav_image({}, pcm16(stereo_ramp(40)))));
    int32_t wave = 3;
    EXPECT_EQ(ZYN_LOAD_WAVFILE(path.c_str(), &wave), 0);
    EXPECT_EQ(wave, -1);
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(ZYN_LOAD_WAVFILE(path.c_str(), &wave), 1);
    EXPECT_EQ(wave, 0);
}

TEST(WavLoader, ImageAndFileGiveTheSameWave) {
    TempDir dir;
    WavLayout layout;
    layout.rate = 32000;
    layout.channels = 1;
    const std::vector<uint8_t> image = wav_image(layout, pcm16(stereo_ramp(300)));
    ASSERT_TRUE(write_file(dir.file("x.wav"), image));
    int16_t *a = nullptr, *b = nullptr;
    int32_t a_bytes = 0, b_bytes = 0;
    ASSERT_TRUE(zyn::convert_wav_image(image.data(), image.size(), 44100, 16, 2, &a, &a_bytes));
    ASSERT_TRUE(zyn::load_wav_converted(dir.file("x.wav").c_str(), 44100, 16, 2, &b, &b_bytes));
    EXPECT_EQ(a_bytes, b_bytes);
    EXPECT_EQ(a_bytes, 2 * 2 * 827);  // 600 x 44100 / 32000 = 826.875
    EXPECT_EQ(std::vector<int16_t>(a, a + a_bytes / 2), std::vector<int16_t>(b, b + b_bytes / 2));
    std::free(a);
    std::free(b);
    EXPECT_FALSE(zyn::convert_wav_image(image.data(), image.size(), 44100, 16, 2, &a, &a_bytes, 1000))
        << "the size cap refuses a longer result";
}

TEST(WavLoader, LongFilesAcrossReadWindowsAndPaddedFrames) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    // 50000 frames: several read windows, and with a block align of 6 the
    // frames straddle window edges unless the reader keeps them whole.
    const int frames = 50000;
    std::vector<int16_t> source;
    std::vector<uint8_t> padded;
    for (int f = 0; f < frames; ++f) {
        const auto l = static_cast<int16_t>(f * 13 - 30000);
        const auto r = static_cast<int16_t>(30000 - f * 7);
        source.push_back(l);
        source.push_back(r);
        put16(padded, static_cast<uint16_t>(l));
        put16(padded, static_cast<uint16_t>(r));
        put16(padded, 0xBEEF);  // padding the loader must step over
    }
    for (int align : {4, 6}) {
        WavLayout layout;
        layout.block_align = align;
        const std::vector<int16_t> got =
            load_image(dir, wav_image(layout, align == 4 ? pcm16(source) : padded));
        ASSERT_EQ(got.size(), source.size()) << "align " << align;
        for (size_t i = 0; i < source.size(); ++i)
            ASSERT_EQ(got[i], expected16(source[i])) << "align " << align << " sample " << i;
        // The same file at another rate goes through the stepping loop.
        layout.rate = 44000;
        const std::vector<int16_t> stepped =
            load_image(dir, wav_image(layout, align == 4 ? pcm16(source) : padded));
        ASSERT_EQ(stepped.size(), 2u * 50114);  // 50000 x 44100 / 44000 = 50113.6
        EXPECT_EQ(stepped[2 * 50113], expected16(source[2 * 49999]));
        EXPECT_EQ(stepped[2 * 1000], expected16(source[2 * 997]));  // 1000 x 44000/44100 = 997.7
    }
}
