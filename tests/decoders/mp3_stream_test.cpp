// The MP3 stream: decoder thread, ring and mixer, driven by hand-pumped fills.
#include "decoder_fixtures.h"
#include "media/mpeg_sync.h"
#include "test_support.h"
#include "zyn.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <thread>
#include <vector>

using namespace zyn_test;

namespace {

std::vector<int16_t> g_taken;  // every stream block the mixer took, in order
int g_blocks = 0;

void record_block(int16_t *samples, int32_t channels, int32_t frames) {
    g_taken.insert(g_taken.end(), samples, samples + static_cast<size_t>(channels) * frames);
    ++g_blocks;
}

bool stream_active() {
    float v = 0.0f;
    return ZYN_GET_STREAMVOLUME(&v) == 1;
}

void listen() {
    g_taken.clear();
    g_blocks = 0;
    ASSERT_EQ(ZYN_SET_STREAMCALLBACK(record_block), 1);
    ASSERT_EQ(ZYN_ENABLE_STREAMCALLBACK(), 1);
}

struct PumpResult {
    bool ended = false;
    int max_playing_streams = 0;
};

// Pumps fills until the stream ends (or a generous guard against a hang).
PumpResult pump_to_end(PumpDevice &device) {
    PumpResult r;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (stream_active() && std::chrono::steady_clock::now() < give_up) {
        const int before = g_blocks;
        device.pump();
        r.max_playing_streams = std::max(r.max_playing_streams, ZYN_GET_PLAYINGSTREAMS());
        if (g_blocks == before) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    r.ended = !stream_active();
    return r;
}

// Waits until the decoder thread has ended (the process is back at count threads).
void wait_for_threads(int32_t count) {
    const Watchdog dog(20, "the decoder thread's end");  // a thread of its own
    while (thread_count() > count + 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int64_t round_up(int64_t v, int64_t unit) { return (v + unit - 1) / unit * unit; }

struct Mp3Fixture {
    std::string path;
    MpegFrames frames;
};

Mp3Fixture make_mp3(const TempDir &dir, const std::string &name, int32_t rate, int32_t channels,
                    double seconds, int32_t kbps = 128) {
    Mp3Fixture f;
    const std::string wav = dir.file(name + ".wav");
    f.path = dir.file(name + ".mp3");
    if (!write_tone_wav(wav, rate, channels, 440.0, seconds) || !encode_mp3(wav, f.path, kbps)) return f;
    f.frames = count_mpeg_frames(f.path);
    return f;
}

}  // namespace

TEST(Mp3Stream, PlaysToTheEndWithTheLastBlockZeroPadded) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 1.0);
    ASSERT_GT(mp3.frames.count, 30);
    ASSERT_EQ(mp3.frames.samples_per_frame, 1152);
    PumpDevice device(44100, 2, 300);
    ASSERT_TRUE(device.ok());
    const int64_t block = device.block_bytes();

    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    EXPECT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 0);  // one at a time
    listen();
    int16_t *next = nullptr;
    int32_t channels = 0;
    int32_t frames = 0;
    ASSERT_EQ(ZYN_GET_STREAMBUFFER(&next, &channels, &frames), 1);
    EXPECT_NE(next, nullptr);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(frames, 300);
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    const PumpResult r = pump_to_end(device);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.max_playing_streams, 1);
    device.pump();
    EXPECT_EQ(ZYN_GET_PLAYINGSTREAMS(), 0);

    // 4608 bytes per MPEG-1 Layer III frame, the last block completed with silence.
    const int64_t decoded = int64_t{4608} * mp3.frames.count;
    ASSERT_NE(decoded % block, 0);
    ASSERT_EQ(static_cast<int64_t>(g_taken.size()) * 2, round_up(decoded, block));
    for (size_t i = static_cast<size_t>(decoded / 2); i < g_taken.size(); ++i) ASSERT_EQ(g_taken[i], 0) << i;
    const auto left = channel_of(g_taken, 2, 0);
    const std::vector<int16_t> middle(left.begin() + 4000, left.begin() + 40000);
    EXPECT_NEAR(tone_frequency(middle, 44100), 440.0, 2.0);
    EXPECT_NEAR(tone_amplitude(middle), 12000.0, 1200.0);
    EXPECT_EQ(channel_of(g_taken, 2, 0), channel_of(g_taken, 2, 1));
}

TEST(Mp3Stream, HalfRateMonoFileIsConvertedToTheDevice) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "low", 22050, 1, 1.0, 64);
    ASSERT_EQ(mp3.frames.rate, 22050);
    ASSERT_EQ(mp3.frames.samples_per_frame, 576);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    ASSERT_TRUE(pump_to_end(device).ended);
    // Each 576-sample frame becomes 1152 stereo frames at the device rate.
    const int64_t decoded = int64_t{1152} * 4 * mp3.frames.count;
    EXPECT_EQ(static_cast<int64_t>(g_taken.size()) * 2, round_up(decoded, device.block_bytes()));
    const auto left = channel_of(g_taken, 2, 0);
    EXPECT_NEAR(tone_frequency(std::vector<int16_t>(left.begin() + 4000, left.begin() + 40000), 44100),
                440.0, 2.0);
}

TEST(Mp3Stream, LowRateFileOnSmallBlocksStillFitsTheRing) {
    // One 8 kHz frame converted to 44.1 kHz is larger than three small blocks.
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "phone", 8000, 1, 1.0, 32);
    ASSERT_EQ(mp3.frames.rate, 8000);
    PumpDevice device(44100, 2, 64);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    ASSERT_TRUE(pump_to_end(device).ended);
    const double expected_frames = mp3.frames.count * 576.0 * 44100.0 / 8000.0;
    EXPECT_NEAR(g_taken.size() / 2.0, expected_frames, expected_frames * 0.002 + 64);
    const auto left = channel_of(g_taken, 2, 0);
    EXPECT_NEAR(tone_frequency(std::vector<int16_t>(left.begin() + 4000, left.begin() + 30000), 44100),
                440.0, 2.0);
}

TEST(Mp3Stream, OneChannelDeviceWithAnOddBlock) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 1.0);
    PumpDevice device(44100, 1, 255);  // 510-byte blocks: not whole 4-byte units
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    ASSERT_TRUE(pump_to_end(device).ended);
    const int64_t decoded = int64_t{2304} * mp3.frames.count;
    EXPECT_EQ(static_cast<int64_t>(g_taken.size()) * 2, round_up(decoded, 510));
    const std::vector<int16_t> middle(g_taken.begin() + 4000, g_taken.begin() + 40000);
    EXPECT_NEAR(tone_frequency(middle, 44100), 440.0, 2.0);
    EXPECT_NEAR(tone_amplitude(middle), 6000.0, 600.0);  // both channels summed at a quarter each
}

TEST(Mp3Stream, EndWhileDecodingThenPlayAgain) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "long", 44100, 2, 4.0);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    while (g_blocks < 3) {
        device.pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // The decoder is now waiting for room in the ring; ending must not hang.
    EXPECT_EQ(ZYN_END_MP3STREAM(), 1);
    EXPECT_FALSE(stream_active());
    EXPECT_EQ(ZYN_END_MP3STREAM(), 1);
    const int taken = g_blocks;
    device.pump();
    EXPECT_EQ(g_blocks, taken);
    EXPECT_EQ(ZYN_GET_PLAYINGSTREAMS(), 0);

    // The same buffers serve the next stream, which plays in full.
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    ASSERT_TRUE(pump_to_end(device).ended);
    EXPECT_EQ(static_cast<int64_t>(g_taken.size()) * 2,
              round_up(int64_t{4608} * mp3.frames.count, device.block_bytes()));
}

TEST(Mp3Stream, PlayWhileDecodingEndsTheStreamWithoutWaiting) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "long", 44100, 2, 4.0);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    EXPECT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 0);
    EXPECT_FALSE(stream_active());
    EXPECT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
}

// Playing a stream whose decoder is done but whose ring still holds blocks
// is refused and leaves them to play.
TEST(Mp3Stream, PlayingAgainWhileTheLastBlocksDrainFailsAndTheyStillPlay) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "short", 44100, 2, 0.1);
    ASSERT_GT(mp3.frames.count, 2);
    PumpDevice device(44100, 2, 4096);  // the ring takes the whole file
    ASSERT_TRUE(device.ok());
    const int32_t threads = thread_count();
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    wait_for_threads(threads);
    EXPECT_EQ(ZYN_PLAY_MP3STREAM(0.5f, 0.5f), 0);
    float volume = 0.0f;
    ASSERT_EQ(ZYN_GET_STREAMVOLUME(&volume), 1) << "still active";
    EXPECT_EQ(volume, 1.0f) << "and as it was";
    ASSERT_TRUE(pump_to_end(device).ended);
    EXPECT_EQ(static_cast<int64_t>(g_taken.size()) * 2,
              round_up(int64_t{4608} * mp3.frames.count, device.block_bytes()))
        << "every block decoded was heard";
}

// A stream whose file was cut short before it played decodes nothing: it
// ends instead of staying active with nothing to play.
TEST(Mp3Stream, AStreamWithNothingLeftToPlayEnds) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "short", 44100, 2, 0.1);
    PumpDevice device(44100, 2, 4096);
    ASSERT_TRUE(device.ok());
    const int32_t threads = thread_count();
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    ASSERT_EQ(truncate(mp3.path.c_str(), 0), 0);
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    wait_for_threads(threads);
    device.pump();
    EXPECT_FALSE(stream_active());
}

TEST(Mp3Stream, VolumeZeroIsSilentButStillConsumesTheRing) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 1.0);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(0.0f, 0.0f), 1);
    ASSERT_TRUE(pump_to_end(device).ended);
    EXPECT_EQ(static_cast<int64_t>(g_taken.size()) * 2,
              round_up(int64_t{4608} * mp3.frames.count, device.block_bytes()));
    EXPECT_TRUE(std::all_of(g_taken.begin(), g_taken.end(), [](int16_t s) { return s == 0; }));
}

TEST(Mp3Stream, PanAndVolumeShapeTheBlock) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 1.0);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(0.5f, 0.5f), 1);  // half volume, left at half
    ASSERT_TRUE(pump_to_end(device).ended);
    const auto left = channel_of(g_taken, 2, 0);
    const auto right = channel_of(g_taken, 2, 1);
    const std::vector<int16_t> l(left.begin() + 4000, left.begin() + 40000);
    const std::vector<int16_t> r(right.begin() + 4000, right.begin() + 40000);
    EXPECT_NEAR(tone_amplitude(r), 6000.0, 600.0);
    EXPECT_NEAR(tone_amplitude(l), 3000.0, 300.0);
}

TEST(Mp3Stream, SettersClampAndNeedAStream) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 0.3);
    float v = -1.0f;
    int16_t *block = nullptr;
    int32_t c = 0;
    int32_t f = 0;
    EXPECT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 0);  // no engine
    PumpDevice device(44100, 2, 2048);
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(ZYN_END_MP3STREAM(), 1);
    EXPECT_EQ(ZYN_SET_STREAMVOLUME(1.0f), 0);
    EXPECT_EQ(ZYN_GET_STREAMVOLUME(&v), 0);
    EXPECT_EQ(ZYN_SET_STREAMPAN(0.0f), 0);
    EXPECT_EQ(ZYN_GET_STREAMPAN(&v), 0);
    EXPECT_EQ(ZYN_GET_STREAMBUFFER(&block, &c, &f), 0);
    EXPECT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 0);
    EXPECT_EQ(ZYN_CREATE_MP3STREAM(dir.file("missing.mp3").c_str()), 0);
    EXPECT_EQ(ZYN_CREATE_MP3STREAM(dir.path().c_str()), 0);  // a folder

    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    EXPECT_EQ(ZYN_SET_STREAMVOLUME(5.0f), 1);
    ASSERT_EQ(ZYN_GET_STREAMVOLUME(&v), 1);
    EXPECT_EQ(v, 2.0f);
    EXPECT_EQ(ZYN_SET_STREAMVOLUME(0.00001f), 1);
    ASSERT_EQ(ZYN_GET_STREAMVOLUME(&v), 1);
    EXPECT_EQ(v, 0.0f);
    // Unlike a sound's, the stream's volume keeps 0.0001f; not a number is silence.
    EXPECT_EQ(ZYN_SET_STREAMVOLUME(0.0001f), 1);
    ASSERT_EQ(ZYN_GET_STREAMVOLUME(&v), 1);
    EXPECT_EQ(v, 0.0001f);
    EXPECT_EQ(ZYN_SET_STREAMVOLUME(std::nanf("")), 1);
    ASSERT_EQ(ZYN_GET_STREAMVOLUME(&v), 1);
    EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(ZYN_SET_STREAMPAN(-3.0f), 1);
    ASSERT_EQ(ZYN_GET_STREAMPAN(&v), 1);
    EXPECT_EQ(v, -1.0f);
    EXPECT_EQ(ZYN_SET_STREAMPAN(std::nanf("")), 1);
    ASSERT_EQ(ZYN_GET_STREAMPAN(&v), 1);
    EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(ZYN_GET_STREAMVOLUME(nullptr), 0);
    EXPECT_EQ(ZYN_GET_STREAMBUFFER(nullptr, &c, &f), 0);
    ASSERT_EQ(ZYN_GET_STREAMBUFFER(&block, &c, &f), 1);
    EXPECT_EQ(c, 2);
    EXPECT_EQ(f, 2048);
}

TEST(Mp3Stream, StreamCreatedButNeverPlayedClosesItsFile) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 0.3);
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    const int32_t before = open_descriptor_count();
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    EXPECT_EQ(open_descriptor_count(), before + 1);
    EXPECT_EQ(ZYN_END_MP3STREAM(), 1);
    EXPECT_EQ(open_descriptor_count(), before);
}

TEST(Mp3Stream, FilesThatAreNotMpegAudioAreRefusedAndNotKeptOpen) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 0.3);
    std::vector<std::string> paths;
    ASSERT_TRUE(write_non_mpeg_files(dir.path(), &paths));
    std::vector<uint8_t> huge_tag(2000, 0xFF);
    const uint8_t claims_256_mb[] = {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    std::copy(std::begin(claims_256_mb), std::end(claims_256_mb), huge_tag.begin());
    ASSERT_TRUE(write_file(dir.file("tag.mp3"), huge_tag));
    ASSERT_TRUE(write_file(dir.file("empty.mp3"), {}));
    ASSERT_TRUE(write_tone_wav(dir.file("wave.mp3"), 44100, 2, 440.0, 0.5));
    for (const char *name : {"tag.mp3", "empty.mp3", "wave.mp3", "missing.mp3"}) paths.push_back(dir.file(name));
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    const int32_t descriptors = open_descriptor_count();
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ZYN_CREATE_MP3STREAM(path.c_str()), 0);
        EXPECT_FALSE(stream_active());
        EXPECT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 0);
        EXPECT_EQ(open_descriptor_count(), descriptors);
    }
    EXPECT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
}

TEST(Mp3Stream, DamagedDataAfterTheFirstFramesDecodesAndEndsCleanly) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 0.3);
    std::vector<uint8_t> bytes = read_file(mp3.path);
    ASSERT_GT(mp3.frames.count, 3);
    bytes.resize(mp3.frames.offsets[3]);
    const std::vector<uint8_t> junk = sync_junk(50000, 99);
    bytes.insert(bytes.end(), junk.begin(), junk.end());
    ASSERT_TRUE(write_file(dir.file("damaged.mp3"), bytes));
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(dir.file("damaged.mp3").c_str()), 1);
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    for (int i = 0; i < 50; ++i) {
        device.pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(ZYN_END_MP3STREAM(), 1);
    EXPECT_FALSE(stream_active());
}

// The decoder starts at the first frame of a run that begins inside the
// search window; what lies in front, false syncs and frames of another rate
// included, is never heard.
TEST(Mp3Stream, JunkBeforeTheFirstFrameIsSkippedInsideTheWindow) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 0.5);
    const Mp3Fixture decoy = make_mp3(dir, "decoy", 22050, 1, 0.3, 64);
    ASSERT_GT(decoy.frames.count, 2);
    const std::vector<uint8_t> decoy_bytes = read_file(decoy.path);
    const std::vector<uint8_t> audio = read_file(mp3.path);
    // Junk that ends with two frames of the decoy, right before the audio.
    const auto with_junk = [&](size_t junk_bytes) {
        std::vector<uint8_t> junk = sync_junk(junk_bytes, 5);
        const auto pair = static_cast<long>(decoy.frames.offsets[2]);
        std::copy(decoy_bytes.begin(), decoy_bytes.begin() + pair, junk.end() - pair);
        junk.insert(junk.end(), audio.begin(), audio.end());
        return junk;
    };
    const size_t last = zyn::kMpegSearchWindow - 1;
    ASSERT_TRUE(write_file(dir.file("junk.mp3"), with_junk(5000)));
    ASSERT_TRUE(write_file(dir.file("window.mp3"), with_junk(last)));
    ASSERT_TRUE(write_file(dir.file("beyond.mp3"), with_junk(last + 1)));

    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    const auto play = [&] {
        listen();
        EXPECT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
        EXPECT_TRUE(pump_to_end(device).ended);
        return g_taken;
    };
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    const std::vector<int16_t> clean = play();
    ASSERT_EQ(static_cast<int64_t>(clean.size()) * 2,
              round_up(int64_t{4608} * mp3.frames.count, device.block_bytes()));
    for (const char *name : {"junk.mp3", "window.mp3"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(ZYN_CREATE_MP3STREAM(dir.file(name).c_str()), 1);
        const std::vector<int16_t> taken = play();
        ASSERT_EQ(taken.size(), clean.size());
        EXPECT_TRUE(taken == clean);
    }
    const int32_t descriptors = open_descriptor_count();
    EXPECT_EQ(ZYN_CREATE_MP3STREAM(dir.file("beyond.mp3").c_str()), 0);
    EXPECT_EQ(open_descriptor_count(), descriptors);
}

TEST(Mp3Stream, FileDeletedWhileStreamingPlaysToTheEnd) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "tone", 44100, 2, 1.0);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    ASSERT_EQ(unlink(mp3.path.c_str()), 0);
    ASSERT_TRUE(pump_to_end(device).ended);
    EXPECT_EQ(static_cast<int64_t>(g_taken.size()) * 2,
              round_up(int64_t{4608} * mp3.frames.count, device.block_bytes()));
}

TEST(Mp3Stream, ExitWhileTheDecoderWaitsForRoom) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "long", 44100, 2, 4.0);
    const int32_t before = open_descriptor_count();
    {
        PumpDevice device(44100, 2, 256);
        ASSERT_TRUE(device.ok());
        ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
        ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }  // ZYN_EXIT: nobody pumps, the ring is full
    EXPECT_FALSE(stream_active());
    EXPECT_EQ(open_descriptor_count(), before);
}

TEST(Mp3Stream, DeviceWithAnotherBlockSizeEndsTheStreamAndTheNextOneFitsIt) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "long", 44100, 2, 2.0);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the ring is full, the decoder waits
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 1000, -1), 1);
    EXPECT_FALSE(stream_active());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    listen();
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    ASSERT_TRUE(pump_to_end(device).ended);
    EXPECT_EQ(g_taken.size() % 2000, 0u);
    EXPECT_EQ(static_cast<int64_t>(g_taken.size()) * 2, round_up(int64_t{4608} * mp3.frames.count, 4000));
}

// Same block size, other rate or channels: the decoder's format is stale too.
TEST(Mp3Stream, DeviceWithAnotherFormatButTheSameBlockEndsTheStream) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "long", 44100, 2, 2.0);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    ASSERT_EQ(ZYN_INIT(22050, 2, 3, 256, -1), 1);
    EXPECT_FALSE(stream_active());
    ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
    ASSERT_EQ(ZYN_INIT(22050, 1, 3, 512, -1), 1);  // the same block bytes in mono
    EXPECT_FALSE(stream_active()) << "a stream made for stereo must not go on into a mono device";
}

TEST(Mp3Stream, SettersAndEndRaceTheOutputThreadSafely) {
    TempDir dir;
    const Mp3Fixture mp3 = make_mp3(dir, "long", 44100, 2, 3.0);
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(ZYN_CREATE_MP3STREAM(mp3.path.c_str()), 1);
        ASSERT_EQ(ZYN_PLAY_MP3STREAM(1.0f, 0.0f), 1);
        std::atomic<bool> stop{false};
        std::thread output([&] {
            while (!stop.load()) device.pump();
        });
        float v = 0.0f;
        int16_t *block = nullptr;
        int32_t c = 0;
        int32_t f = 0;
        for (int i = 0; i < 2000 && stream_active(); ++i) {
            ZYN_SET_STREAMVOLUME(0.5f + 0.001f * static_cast<float>(i % 100));
            ZYN_SET_STREAMPAN(-0.5f + 0.01f * static_cast<float>(i % 100));
            ZYN_GET_STREAMPAN(&v);
            ZYN_GET_STREAMBUFFER(&block, &c, &f);
            if (round == 1 && i == 300) ZYN_END_MP3STREAM();
        }
        if (round == 2) {
            while (stream_active()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(ZYN_END_MP3STREAM(), 1);
        stop.store(true);
        output.join();
        EXPECT_FALSE(stream_active());
    }
}
