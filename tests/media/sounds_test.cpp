// Sounds heard through hand-pumped fills, every setter's clamp, the play
// range, lengths, row reuse and the work buffers across a device change.
// Expected blocks are built here from the wave's own samples.
#include "test_support.h"
#include "whitebox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <thread>

using namespace zyn_test;

namespace {

constexpr int32_t kFrames = 64;  // frames per block

// A stereo wave whose frame f holds (f + 1, -(f + 1)), so every frame is
// recognisable in a block.
int32_t ramp_wave(int frames) {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    if (ZYN_CREATE_WAVE(frames, &wave, &samples) != 1) return -1;
    for (int f = 0; f < frames; ++f) {
        samples[2 * f] = static_cast<int16_t>(f + 1);
        samples[2 * f + 1] = static_cast<int16_t>(-(f + 1));
    }
    return wave;
}

// The block that plays the given source frames (-1: silence).
std::vector<int16_t> frames_block(const std::vector<int> &frames) {
    std::vector<int16_t> block;
    for (int f : frames) {
        block.push_back(static_cast<int16_t>(f < 0 ? 0 : f + 1));
        block.push_back(static_cast<int16_t>(f < 0 ? 0 : -(f + 1)));
    }
    return block;
}

std::vector<int> run(int first, int count, int step = 1) {
    std::vector<int> frames;
    for (int i = 0; i < count; ++i) frames.push_back(first + i * step);
    return frames;
}

std::vector<int> operator+(std::vector<int> a, const std::vector<int> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<int> silence(int count) { return std::vector<int>(static_cast<size_t>(count), -1); }

int16_t *frame_address(int32_t wave, int frame) {
    int16_t *start = nullptr;
    ZYN_GET_WAVEPOINTERS(wave, &start, nullptr, nullptr);
    return start + 2 * frame;
}

}  // namespace

TEST(Sounds, OneShotWithoutHandleIsHeardOnceAndGivesItsRowBack) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(100);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, nullptr), 1);
    EXPECT_EQ(device.pump(), frames_block(run(0, 64)));
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 1);
    EXPECT_EQ(device.pump(), frames_block(run(64, 36) + silence(28)));
    EXPECT_EQ(sound_row(0).wave_start, nullptr);
    int16_t *buffer = sound_row(0).buffer;
    EXPECT_EQ(device.pump(), frames_block(silence(64)));
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 0);

    int32_t handle = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &handle), 1);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(sound_row(0).buffer, buffer) << "a reused row keeps its work buffer";
    device.pump();
    device.pump();
    EXPECT_NE(sound_row(0).wave_start, nullptr) << "a sound with a handle keeps its row";
    int32_t loops = -1;
    EXPECT_EQ(ZYN_GET_SOUNDLOOPS(handle, &loops), 1);
    EXPECT_EQ(loops, 0);
}

TEST(Sounds, EndlessBackwardsAndFasterPlayback) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(40);

    int32_t endless = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &endless), 1);
    EXPECT_EQ(device.pump(), frames_block(run(0, 40) + run(0, 24)));
    EXPECT_EQ(device.pump(), frames_block(run(24, 16) + run(0, 40) + run(0, 8)));
    ASSERT_EQ(ZYN_DESTROY_SOUND(&endless), 1);

    int32_t back = -1;
    ASSERT_EQ(ZYN_CREATE_SOUND(wave, &back), 1);
    ASSERT_EQ(ZYN_SET_SOUNDSPEED(back, -1.0f), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(back, nullptr, frame_address(wave, 39), nullptr), 1);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(back, 1), 1);
    EXPECT_EQ(device.pump(), frames_block(run(39, 40, -1) + silence(24)));
    ASSERT_EQ(ZYN_DESTROY_SOUND(&back), 1);

    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 2.0f, 1.0f, 0.0f, nullptr), 1);
    EXPECT_EQ(device.pump(), frames_block(run(0, 20, 2) + silence(44)));
}

TEST(Sounds, PlayRangeLoopsInsideTheWave) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(100);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_CREATE_SOUND(wave, &sound), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(sound, frame_address(wave, 10), nullptr, frame_address(wave, 20)),
              1);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(sound, 3), 1);
    EXPECT_EQ(device.pump(), frames_block(run(10, 10) + run(10, 10) + run(10, 10) + silence(34)));

    // ZYN_PLAY_SOUND rewinds to the wave's start, which lies before the range.
    ASSERT_EQ(ZYN_PLAY_SOUND(sound, 2), 1);
    int16_t *position = nullptr;
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound, nullptr, &position, nullptr), 1);
    EXPECT_EQ(position, frame_address(wave, 0));
    EXPECT_EQ(device.pump(), frames_block(run(10, 10) + run(10, 10) + silence(44)));
}

TEST(Sounds, MutedSoundKeepsTimePausedSoundDoesNot) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(300);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &sound), 1);
    EXPECT_EQ(device.pump(), frames_block(run(0, 64)));
    ASSERT_EQ(ZYN_SET_SOUNDMUTED(sound, 1), 1);
    EXPECT_EQ(device.pump(), frames_block(silence(64)));
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 1) << "a muted sound still plays";
    ASSERT_EQ(ZYN_SET_SOUNDMUTED(sound, 0), 1);
    EXPECT_EQ(device.pump(), frames_block(run(128, 64)));

    ASSERT_EQ(ZYN_SET_SOUNDPAUSED(sound, 1), 1);
    EXPECT_EQ(device.pump(), frames_block(silence(64)));
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 0);
    ASSERT_EQ(ZYN_SET_SOUNDPAUSED(sound, 0), 1);
    EXPECT_EQ(device.pump(), frames_block(run(192, 64)));

    // Muted to the end: it still ends on schedule.
    ASSERT_EQ(ZYN_SET_SOUNDMUTED(sound, 1), 1);
    device.pump();
    int32_t loops = -1;
    ASSERT_EQ(ZYN_GET_SOUNDLOOPS(sound, &loops), 1);
    EXPECT_EQ(loops, 0);
}

TEST(Sounds, VolumeAndPanShapeTheBlock) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    int32_t wave = -1;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(kFrames, &wave, &samples), 1);
    for (int i = 0; i < 2 * kFrames; ++i) samples[i] = 1000;
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.5f, 0.0f, &sound), 1);
    std::vector<int16_t> block = device.pump();
    EXPECT_EQ(block[0], 500);
    EXPECT_EQ(block[1], 500);
    ASSERT_EQ(ZYN_SET_SOUNDVOLUME(sound, 1.0f), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPAN(sound, 0.75f), 1);
    block = device.pump();
    EXPECT_EQ(block[0], 250) << "panned right: the left channel is lowered";
    EXPECT_EQ(block[1], 1000);
}

TEST(Sounds, ThreeSoundsWithoutHandlesTakeRowsZeroToTwoThenRowZeroAgain) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(30);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, nullptr), 1);
    EXPECT_EQ(zyn::engine().sound_count, 3);
    for (int i = 0; i < 3; ++i) EXPECT_NE(sound_row(i).wave_start, nullptr);
    device.pump();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sound_row(i).wave_start, nullptr);
    int32_t handle = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &handle), 1);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(zyn::engine().sound_count, 3);
}

// Found by the soak: ZYN_EXIT freed the work buffers but kept the rows, so
// the table stayed as long as the most sounds ever alive together.
TEST(Sounds, ExitReleasesTheTablesWithTheirRows) {
    {
        PumpDevice device(44100, 2, kFrames);
        ASSERT_TRUE(device.ok());
        const int32_t wave = ramp_wave(30);
        for (int i = 0; i < 100; ++i) ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, nullptr), 1);
        int32_t kept = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &kept), 1);
        device.pump();  // the one-shots end and give their rows back
        ASSERT_EQ(zyn::engine().sound_count, 101);
        EXPECT_EQ(ZYN_EXIT(), 1);
        EXPECT_EQ(zyn::engine().sound_count, 0);
        EXPECT_EQ(zyn::engine().sounds.size(), 0u);
        EXPECT_EQ(zyn::engine().wave_count, 0);
        EXPECT_EQ(zyn::engine().waves.size(), 0u);
        int32_t loops = 0;
        EXPECT_EQ(ZYN_GET_SOUNDLOOPS(kept, &loops), 0);
    }
    // A new device starts from row 0 again.
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(30);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &sound), 1);
    EXPECT_EQ(wave, 0);
    EXPECT_EQ(sound, 0);
    EXPECT_EQ(zyn::engine().sound_count, 1);
    EXPECT_EQ(device.pump(), frames_block(run(0, 30) + silence(34)));
}

TEST(Sounds, SettersClampAndGettersReturnTheStoredValue) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(10);
    int32_t s = -1;
    ASSERT_EQ(ZYN_CREATE_SOUND(wave, &s), 1);
    float f = 0.0f;
    int32_t n = 0;

    const struct {
        float given, stored;
    } speeds[] = {{0.0f, 1.0f},          {20000.0f, 16383.0f},   {-20000.0f, -16383.0f},
                  {-1e-7f, 1.5258e-06f}, {1e-7f, -1.5258e-06f},  {2.5f, 2.5f},
                  {-3.0f, -3.0f},        {16383.0f, 16383.0f},   {std::nanf(""), 1.0f}};
    for (const auto &c : speeds) {
        ASSERT_EQ(ZYN_SET_SOUNDSPEED(s, c.given), 1);
        ASSERT_EQ(ZYN_GET_SOUNDSPEED(s, &f), 1);
        EXPECT_EQ(f, c.stored) << "speed " << c.given;
    }
    const struct {
        float given, stored;
    } volumes[] = {{3.0f, 2.0f},     {0.00005f, 0.0f},        {-1.0f, 0.0f},
                   {0.5f, 0.5f},     {std::nanf(""), 0.0f},   {INFINITY, 2.0f},
                   // 0.0001f lies just below 0.0001; the next float above is kept.
                   {0.0001f, 0.0f},  {0.00010001f, 0.00010001f}};
    for (const auto &c : volumes) {
        ASSERT_EQ(ZYN_SET_SOUNDVOLUME(s, c.given), 1);
        ASSERT_EQ(ZYN_GET_SOUNDVOLUME(s, &f), 1);
        EXPECT_EQ(f, c.stored) << "volume " << c.given;
    }
    const struct {
        float given, pan, left, right;
    } pans[] = {{0.5f, 0.5f, 0.5f, 1.0f},
                {-2.0f, -1.0f, 1.0f, 0.0f},
                {3.0f, 1.0f, 0.0f, 1.0f},
                {-0.25f, -0.25f, 1.0f, 0.75f},
                {std::nanf(""), 0.0f, 1.0f, 1.0f}};
    for (const auto &c : pans) {
        ASSERT_EQ(ZYN_SET_SOUNDPAN(s, c.given), 1);
        ASSERT_EQ(ZYN_GET_SOUNDPAN(s, &f), 1);
        EXPECT_EQ(f, c.pan);
        EXPECT_EQ(sound_row(s).left_gain, c.left) << "pan " << c.given;
        EXPECT_EQ(sound_row(s).right_gain, c.right) << "pan " << c.given;
    }
    const struct {
        int32_t given, stored;
    } loops[] = {{0, 0}, {-1, ZYN_LOOP_FOREVER}, {5, 5}, {ZYN_LOOP_FOREVER, ZYN_LOOP_FOREVER}};
    for (const auto &c : loops) {
        ASSERT_EQ(ZYN_SET_SOUNDLOOPS(s, c.given), 1);
        ASSERT_EQ(ZYN_GET_SOUNDLOOPS(s, &n), 1);
        EXPECT_EQ(n, c.stored) << "loops " << c.given;
    }
    ASSERT_EQ(ZYN_SET_SOUNDMUTED(s, 7), 1);
    ASSERT_EQ(ZYN_GET_SOUNDMUTED(s, &n), 1);
    EXPECT_EQ(n, 7);
    ASSERT_EQ(ZYN_SET_SOUNDPAUSED(s, -2), 1);
    ASSERT_EQ(ZYN_GET_SOUNDPAUSED(s, &n), 1);
    EXPECT_EQ(n, -2);

    // ZYN_PLAY_WAVE: loops below 1 are endless, volume is kept unclamped.
    int32_t p = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, -5, 0.0f, 5.0f, -2.0f, &p), 1);
    ASSERT_EQ(ZYN_GET_SOUNDLOOPS(p, &n), 1);
    EXPECT_EQ(n, ZYN_LOOP_FOREVER);
    ASSERT_EQ(ZYN_GET_SOUNDVOLUME(p, &f), 1);
    EXPECT_EQ(f, 5.0f);
    ASSERT_EQ(ZYN_GET_SOUNDSPEED(p, &f), 1);
    EXPECT_EQ(f, 1.0f);
    ASSERT_EQ(ZYN_GET_SOUNDPAN(p, &f), 1);
    EXPECT_EQ(f, -1.0f);

    // Invalid handles and null out pointers.
    for (int32_t bad : {-1, 2, 100}) {
        EXPECT_EQ(ZYN_SET_SOUNDSPEED(bad, 1.0f), 0);
        EXPECT_EQ(ZYN_SET_SOUNDVOLUME(bad, 1.0f), 0);
        EXPECT_EQ(ZYN_SET_SOUNDPAN(bad, 0.0f), 0);
        EXPECT_EQ(ZYN_SET_SOUNDLOOPS(bad, 1), 0);
        EXPECT_EQ(ZYN_SET_SOUNDMUTED(bad, 1), 0);
        EXPECT_EQ(ZYN_SET_SOUNDPAUSED(bad, 1), 0);
        EXPECT_EQ(ZYN_GET_SOUNDSPEED(bad, &f), 0);
        EXPECT_EQ(ZYN_PLAY_SOUND(bad, 1), 0);
        EXPECT_EQ(ZYN_SET_SOUNDPOINTERS(bad, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(ZYN_GET_SOUNDPOINTERS(bad, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(ZYN_GET_SOUNDLENGTH(bad, &n), 0);
    }
    EXPECT_EQ(ZYN_GET_SOUNDSPEED(s, nullptr), 0);
    EXPECT_EQ(ZYN_GET_SOUNDVOLUME(s, nullptr), 0);
    EXPECT_EQ(ZYN_GET_SOUNDPAN(s, nullptr), 0);
    EXPECT_EQ(ZYN_GET_SOUNDLOOPS(s, nullptr), 0);
    EXPECT_EQ(ZYN_GET_SOUNDMUTED(s, nullptr), 0);
    EXPECT_EQ(ZYN_GET_SOUNDPAUSED(s, nullptr), 0);
    EXPECT_EQ(ZYN_GET_SOUNDLENGTH(s, nullptr), 0);
    EXPECT_EQ(ZYN_CREATE_SOUND(wave, nullptr), 0);
    EXPECT_EQ(ZYN_CREATE_SOUND(wave + 1, &n), 0);
    EXPECT_EQ(ZYN_PLAY_WAVE(-1, 1, 1.0f, 1.0f, 0.0f, nullptr), 0);
}

TEST(Sounds, PointersAreClampedIntoTheWave) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(100);
    int16_t *wave_start = frame_address(wave, 0);
    int16_t *wave_end = frame_address(wave, 100);
    int32_t s = -1;
    ASSERT_EQ(ZYN_CREATE_SOUND(wave, &s), 1);
    int16_t *start = nullptr, *pos = nullptr, *end = nullptr;

    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, wave_end + 50, nullptr, nullptr), 1);
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, &pos, &end), 1);
    EXPECT_EQ(start, frame_address(wave, 99)) << "a start beyond the wave is its last frame";
    EXPECT_EQ(end, wave_end);
    EXPECT_EQ(pos, wave_start) << "a position before the range is left to the mixer";

    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, frame_address(wave, 60), frame_address(wave, 5),
                                    frame_address(wave, 30)),
              1);
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, &pos, &end), 1);
    EXPECT_EQ(start, frame_address(wave, 30)) << "start after end: the two are exchanged";
    EXPECT_EQ(end, frame_address(wave, 60));
    EXPECT_EQ(pos, start);

    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, wave_start - 8, frame_address(wave, 80), wave_start - 2), 1);
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, &pos, &end), 1);
    EXPECT_EQ(start, wave_start);
    EXPECT_EQ(end, frame_address(wave, 1)) << "an end before the wave keeps one frame";
    EXPECT_EQ(pos, end);

    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, nullptr, nullptr, wave_end + 100), 1);
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, &pos, &end), 1);
    EXPECT_EQ(end, wave_end);
    EXPECT_EQ(pos, frame_address(wave, 1)) << "inside the range: unchanged";
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, frame_address(wave, 50), nullptr, nullptr), 1);
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, &pos, &end), 1);
    EXPECT_EQ(pos, frame_address(wave, 1)) << "before the range: the mixer starts at its start";
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, nullptr, wave_end, nullptr), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, nullptr, nullptr, frame_address(wave, 70)), 1);
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, &pos, &end), 1);
    EXPECT_EQ(pos, start) << "at or past the new end: back to the start";
    EXPECT_EQ(ZYN_GET_SOUNDPOINTERS(s, nullptr, nullptr, nullptr), 1);
}

// A wave made on a one-channel device keeps its two-byte frames on the
// two-channel device opened after it: an end before the wave keeps one of
// them (a device frame of four bytes would reach past a one-frame wave), and
// that frame is heard on both sides.
TEST(Sounds, AnEndBeforeTheWaveKeepsOneOfTheWavesOwnFrames) {
    PumpDevice device(44100, 1, kFrames);
    ASSERT_TRUE(device.ok());
    int32_t wave = -1;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(1, &wave, &samples), 1);
    samples[0] = 1234;
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, kFrames, -1), 1);
    ASSERT_EQ(ZYN_GET_PLUGCHANNELS(), 2);
    int32_t sound = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(sound, nullptr, nullptr, samples), 1);
    int16_t *start = nullptr, *position = nullptr, *end = nullptr;
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound, &start, &position, &end), 1);
    EXPECT_EQ(start, samples);
    EXPECT_EQ(end, samples + 1) << "the wave's own frame, not past the samples";
    for (int16_t s : device.pump()) ASSERT_EQ(s, 1234) << "the one frame on both sides";
    // Where the wave holds a frame, the end still keeps one.
    int32_t longer = -1;
    ASSERT_EQ(ZYN_CREATE_WAVE(3, &longer, &samples), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(longer, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(sound, nullptr, nullptr, samples), 1);
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound, &start, &position, &end), 1);
    EXPECT_EQ(end, samples + 2);
}

// A range set to start and end at the same frame keeps that frame, as an
// end before the wave keeps its first: the sound plays it and ends.
TEST(Sounds, AnEmptyRangeKeepsOneFrameAndTheSoundEnds) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(100);
    struct Case {
        int first_start, first_end;  // a first call (-1: null)
        int start, end;              // the second call
        int kept;                    // the frame the range keeps
    };
    const Case cases[] = {{-1, -1, 40, 40, 40}, {-1, -1, 99, 99, 99}, {-1, 60, 60, -1, 60},
                          {20, -1, -1, 20, 20}};
    const auto at = [&](int f) { return f < 0 ? nullptr : frame_address(wave, f); };
    for (const Case &c : cases) {
        SCOPED_TRACE("start " + std::to_string(c.start) + ", end " + std::to_string(c.end));
        int32_t s = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &s), 1);
        ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, at(c.first_start), nullptr, at(c.first_end)), 1);
        ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, at(c.start), nullptr, at(c.end)), 1);
        int16_t *start = nullptr, *end = nullptr;
        ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, nullptr, &end), 1);
        EXPECT_EQ(start, frame_address(wave, c.kept));
        EXPECT_EQ(end, frame_address(wave, c.kept + 1));
        EXPECT_EQ(device.pump(), frames_block(run(c.kept, 1) + silence(63)));
        EXPECT_EQ(ZYN_IS_PLAYING(s), 0) << "the single pass is over";
        ASSERT_EQ(ZYN_DESTROY_SOUND(&s), 1);
    }
}

TEST(Sounds, PointersInsideAFrameMoveDownToItsStart) {
    const auto bytes_after = [](int16_t *p, int bytes) {
        return reinterpret_cast<int16_t *>(reinterpret_cast<uint8_t *>(p) + bytes);
    };
    {
        PumpDevice device(44100, 2, kFrames);
        ASSERT_TRUE(device.ok());
        const int32_t wave = ramp_wave(100);
        int32_t s = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &s), 1);
        ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, bytes_after(frame_address(wave, 10), 3),
                                        bytes_after(frame_address(wave, 20), 2),
                                        bytes_after(frame_address(wave, 90), 1)),
                  1);
        int16_t *start = nullptr, *pos = nullptr, *end = nullptr;
        ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, &pos, &end), 1);
        EXPECT_EQ(start, frame_address(wave, 10));
        EXPECT_EQ(pos, frame_address(wave, 20));
        EXPECT_EQ(end, frame_address(wave, 90));
        // Whole frames, left in the left channel: frames 20.. then the wrap to 10.
        EXPECT_EQ(device.pump(), frames_block(run(20, 64)));
        EXPECT_EQ(device.pump(), frames_block(run(84, 6) + silence(58)));
    }
    PumpDevice mono(44100, 1, kFrames);
    ASSERT_TRUE(mono.ok());
    int32_t wave = -1;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(100, &wave, &samples), 1);
    for (int f = 0; f < 100; ++f) samples[f] = static_cast<int16_t>(f + 1);
    int32_t s = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &s), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, bytes_after(samples + 5, 1), bytes_after(samples + 7, 1),
                                    bytes_after(samples + 99, 1)),
              1);
    int16_t *start = nullptr, *pos = nullptr, *end = nullptr;
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(s, &start, &pos, &end), 1);
    EXPECT_EQ(start, samples + 5);
    EXPECT_EQ(pos, samples + 7);
    EXPECT_EQ(end, samples + 99);
    const std::vector<int16_t> block = mono.pump();
    for (int i = 0; i < 64; ++i) ASSERT_EQ(block[static_cast<size_t>(i)], 8 + i) << i;
}

TEST(Sounds, LengthFollowsRangeSpeedAndLoops) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    int32_t wave = -1;
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(44100, &wave, &samples), 1);
    int32_t s = -1, ms = 0;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 3, 1.0f, 1.0f, 0.0f, &s), 1);
    ASSERT_EQ(ZYN_GET_SOUNDLENGTH(s, &ms), 1);
    EXPECT_EQ(ms, 3000);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(s, 1), 1);
    ASSERT_EQ(ZYN_SET_SOUNDSPEED(s, 2.0f), 1);
    ASSERT_EQ(ZYN_GET_SOUNDLENGTH(s, &ms), 1);
    EXPECT_EQ(ms, 500);
    ASSERT_EQ(ZYN_SET_SOUNDSPEED(s, -0.5f), 1);
    ASSERT_EQ(ZYN_GET_SOUNDLENGTH(s, &ms), 1);
    EXPECT_EQ(ms, -2000) << "backwards sounds report a negative length";
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(s, -1), 1);
    ASSERT_EQ(ZYN_GET_SOUNDLENGTH(s, &ms), 1);
    EXPECT_EQ(ms, std::numeric_limits<int32_t>::min()) << "endless: saturated, not wrapped";
    ASSERT_EQ(ZYN_SET_SOUNDSPEED(s, 1.0f), 1);
    ASSERT_EQ(ZYN_GET_SOUNDLENGTH(s, &ms), 1);
    EXPECT_EQ(ms, std::numeric_limits<int32_t>::max());
    ASSERT_EQ(ZYN_SET_SOUNDSPEED(s, 2e-5f), 1);  // under one frame a second
    ASSERT_EQ(ZYN_GET_SOUNDLENGTH(s, &ms), 1);
    EXPECT_EQ(ms, 0);
}

TEST(Sounds, DestroyFreesRowAndBuffer) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(100);
    int32_t s = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &s), 1);
    const int32_t row = s;
    ASSERT_EQ(ZYN_DESTROY_SOUND(&s), 1);
    EXPECT_EQ(s, -1);
    EXPECT_EQ(sound_row(row).wave_start, nullptr);
    EXPECT_EQ(sound_row(row).buffer, nullptr);
    EXPECT_EQ(sound_row(row).paused, 1);
    EXPECT_EQ(ZYN_DESTROY_SOUND(&s), 0);
    s = row;
    EXPECT_EQ(ZYN_DESTROY_SOUND(&s), 0) << "the old handle is no longer valid";
    EXPECT_EQ(ZYN_DESTROY_SOUND(nullptr), 0);
    EXPECT_EQ(device.pump(), frames_block(silence(64)));
    // The row is taken again and gets a new buffer.
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &s), 1);
    EXPECT_EQ(s, row);
    EXPECT_EQ(device.pump(), frames_block(run(0, 64)));
}

TEST(Sounds, ReinitialisingWithALargerBlockGrowsTheWorkBuffers) {
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(10000);
    int32_t held = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.5f, 0.25f, &held), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, nullptr), 1);
    int32_t stopped = -1;
    ASSERT_EQ(ZYN_CREATE_SOUND(wave, &stopped), 1);
    device.pump();

    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 4096, -1), 1);
    ASSERT_EQ(device.block_bytes(), 4096 * 4);
    EXPECT_EQ(zyn::engine().work_buffer_bytes, 4096 * 4 + 512);
    ASSERT_EQ(ZYN_SET_SOUNDVOLUME(held, 0.0f), 1);
    ASSERT_EQ(ZYN_PLAY_SOUND(stopped, 1), 1);
    // Two playing sounds over whole 4096-frame blocks: a work buffer still
    // sized for 256 frames would be overrun (AddressSanitizer reports it).
    std::vector<int16_t> block = device.pump();
    ASSERT_EQ(block.size(), 2u * 4096);
    // Row 1 continues from frame 256; row 2 starts at frame 0 and ends at 10000.
    for (int f = 0; f < 4096; ++f) {
        ASSERT_EQ(block[2 * f], (256 + f) % 10000 + 1 + f + 1) << f;
    }
    for (int i = 0; i < 3; ++i) device.pump();

    // A smaller block afterwards works as well.
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 64, -1), 1);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(held, 0), 1);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(stopped, 0), 1);
    int32_t fresh = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &fresh), 1);
    const std::vector<int16_t> small = device.pump();
    ASSERT_EQ(small.size(), 2u * 64);
}

// Another thread starts sounds while the device is opened again and again
// with other blocks (which gives every sound a new work buffer): each sound
// it was given a handle for keeps playing under that handle.
TEST(Sounds, SoundsStartedWhileTheBlockSizeChangesKeepPlayingUnderTheirHandles) {
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(1000);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.0f, 0.0f, nullptr), 1);
    struct Started {
        int32_t handle;
        float volume;
    };
    std::vector<Started> started;
    std::atomic<bool> reopening{true};
    std::thread player([&] {
        for (int k = 1; k <= 300 && reopening.load(); ++k) {
            const float volume = static_cast<float>(k) / 1024.0f;
            int32_t handle = -1;
            if (ZYN_PLAY_WAVE(wave, 0, 1.0f, volume, 0.0f, &handle) == 1) started.push_back({handle, volume});
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    for (int i = 0; i < 30; ++i) ASSERT_EQ(ZYN_INIT(44100, 2, 3, i % 2 == 0 ? 16384 : 256, -1), 1);
    reopening.store(false);
    player.join();
    ASSERT_FALSE(started.empty());
    std::set<int32_t> handles;
    for (const Started &s : started) {
        SCOPED_TRACE("handle " + std::to_string(s.handle));
        EXPECT_TRUE(handles.insert(s.handle).second) << "a handle given out twice";
        float volume = -1.0f;
        ASSERT_EQ(ZYN_GET_SOUNDVOLUME(s.handle, &volume), 1);
        EXPECT_EQ(volume, s.volume) << "the handle plays another sound";
        EXPECT_EQ(ZYN_IS_PLAYING(s.handle), 1);
    }
    device.pump();  // every work buffer fits the block (AddressSanitizer)
}

TEST(Sounds, StartingBackwardsPlaysTheWholeRangeFromItsEnd) {
    PumpDevice device(44100, 2, kFrames);
    ASSERT_TRUE(device.ok());
    const int32_t wave = ramp_wave(40);
    int32_t s = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 1, -1.0f, 1.0f, 0.0f, &s), 1);
    EXPECT_EQ(device.pump(), frames_block(run(39, 40, -1) + silence(24)));

    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(s, frame_address(wave, 5), nullptr, frame_address(wave, 25)), 1);
    ASSERT_EQ(ZYN_PLAY_SOUND(s, 2), 1);
    EXPECT_EQ(device.pump(), frames_block(run(24, 20, -1) + run(24, 20, -1) + silence(24)));
}
