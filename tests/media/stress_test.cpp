// One thread makes, plays, changes and destroys waves and sounds as fast as it
// can while another pumps fills without pause. Run under ThreadSanitizer and
// AddressSanitizer: a row seen half-made or a block freed under the mixer
// shows up there; here the end state is checked.
#include "test_support.h"
#include "wav_fixture.h"
#include "whitebox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

using namespace zyn_test;

TEST(MediaStress, MakingAndDestroyingWhileTheMixerRuns) {
    PumpDevice device(44100, 2, 128);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::string file = dir.file("loop.wav");
    std::vector<int16_t> pcm(2 * 3000);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(i * 37);
    WavLayout layout;
    layout.rate = 22050;
    ASSERT_TRUE(write_file(file, wav_image(layout, pcm16(pcm))));

    std::atomic<bool> done{false};
    std::atomic<int> fills{0};
    std::thread mixer([&] {
        // Bounded even if the other side hangs.
        for (int i = 0; i < 2000000 && !done.load(); ++i) {
            device.pump();
            fills.fetch_add(1);
        }
    });

    // Start only once fills are running, so the two sides overlap.
    for (int i = 0; i < 100000000 && fills.load() == 0; ++i) std::this_thread::yield();

    std::mt19937 random(12345);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const float speeds[] = {1.0f, 2.0f, 0.5f, -1.0f, -3.5f, 0.0f, 1e-7f, 700.0f};
    int32_t older = -1;
    int loaded = 0;
    for (int round = 0; round < 2000; ++round) {
        int32_t wave = -1;
        int16_t *samples = nullptr;
        if (round % 8 == 0) {
            ASSERT_EQ(ZYN_LOAD_WAVFILE(file.c_str(), &wave), 1);
            ++loaded;
        } else {
            ASSERT_EQ(ZYN_CREATE_WAVE(1 + pick(2000), &wave, &samples), 1);
            samples[0] = 100;
        }
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(ZYN_PLAY_WAVE(wave, pick(3), speeds[pick(8)], 0.8f, -0.5f, nullptr), 1);
        int32_t held = -1, made = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, speeds[pick(8)], 1.0f, 0.3f, &held), 1);
        ASSERT_EQ(ZYN_CREATE_SOUND(wave, &made), 1);
        ASSERT_EQ(ZYN_PLAY_SOUND(made, 2), 1);
        int16_t *start = nullptr, *end = nullptr;
        ASSERT_EQ(ZYN_GET_WAVEPOINTERS(wave, &start, &end, nullptr), 1);
        ZYN_SET_SOUNDPOINTERS(held, start + 2 * pick(10), nullptr, end - 2 * pick(10));
        ZYN_SET_SOUNDSPEED(held, speeds[pick(8)]);
        ZYN_SET_SOUNDVOLUME(made, 0.5f);
        ZYN_SET_SOUNDPAN(made, 1.0f);
        ZYN_SET_SOUNDMUTED(made, pick(2));
        ZYN_SET_SOUNDPAUSED(held, pick(2));
        int32_t ms = 0;
        ZYN_GET_SOUNDLENGTH(held, &ms);
        if (pick(2) == 0) {
            ASSERT_EQ(ZYN_DESTROY_SOUND(&made), 1);
        }
        // Waves live across two rounds, so sounds of two waves overlap.
        if (older >= 0) {
            ASSERT_EQ(ZYN_DESTROY_WAVE(&older), 1);
        }
        older = wave;
        if (round % 50 == 0) std::this_thread::yield();
    }
    ASSERT_EQ(ZYN_DESTROY_WAVE(&older), 1);
    done.store(true);
    mixer.join();

    EXPECT_GT(fills.load(), 0);
    RecordProperty("fills", fills.load());
    EXPECT_EQ(loaded, 250);
    for (int16_t s : device.pump()) ASSERT_EQ(s, 0) << "every wave is gone, so is every sound";
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 0);
    for (int32_t i = 0; i < zyn::engine().sound_count; ++i)
        EXPECT_EQ(sound_row(i).wave_start, nullptr) << "row " << i;
    EXPECT_LE(zyn::engine().sound_count, 10) << "freed rows are reused";
    EXPECT_LE(zyn::engine().wave_count, 2);
}
