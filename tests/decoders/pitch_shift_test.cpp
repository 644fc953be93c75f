// The phase-vocoder pitch shifter through ZYN_PITCHSHIFT on a hand-pumped device.
#include "decoder_fixtures.h"
#include "test_support.h"
#include "zyn.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <barrier>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <thread>
#include <vector>

using namespace zyn_test;

namespace {

std::vector<int16_t> sine(size_t frames, int32_t channels, double frequency, double amplitude,
                          int32_t rate = 44100) {
    std::vector<int16_t> out(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i)
        for (int32_t c = 0; c < channels; ++c)
            out[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * frequency * i / rate)));
    return out;
}

std::vector<int16_t> noise(size_t samples, unsigned seed) {
    std::vector<int16_t> out(samples);
    for (auto &s : out) {
        seed = seed * 1103515245u + 12345u;
        s = static_cast<int16_t>(static_cast<int32_t>((seed >> 16) & 0x7FFF) - 16384);
    }
    return out;
}

// Runs job in a child process (a fresh shifter) and returns what it wrote.
template <typename Job>
std::vector<int16_t> in_fresh_process(size_t samples, Job job) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_fds[0]);
        std::vector<int16_t> out = job();
        const char *p = reinterpret_cast<const char *>(out.data());
        size_t left = out.size() * sizeof(int16_t);
        while (left > 0) {
            const ssize_t n = write(pipe_fds[1], p, left);
            if (n <= 0) break;
            p += n;
            left -= static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(pipe_fds[1]);
    std::vector<int16_t> out(samples);
    char *p = reinterpret_cast<char *>(out.data());
    size_t left = samples * sizeof(int16_t);
    while (left > 0) {
        const ssize_t n = read(pipe_fds[0], p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
    close(pipe_fds[0]);
    waitpid(child, nullptr, 0);
    out.resize(samples * sizeof(int16_t) - left > 0 ? (samples * sizeof(int16_t) - left) / 2 : 0);
    return out;
}

}  // namespace

TEST(PitchShift, DoesNothingBeforeInitAndForBadArguments) {
    std::vector<int16_t> src = noise(4096, 1);
    std::vector<int16_t> dst(4096, 1234);
    ZYN_PITCHSHIFT(dst.data(), src.data(), 1.0f, 2048);  // no engine yet
    EXPECT_EQ(dst, std::vector<int16_t>(4096, 1234));

    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    for (float pitch : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(),
                        std::numeric_limits<float>::infinity()}) {
        ZYN_PITCHSHIFT(dst.data(), src.data(), pitch, 2048);
        EXPECT_EQ(dst, std::vector<int16_t>(4096, 1234)) << pitch;
    }
    ZYN_PITCHSHIFT(dst.data(), src.data(), 1.0f, 0);
    EXPECT_EQ(dst, std::vector<int16_t>(4096, 1234));
}

TEST(PitchShift, UnisonIsTheInputDelayedByOneFrameAndScaledByOneAndAHalf) {
    PumpDevice device(44100, 1);
    ASSERT_TRUE(device.ok());
    const size_t n = 44100;
    std::vector<int16_t> src = sine(n, 1, 441.0, 8000.0);
    std::vector<int16_t> dst(n, 777);
    ZYN_PITCHSHIFT(dst.data(), src.data(), 1.0f, static_cast<int32_t>(n));

    for (size_t i = 0; i < 128; ++i) ASSERT_EQ(dst[i], 0) << i;
    // After the start-up frames the output follows the input 1024 samples late.
    double error = 0.0;
    double energy = 0.0;
    for (size_t i = 8192; i < n; ++i) {
        const double expected = 1.5 * src[i - 1024];
        error += (dst[i] - expected) * (dst[i] - expected);
        energy += expected * expected;
    }
    EXPECT_LT(std::sqrt(error / energy), 0.02);
}

TEST(PitchShift, OneLongCallEqualsManyShortOnes) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    const std::vector<int16_t> src = noise(2 * 3000, 7);
    const auto once = in_fresh_process(src.size(), [&] {
        std::vector<int16_t> dst(src.size());
        ZYN_PITCHSHIFT(dst.data(), const_cast<int16_t *>(src.data()), 1.3f, 3000);
        return dst;
    });
    const auto pieces = in_fresh_process(src.size(), [&] {
        std::vector<int16_t> dst(src.size());
        for (int32_t k = 0; k < 30; ++k)
            ZYN_PITCHSHIFT(dst.data() + 200 * k, const_cast<int16_t *>(src.data()) + 200 * k, 1.3f, 100);
        return dst;
    });
    // In place, in pieces of uneven size.
    const auto in_place = in_fresh_process(src.size(), [&] {
        std::vector<int16_t> buf = src;
        int32_t done = 0;
        for (int32_t step : {1, 127, 128, 129, 1000, 1615}) {
            ZYN_PITCHSHIFT(buf.data() + 2 * done, buf.data() + 2 * done, 1.3f, step);
            done += step;
        }
        return buf;
    });
    ASSERT_EQ(once.size(), src.size());
    bool any = false;
    for (int16_t s : once) any = any || s != 0;
    EXPECT_TRUE(any);
    EXPECT_EQ(once, pieces);
    EXPECT_EQ(once, in_place);
}

TEST(PitchShift, AnOctaveUpDoublesTheFrequency) {
    PumpDevice device(44100, 1);
    ASSERT_TRUE(device.ok());
    const size_t n = 44100;
    std::vector<int16_t> src = sine(n, 1, 441.0, 6000.0);
    std::vector<int16_t> dst(n);
    ZYN_PITCHSHIFT(dst.data(), src.data(), 2.0f, static_cast<int32_t>(n));
    std::vector<int16_t> steady(dst.begin() + 8192, dst.end());
    EXPECT_NEAR(tone_frequency(steady, 44100), 882.0, 882.0 * 0.01);

    // And an octave down halves it, from where the last call left off.
    std::vector<int16_t> src2 = sine(n, 1, 1764.0, 6000.0);
    ZYN_PITCHSHIFT(dst.data(), src2.data(), 0.5f, static_cast<int32_t>(n));
    std::vector<int16_t> steady2(dst.begin() + 8192, dst.end());
    EXPECT_NEAR(tone_frequency(steady2, 44100), 882.0, 882.0 * 0.01);
}

TEST(PitchShift, StereoChannelsStaySeparate) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    const size_t n = 20000;
    std::vector<int16_t> src = sine(n, 2, 441.0, 9000.0);
    for (size_t i = 0; i < n; ++i) src[2 * i + 1] = 0;  // left only
    std::vector<int16_t> dst(2 * n, 5);
    ZYN_PITCHSHIFT(dst.data(), src.data(), 1.5f, static_cast<int32_t>(n));
    const auto left = channel_of(dst, 2, 0);
    const auto right = channel_of(dst, 2, 1);
    for (int16_t s : right) ASSERT_EQ(s, 0);
    EXPECT_GT(tone_amplitude(std::vector<int16_t>(left.begin() + 8192, left.end())), 5000.0);
}

TEST(PitchShift, LoudInputSaturatesInsteadOfWrapping) {
    PumpDevice device(44100, 1);
    ASSERT_TRUE(device.ok());
    const size_t n = 16384;
    // A full-scale tone: 1.5 x 32000 lies far outside 16 bits.
    std::vector<int16_t> src = sine(n, 1, 441.0, 32000.0);
    std::vector<int16_t> dst(n);
    ZYN_PITCHSHIFT(dst.data(), src.data(), 1.0f, static_cast<int32_t>(n));
    int clipped = 0;
    for (size_t i = 4096; i < n; ++i) {
        const int expected = src[i - 1024];
        // Where the input peaks, the output must peak with the same sign.
        if (expected > 30000) {
            EXPECT_GT(dst[i], 30000) << i;
            if (dst[i] == 32767) ++clipped;
        }
        if (expected < -30000) {
            EXPECT_LT(dst[i], -30000) << i;
        }
    }
    EXPECT_GT(clipped, 0);
}

TEST(PitchShift, AnOctaveDownLeavesTheUpperHalfOfTheSpectrumEmpty) {
    PumpDevice device(44100, 1);
    ASSERT_TRUE(device.ok());
    const size_t n = 16384;
    const std::vector<int16_t> src = noise(n, 3);
    std::vector<int16_t> dst(n);
    ZYN_PITCHSHIFT(dst.data(), const_cast<int16_t *>(src.data()), 0.5f, static_cast<int32_t>(n));
    // Energy by DFT bin over a Hann-windowed stretch of steady output: bins
    // 256..511 of the shifter's 1024 (above 11025 Hz) draw from nothing.
    const size_t len = 2048;
    const size_t from = 8192;
    double low = 0.0;
    double high = 0.0;
    for (size_t k = 8; k < len / 2; k += 8) {
        double re = 0.0;
        double im = 0.0;
        for (size_t i = 0; i < len; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / len);
            const double a = -2.0 * M_PI * static_cast<double>(k * i) / len;
            re += w * dst[from + i] * std::cos(a);
            im += w * dst[from + i] * std::sin(a);
        }
        const double e = re * re + im * im;
        if (k < len / 4 - 16) low += e;
        if (k > len / 4 + 16) high += e;
    }
    EXPECT_GT(low, 0.0);
    EXPECT_LT(high, low * 1e-3);
}

TEST(PitchShift, EachThreadKeepsItsOwnHistory) {
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    constexpr size_t kFrames = 16384;
    constexpr int32_t kBlock = 512;
    const std::vector<int16_t> tone = sine(kFrames, 2, 440.0, 8000.0);
    const std::vector<int16_t> other = noise(kFrames * 2, 7);
    const auto shift_all = [](const std::vector<int16_t> &in, float pitch, std::barrier<> *step) {
        std::vector<int16_t> out(in.size());
        for (size_t f = 0; f < kFrames; f += kBlock) {
            ZYN_PITCHSHIFT(out.data() + 2 * f, const_cast<int16_t *>(in.data()) + 2 * f, pitch,
                           kBlock);
            if (step != nullptr) step->arrive_and_wait();
        }
        return out;
    };
    std::vector<int16_t> alone;
    std::thread([&] { alone = shift_all(tone, 2.0f, nullptr); }).join();

    // Two threads shifting block for block in lockstep: neither may hear the other.
    std::barrier<> lockstep(2);
    std::vector<int16_t> together, noise_out;
    std::thread first([&] { together = shift_all(tone, 2.0f, &lockstep); });
    std::thread second([&] { noise_out = shift_all(other, 0.5f, &lockstep); });
    first.join();
    second.join();
    EXPECT_EQ(together, alone);
    // The application thread's own history starts fresh too.
    EXPECT_EQ(shift_all(tone, 2.0f, nullptr), alone);
}
