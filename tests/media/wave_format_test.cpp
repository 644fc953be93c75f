// Waves across a ZYN_INIT in another format: each keeps the rate and channel
// count it was made in, plays at its pitch and level in the device's layout
// (every resampler mode, forwards and backwards), and every answer about it
// speaks of its own frames.
#include "sound_files.h"
#include "test_support.h"
#include "tone_measure.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

using namespace zyn_test;

namespace {

struct Format {
    int32_t rate;
    int32_t channels;
};

constexpr int32_t kBlock = 512;
// 50 frames a period at 44100 Hz and 25 at 22050 Hz: a wave of whole
// periods loops without a seam at either rate.
constexpr double kTone = 882.0;
constexpr double kLeft = 8000.0;   // amplitude of a wave's left side (a mono wave's only one)
constexpr double kRight = 4000.0;  // of a stereo wave's right side

// 100 periods of the tone in the format; returns the handle.
int32_t tone_wave(Format f, int16_t **samples = nullptr, int32_t *frames = nullptr) {
    const auto n = static_cast<int32_t>(std::lround(100.0 * f.rate / kTone));
    int32_t wave = -1;
    int16_t *s = nullptr;
    if (ZYN_CREATE_WAVE(n, &wave, &s) != 1) return -1;
    for (int32_t i = 0; i < n; ++i) {
        const double x = std::sin(2.0 * M_PI * kTone * i / f.rate);
        s[i * f.channels] = static_cast<int16_t>(std::lround(kLeft * x));
        if (f.channels == 2) s[i * 2 + 1] = static_cast<int16_t>(std::lround(kRight * x));
    }
    if (samples != nullptr) *samples = s;
    if (frames != nullptr) *frames = n;
    return wave;
}

double db(double ratio) { return 20.0 * std::log10(ratio); }

TEST(WaveFormat, ToneKeepsPitchLevelAndLayoutOnADeviceOfAnotherFormat) {
    struct Case {
        Format made, played;
        int32_t mode;
        float speed;
        float pan;
    };
    const Case cases[] = {
        {{44100, 1}, {44100, 2}, ZYN_RESAMPLE_NEAREST, 1.0f, 0.0f},
        {{44100, 1}, {44100, 2}, ZYN_RESAMPLE_SINC, -1.0f, 0.0f},
        {{44100, 1}, {44100, 2}, ZYN_RESAMPLE_NEAREST, 1.0f, 0.5f},
        {{44100, 2}, {44100, 1}, ZYN_RESAMPLE_NEAREST, -1.0f, 0.0f},
        {{44100, 2}, {44100, 1}, ZYN_RESAMPLE_CUBIC, 1.0f, 0.0f},
        {{44100, 2}, {22050, 2}, ZYN_RESAMPLE_NEAREST, 1.0f, 0.0f},
        {{44100, 2}, {22050, 2}, ZYN_RESAMPLE_SINC, 1.0f, 0.0f},
        {{44100, 2}, {22050, 2}, ZYN_RESAMPLE_LINEAR, -1.0f, 0.0f},
        {{22050, 2}, {44100, 2}, ZYN_RESAMPLE_NEAREST, -1.0f, 0.0f},
        {{22050, 2}, {44100, 2}, ZYN_RESAMPLE_CUBIC, 1.0f, 0.0f},
        {{22050, 2}, {44100, 2}, ZYN_RESAMPLE_LINEAR, 0.5f, 0.0f},
        {{22050, 1}, {44100, 2}, ZYN_RESAMPLE_SINC, -1.0f, 0.0f},
        {{44100, 2}, {22050, 1}, ZYN_RESAMPLE_LINEAR, 1.5f, 0.0f},
    };
    PumpDevice device(44100, 2, kBlock);
    ASSERT_TRUE(device.ok());
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.made.rate << " Hz x" << c.made.channels << " on "
                                        << c.played.rate << " Hz x" << c.played.channels << ", mode "
                                        << c.mode << ", speed " << c.speed << ", pan " << c.pan);
        ASSERT_EQ(ZYN_INIT(c.made.rate, c.made.channels, 3, kBlock, -1), 1);
        int32_t wave = tone_wave(c.made);
        ASSERT_GE(wave, 0);
        ASSERT_EQ(ZYN_INIT(c.played.rate, c.played.channels, 3, kBlock, -1), 1);
        ASSERT_EQ(ZYN_SET_RESAMPLER(c.mode), 1);
        int32_t sound = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, c.speed, 1.0f, c.pan, &sound), 1);
        std::vector<int16_t> out;
        for (int i = 0; i < 40; ++i) {
            const std::vector<int16_t> block = device.pump();
            out.insert(out.end(), block.begin(), block.end());
        }
        const size_t frames = out.size() / static_cast<size_t>(c.played.channels);
        ASSERT_EQ(frames, 40u * kBlock);
        // A stereo wave on a mono device is the mean of its sides; a mono
        // one on a stereo device feeds both, then pan shapes them as usual.
        const double made_right = c.made.channels == 2 ? kRight : kLeft;
        const double expected[2] = {
            c.played.channels == 1 ? (kLeft + made_right) / 2 : kLeft * (c.pan > 0 ? 1.0 - c.pan : 1.0),
            made_right};
        for (int32_t ch = 0; ch < c.played.channels; ++ch) {
            const ToneMeasure m = measure_tone(channel_samples(out.data(), frames, c.played.channels, ch), c.played.rate);
            EXPECT_NEAR(m.frequency, kTone * std::fabs(c.speed), 0.05) << "channel " << ch;
            EXPECT_NEAR(db(m.amplitude / expected[ch]), 0.0, 0.1) << "channel " << ch;
            // Nearest leaves the images of a rate raised (-24 dB here); the
            // others take them away.
            if (c.mode != ZYN_RESAMPLE_NEAREST) {
                EXPECT_LE(m.residual_db, -45.0) << "channel " << ch;
            }
        }
        if (c.made.channels == 1 && c.played.channels == 2 && c.pan == 0.0f) {
            for (size_t f = 0; f < frames; ++f) ASSERT_EQ(out[2 * f], out[2 * f + 1]) << "frame " << f;
        }
        ASSERT_EQ(ZYN_DESTROY_WAVE(&wave), 1);
    }
}

// The wave's own frames and rate in every answer; the speed as it was set.
TEST(WaveFormat, QueriesAndPointersSpeakOfTheWavesOwnFormat) {
    struct Case {
        Format made, played;
    };
    const Case cases[] = {
        {{44100, 1}, {44100, 2}},
        {{44100, 2}, {44100, 1}},
        {{44100, 2}, {22050, 2}},
        {{22050, 1}, {44100, 2}},
    };
    PumpDevice device(44100, 2, kBlock);
    ASSERT_TRUE(device.ok());
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.made.rate << " Hz x" << c.made.channels << " on "
                                        << c.played.rate << " Hz x" << c.played.channels);
        ASSERT_EQ(ZYN_INIT(c.made.rate, c.made.channels, 3, kBlock, -1), 1);
        int16_t *samples = nullptr;
        int32_t frames = 0;
        int32_t wave = tone_wave(c.made, &samples, &frames);
        ASSERT_GE(wave, 0);
        ASSERT_EQ(ZYN_INIT(c.played.rate, c.played.channels, 3, kBlock, -1), 1);

        int16_t *start = nullptr, *end = nullptr;
        int32_t channels = 0;
        ASSERT_EQ(ZYN_GET_WAVEPOINTERS(wave, &start, &end, &channels), 1);
        EXPECT_EQ(start, samples) << "the samples never move";
        EXPECT_EQ(end - start, static_cast<ptrdiff_t>(frames) * c.made.channels);
        EXPECT_EQ(channels, c.made.channels);
        int64_t info_frames = 0;
        int32_t rate = 0;
        channels = 0;
        ASSERT_EQ(ZYN_GET_WAVEINFO(wave, &info_frames, &rate, &channels), 1);
        EXPECT_EQ(info_frames, frames);
        EXPECT_EQ(rate, c.made.rate);
        EXPECT_EQ(channels, c.made.channels);
        int32_t ms = 0;
        ASSERT_EQ(ZYN_GET_WAVELENGTH(wave, &ms), 1);
        EXPECT_EQ(ms, static_cast<int64_t>(frames) * 1000 / c.made.rate);

        int32_t sound = -1;
        ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 2.0f, 1.0f, 0.0f, &sound), 1);
        float speed = 0.0f;
        ASSERT_EQ(ZYN_GET_SOUNDSPEED(sound, &speed), 1);
        EXPECT_EQ(speed, 2.0f);
        ASSERT_EQ(ZYN_SET_SOUNDLOOPS(sound, 1), 1);
        ASSERT_EQ(ZYN_GET_SOUNDLENGTH(sound, &ms), 1);
        EXPECT_EQ(ms, static_cast<int64_t>(frames) * 1000 / (2 * c.made.rate));
        ASSERT_EQ(ZYN_SET_SOUNDLOOPS(sound, -1), 1);

        // Pointers land on the wave's own frame boundaries.
        const auto on_frame = [&](int index) { return samples + index / c.made.channels * c.made.channels; };
        ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(sound, samples + 3, samples + 7, samples + 301), 1);
        int16_t *range_start = nullptr, *position = nullptr, *range_end = nullptr;
        ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound, &range_start, &position, &range_end), 1);
        EXPECT_EQ(range_start, on_frame(3));
        EXPECT_EQ(position, on_frame(7));
        EXPECT_EQ(range_end, on_frame(301));
        // ... and stay inside the range, on them, while it plays.
        for (int i = 0; i < 8; ++i) {
            device.pump();
            ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(sound, &range_start, &position, &range_end), 1);
            ASSERT_GE(position, range_start);
            ASSERT_LT(position, range_end);
            ASSERT_EQ((position - samples) % c.made.channels, 0) << "block " << i;
        }
        ASSERT_EQ(ZYN_DESTROY_WAVE(&wave), 1);
    }
    int64_t frames = 7;
    EXPECT_EQ(ZYN_GET_WAVEINFO(0, &frames, nullptr, nullptr), 0) << "a destroyed wave";
    EXPECT_EQ(frames, 7);
    EXPECT_NE(std::string(ZYN_GET_LASTERROR()), "");
}

// A load that a ZYN_INIT in another format overtakes keeps its wave, in the
// format it was converted to.
TEST(WaveFormat, ALoadOvertakenByAnotherFormatKeepsItsWave) {
    PumpDevice device(44100, 2, kBlock);
    ASSERT_TRUE(device.ok());
    const std::vector<uint8_t> image = wav_image(sine(48000, 2, 1000.0, 2.0, 0.5), Encoding::s16);
    const Format formats[] = {{44100, 2}, {22050, 1}};
    int kept = 0;
    // Most loads begin between two formats and are refused; under a
    // sanitizer's slower clock far more of them, so it takes many tries.
    for (int attempt = 0; attempt < 400 && kept < 4; ++attempt) {
        std::atomic<bool> loading{true};
        std::thread flipper([&] {
            for (int i = 0; loading.load(); ++i) {
                const Format f = formats[i % 2];
                ZYN_INIT(f.rate, f.channels, 3, kBlock, -1);
            }
        });
        int32_t wave = -1;
        const int32_t result = ZYN_LOAD_MEMORY(image.data(), image.size(), &wave);
        const std::string why = ZYN_GET_LASTERROR();
        loading.store(false);
        flipper.join();
        if (result != 1) {
            // Begun while the device was between two formats: refused at the start, as ever.
            ASSERT_NE(why.find("not initialised"), std::string::npos) << why;
            continue;
        }
        ++kept;
        int64_t frames = 0;
        int32_t rate = 0, channels = 0;
        ASSERT_EQ(ZYN_GET_WAVEINFO(wave, &frames, &rate, &channels), 1);
        const bool known = (rate == 44100 && channels == 2) || (rate == 22050 && channels == 1);
        EXPECT_TRUE(known) << rate << " Hz x" << channels;
        EXPECT_NEAR(static_cast<double>(frames), 2.0 * rate, 1.0) << "two seconds at its own rate";
    }
    EXPECT_GE(kept, 1);
}

}  // namespace
