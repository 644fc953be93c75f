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

namespace {

// Amplitude and frequency of the strongest sinusoid near `around` Hz (within
// 6 %) in a Hann-windowed stretch, from a finely stepped DFT: exact enough to
// tell 0.5 % in frequency and 0.1 dB in level.
struct Partial {
    double frequency = 0.0;
    double amplitude = 0.0;
};
Partial measure_partial(const std::vector<int16_t> &mono, size_t from, size_t length, double around) {
    std::vector<double> w(length);
    double wsum = 0.0;
    for (size_t i = 0; i < length; ++i) {
        w[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / static_cast<double>(length));
        wsum += w[i];
    }
    const auto amplitude_at = [&](double f) {
        // A phasor turned by complex multiplication, renormalised now and then.
        double re = 0.0, im = 0.0, c = 1.0, s = 0.0;
        const double step = 2.0 * M_PI * f / 44100.0;
        const double dc = std::cos(step), ds = std::sin(step);
        for (size_t i = 0; i < length; ++i) {
            const double v = w[i] * mono[from + i];
            re += v * c;
            im += v * s;
            const double next = c * dc - s * ds;
            s = c * ds + s * dc;
            c = next;
            if ((i & 1023) == 1023) {
                const double norm = 1.0 / std::sqrt(c * c + s * s);
                c *= norm;
                s *= norm;
            }
        }
        return 2.0 * std::sqrt(re * re + im * im) / wsum;
    };
    Partial best;
    // Coarse steps of a quarter of the window's resolution, then a golden refinement.
    const double resolution = 44100.0 / static_cast<double>(length);
    for (double f = around * 0.94; f <= around * 1.06; f += resolution / 4) {
        const double a = amplitude_at(f);
        if (a > best.amplitude) best = {f, a};
    }
    double lo = best.frequency - resolution / 4, hi = best.frequency + resolution / 4;
    for (int i = 0; i < 30; ++i) {
        const double m1 = lo + (hi - lo) * 0.382, m2 = lo + (hi - lo) * 0.618;
        if (amplitude_at(m1) > amplitude_at(m2))
            hi = m2;
        else
            lo = m1;
    }
    best.frequency = (lo + hi) / 2;
    best.amplitude = amplitude_at(best.frequency);
    return best;
}

std::vector<int16_t> chord(size_t frames, const std::vector<double> &tones, double amplitude) {
    std::vector<int16_t> out(frames);
    for (size_t i = 0; i < frames; ++i) {
        double v = 0.0;
        for (double f : tones) v += amplitude * std::sin(2.0 * M_PI * f * static_cast<double>(i) / 44100.0);
        out[i] = static_cast<int16_t>(std::lround(v));
    }
    return out;
}

// Shifts a signal in a thread of its own (a fresh shifter) and measures each
// tone after the shifter has settled.
std::vector<Partial> shifted_partials(const std::vector<double> &tones, float pitch, double amplitude) {
    const size_t n = 32768;
    const std::vector<int16_t> src = chord(n, tones, amplitude);
    std::vector<int16_t> dst(n);
    std::thread([&] {
        ZYN_PITCHSHIFT(dst.data(), const_cast<int16_t *>(src.data()), pitch, static_cast<int32_t>(n));
    }).join();
    std::vector<Partial> found;
    for (double f : tones) found.push_back(measure_partial(dst, 8192, 16384, f * pitch));
    return found;
}

}  // namespace

// The shifter's gain is 1.5 at every pitch (as at unison): each tone keeps
// its level within 1.5 dB of that and lands within 1 % of pitch x its frequency.
TEST(PitchShift, EveryToneKeepsItsLevelAndLandsOnItsShiftedFrequency) {
    PumpDevice device(44100, 1);
    ASSERT_TRUE(device.ok());
    const double kGainDb = 20.0 * std::log10(1.5);
    for (float pitch : {0.5f, 0.75f, 1.01f, 1.5f, 2.0f}) {
        for (double f : {100.0, 200.0, 430.66, 440.0, 646.0, 861.3, 1033.6, 2153.3, 4000.0, 8000.0}) {
            const Partial p = shifted_partials({f}, pitch, 8000.0)[0];
            const double db = 20.0 * std::log10(p.amplitude / 8000.0) - kGainDb;
            EXPECT_NEAR(db, 0.0, 1.5) << f << " Hz at pitch " << pitch;
            EXPECT_NEAR(p.frequency, f * pitch, f * pitch * 0.01) << f << " Hz at pitch " << pitch;
        }
    }
}

TEST(PitchShift, ChordsKeepEveryTone) {
    PumpDevice device(44100, 1);
    ASSERT_TRUE(device.ok());
    const double kGainDb = 20.0 * std::log10(1.5);
    // Tones at least five bins of the shifter's frame (215 Hz) apart: closer
    // ones share the main lobe of one analysis frame and move as one partial.
    const std::vector<std::vector<double>> chords = {{220.0, 440.0, 660.0},
                                                     {261.63, 523.25, 784.0},
                                                     {440.0, 659.25, 880.0, 1318.5},
                                                     {110.0, 1033.6, 2153.3, 5000.0}};
    for (float pitch : {0.5f, 0.8f, 1.26f, 1.5f, 2.0f}) {
        for (const auto &tones : chords) {
            const std::vector<Partial> found = shifted_partials(tones, pitch, 5000.0);
            for (size_t i = 0; i < tones.size(); ++i) {
                const double db = 20.0 * std::log10(found[i].amplitude / 5000.0) - kGainDb;
                EXPECT_NEAR(db, 0.0, 3.0) << tones[i] << " Hz in a chord at pitch " << pitch;
                EXPECT_NEAR(found[i].frequency, tones[i] * pitch, tones[i] * pitch * 0.01)
                    << tones[i] << " Hz in a chord at pitch " << pitch;
            }
        }
    }
}
