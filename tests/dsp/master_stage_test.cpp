// Master volume and master filter: the setters' checks and clamps, the band's
// measured response, per-channel history, saturation, and the bands as the
// mixer runs them on a hand-pumped device.
#include "dsp/master_stage.h"
#include "test_support.h"
#include "whitebox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <limits>
#include <thread>
#include <vector>

using namespace zyn_test;

namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

std::vector<int16_t> sine(int frames, double freq, double amplitude, bool left, bool right,
                          int first = 0) {
    std::vector<int16_t> v(static_cast<size_t>(2 * frames), 0);
    for (int i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2.0 * kPi * freq * (first + i) / kRate)));
        if (left) v[2 * i] = s;
        if (right) v[2 * i + 1] = s;
    }
    return v;
}

double rms(const std::vector<int16_t> &v, int channel, size_t from) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = from * 2 + static_cast<size_t>(channel); i < v.size(); i += 2, ++n)
        sum += static_cast<double>(v[i]) * v[i];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

// One second of a sine through a band in blocks of 512 frames; the level
// change in dB over the second half.
double response_db(zyn::MasterFilter band, double freq, double amplitude = 4000.0) {
    const int frames = 44100, block = 512;
    const std::vector<int16_t> in = sine(frames, freq, amplitude, true, true);
    std::vector<int16_t> out(in.size());
    for (int f = 0; f < frames; f += block) {
        const int n = std::min(block, frames - f);
        zyn::filter_stereo(out.data() + 2 * f, in.data() + 2 * f, &band, n * 4);
    }
    return 20.0 * std::log10(rms(out, 0, frames / 2) / rms(in, 0, frames / 2));
}

// The level change in dB at freq of the audio-EQ cookbook's peaking
// equaliser (R. Bristow-Johnson), worked out in double precision from its
// transfer function, with A = 10^(gain / 20) as the engine defines it and
// the bandwidth in octaves.
double peak_response_db(double centre, double gain, double bandwidth, double freq) {
    const double w0 = 2.0 * kPi * centre / kRate;
    const double a = std::pow(10.0, gain / 20.0);
    const double alpha = std::sin(w0) * std::sinh(std::log(2.0) / 2.0 * bandwidth * w0 / std::sin(w0));
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * freq / kRate);
    const std::complex<double> z2 = z1 * z1;
    const double c = -2.0 * std::cos(w0);
    const std::complex<double> num = (1.0 + alpha * a) + c * z1 + (1.0 - alpha * a) * z2;
    const std::complex<double> den = (1.0 + alpha / a) + c * z1 + (1.0 - alpha / a) * z2;
    return 20.0 * std::log10(std::abs(num / den));
}

// 10^(db / 20), the linear gain of a level in decibels.
double linear_gain(double db) { return std::pow(10.0, db / 20.0); }

zyn::MasterFilter designed(float centre, float gain, float bandwidth) {
    zyn::MasterFilter band;
    zyn::design_peak_filter(band, centre, gain, bandwidth, static_cast<float>(kRate));
    band.enabled = 1;
    return band;
}

zyn::MasterFilter &band_row(int i) { return zyn::engine().master_filters[i]; }

bool history_clear(const zyn::MasterFilter &b) {
    for (int i = 0; i < 4; ++i)
        if (b.history1[i] != 0.0f || b.history2[i] != 0.0f) return false;
    return true;
}

}  // namespace

TEST(MasterVolume, ClampsAndNeedsAnEngine) {
    float seen = -7.0f;
    EXPECT_EQ(ZYN_SET_MASTERVOLUME(0.5f), 0);
    EXPECT_EQ(ZYN_GET_MASTERVOLUME(&seen), 0);
    EXPECT_EQ(seen, -7.0f) << "a failed get leaves its out-argument alone";
    {
        PumpDevice device;
        ASSERT_TRUE(device.ok());
        EXPECT_EQ(ZYN_GET_MASTERVOLUME(&seen), 1);
        EXPECT_EQ(seen, 1.0f);
        EXPECT_EQ(ZYN_GET_MASTERVOLUME(nullptr), 0);
        const struct {
            float in, stored;
        } table[] = {{0.0005f, 0.0f}, {-1.0f, 0.0f}, {0.001f, 0.001f}, {2.5f, 2.0f},
                     {std::numeric_limits<float>::quiet_NaN(), 0.0f},   {1.25f, 1.25f},
                     {std::numeric_limits<float>::infinity(), 2.0f},    {2.0f, 2.0f}};
        for (const auto &row : table) {
            EXPECT_EQ(ZYN_SET_MASTERVOLUME(row.in), 1);
            ASSERT_EQ(ZYN_GET_MASTERVOLUME(&seen), 1);
            EXPECT_EQ(seen, row.stored) << "set " << row.in;
        }
        ZYN_SET_MASTERVOLUME(0.7f);
    }
    EXPECT_EQ(ZYN_SET_MASTERVOLUME(1.0f), 0) << "after ZYN_EXIT";
    PumpDevice again;
    ASSERT_TRUE(again.ok());
    ASSERT_EQ(ZYN_GET_MASTERVOLUME(&seen), 1);
    EXPECT_EQ(seen, 0.7f) << "the volume survives ZYN_EXIT and a new ZYN_INIT";
}

TEST(MasterVolume, ScalesTheMixWithFloorOrLeavesItExact) {
    PumpDevice device(44100, 2, 4);
    ASSERT_TRUE(device.ok());
    add_raw_sound(add_raw_wave({-3, 3, 32767, -32768, 1, -1, 100, -100}), {.loops = 2});
    EXPECT_EQ(device.pump(), (std::vector<int16_t>{-3, 3, 32767, -32768, 1, -1, 100, -100}));
    ASSERT_EQ(ZYN_SET_MASTERVOLUME(0.5f), 1);
    EXPECT_EQ(device.pump(), (std::vector<int16_t>{-2, 1, 16383, -16384, 0, -1, 50, -50}));
}

TEST(MasterFilter, SettersCheckTheEngineAndTheIndex) {
    EXPECT_EQ(ZYN_SET_MASTERFILTER(0, 1000.0f, 6.0f, 1.0f, 1), 0);
    EXPECT_EQ(ZYN_ENABLE_MASTERFILTER(0), 0);
    EXPECT_EQ(ZYN_DISABLE_MASTERFILTER(0), 0);
    EXPECT_EQ(band_row(0).enabled, 0);
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    for (int bad : {-1, 10, 1000}) {
        EXPECT_EQ(ZYN_SET_MASTERFILTER(bad, 1000.0f, 6.0f, 1.0f, 1), 0) << bad;
        EXPECT_EQ(ZYN_ENABLE_MASTERFILTER(bad), 0) << bad;
        EXPECT_EQ(ZYN_DISABLE_MASTERFILTER(bad), 0) << bad;
    }
    EXPECT_EQ(ZYN_SET_MASTERFILTER(9, 250.0f, -3.0f, 2.0f, 7), 1);
    EXPECT_EQ(band_row(9).enabled, 7) << "enabled is stored as given";
    EXPECT_EQ(band_row(9).centre, 250.0f);
    EXPECT_EQ(band_row(9).gain, -3.0f);
    EXPECT_EQ(band_row(9).bandwidth, 2.0f);
    EXPECT_EQ(band_row(9).rate, 44100.0f) << "designed for the open device";
    EXPECT_NEAR(band_row(9).linear_gain, linear_gain(-3.0), 1e-6);
    EXPECT_EQ(ZYN_ENABLE_MASTERFILTER(9), 1);
    EXPECT_EQ(band_row(9).enabled, 1);
    EXPECT_EQ(ZYN_DISABLE_MASTERFILTER(9), 1);
    EXPECT_EQ(band_row(9).enabled, 0);
}

TEST(MasterFilter, BandsMeasureAsThePeakingEqualiserAndLeaveDirectCurrentAlone) {
    // The reference lifts the centre by twice the gain and leaves far
    // frequencies alone: a peak, not a shelf.
    ASSERT_NEAR(peak_response_db(1000.0, 6.0, 1.0, 1000.0), 12.0, 1e-9);
    ASSERT_NEAR(peak_response_db(1000.0, 6.0, 1.0, 16000.0), 0.0, 0.1);
    const struct {
        float centre, gain, bandwidth;
    } designs[] = {{1000, 6, 1}, {1000, -6, 1}, {250, 9, 0.5f}, {4000, -12, 2}, {8000, 3, 1.5f}};
    // Even frequencies: the measured half second holds whole periods.
    for (const auto &d : designs)
        for (double freq : {100.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0, 16000.0})
            EXPECT_NEAR(response_db(designed(d.centre, d.gain, d.bandwidth), freq),
                        peak_response_db(d.centre, d.gain, d.bandwidth, freq), 0.005)
                << d.centre << " Hz, " << d.gain << " dB, " << d.bandwidth << " octaves, at " << freq << " Hz";
    // 0 Hz: a constant input settles to itself.
    zyn::MasterFilter dc = designed(1000.0f, 6.0f, 1.0f);
    std::vector<int16_t> in(2 * 8192, 1000), out(in.size());
    zyn::filter_stereo(out.data(), in.data(), &dc, static_cast<int32_t>(in.size() * 2));
    EXPECT_NEAR(out[out.size() - 2], 1000, 1);
    EXPECT_NEAR(out[out.size() - 1], 1000, 1);
}

TEST(MasterFilter, ChannelsKeepTheirOwnHistoryAcrossBlocks) {
    zyn::MasterFilter whole = designed(800.0f, 9.0f, 0.5f);
    zyn::MasterFilter split = whole;
    const std::vector<int16_t> in = sine(1024, 800.0, 9000.0, true, false);
    std::vector<int16_t> one(in.size()), two(in.size());
    zyn::filter_stereo(one.data(), in.data(), &whole, 1024 * 4);
    zyn::filter_stereo(two.data(), in.data(), &split, 300 * 4);
    zyn::filter_stereo(two.data() + 600, in.data() + 600, &split, 724 * 4);
    EXPECT_EQ(one, two) << "history carries from one block to the next";
    for (size_t i = 1; i < one.size(); i += 2) ASSERT_EQ(one[i], 0) << "right channel, frame " << i / 2;
    EXPECT_GT(rms(one, 0, 512), rms(in, 0, 512) * 1.5);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(whole.history2[i], 0.0f);
    // In place gives the same as out of place.
    zyn::MasterFilter again = designed(800.0f, 9.0f, 0.5f);
    std::vector<int16_t> in_place = in;
    zyn::filter_stereo(in_place.data(), in_place.data(), &again, 1024 * 4);
    EXPECT_EQ(in_place, one);
    // Mono: every sample is one channel.
    zyn::MasterFilter mono = designed(800.0f, 9.0f, 0.5f);
    std::vector<int16_t> mono_in(1024), mono_out(1024);
    for (int i = 0; i < 1024; ++i) mono_in[i] = in[2 * i];
    zyn::filter_mono(mono_out.data(), mono_in.data(), &mono, 1024 * 2);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(mono_out[i], one[2 * i]) << i;
}

TEST(MasterFilter, OutputSaturatesInsteadOfWrapping) {
    zyn::MasterFilter band = designed(1000.0f, 20.0f, 1.0f);  // +40 dB at the centre
    const std::vector<int16_t> in = sine(8820, 1000.0, 20000.0, true, true);
    std::vector<int16_t> out(in.size());
    zyn::filter_stereo(out.data(), in.data(), &band, static_cast<int32_t>(in.size() * 2));
    // After the band has settled, at the crest of the input the output is pinned.
    int crests = 0;
    for (size_t i = 2 * 4410; i < in.size(); i += 2) {
        if (in[i] > 19500) {
            ++crests;
            ASSERT_EQ(out[i], 32767) << "frame " << i / 2;
        }
        if (in[i] < -19500) {
            ASSERT_EQ(out[i], -32768) << "frame " << i / 2;
        }
    }
    EXPECT_GT(crests, 50);
}

TEST(MasterFilter, TheSlotFollowsTheChannelCount) {
    {
        PumpDevice mono(44100, 1);
        ASSERT_TRUE(mono.ok());
        EXPECT_EQ(zyn::engine().slots.master_filter_routine, &zyn::filter_mono);
    }
    PumpDevice stereo(44100, 2);
    ASSERT_TRUE(stereo.ok());
    EXPECT_EQ(zyn::engine().slots.master_filter_routine, &zyn::filter_stereo);
}

TEST(MasterFilter, BandsRunInTheMixerOnlyWhenEnabledAndAudible) {
    constexpr int kBlock = 512;
    PumpDevice device(44100, 2, kBlock);
    ASSERT_TRUE(device.ok());
    // Ten periods of 1000 Hz exactly, looping without end.
    const std::vector<int16_t> wave = sine(441, 1000.0, 4000.0, true, true);
    add_raw_sound(add_raw_wave(wave), {.loops = ZYN_LOOP_FOREVER});
    int block_index = 0;
    auto expected_plain = [&]() {
        std::vector<int16_t> b(2 * kBlock);
        for (int i = 0; i < kBlock; ++i) {
            const int f = (block_index * kBlock + i) % 441;
            b[2 * i] = wave[2 * f];
            b[2 * i + 1] = wave[2 * f + 1];
        }
        return b;
    };
    auto pump = [&]() {
        std::vector<int16_t> b = device.pump();
        ++block_index;
        return b;
    };
    {
        const std::vector<int16_t> want = expected_plain();
        ASSERT_EQ(pump(), want) << "no band: the mix as is";
    }

    // Stored with enabled = 2: designed but idle.
    ASSERT_EQ(ZYN_SET_MASTERFILTER(0, 1000.0f, 6.0f, 1.0f, 2), 1);
    for (int i = 0; i < 3; ++i) {
        const std::vector<int16_t> want = expected_plain();
        ASSERT_EQ(pump(), want);
    }
    EXPECT_TRUE(history_clear(band_row(0)));

    // Enabled: after settling, about +12 dB.
    ASSERT_EQ(ZYN_ENABLE_MASTERFILTER(0), 1);
    std::vector<int16_t> heard;
    for (int i = 0; i < 40; ++i) {
        const std::vector<int16_t> b = pump();
        if (i >= 20) heard.insert(heard.end(), b.begin(), b.end());
    }
    const double gain = 20.0 * std::log10(rms(heard, 1, 0) / rms(wave, 1, 0));
    EXPECT_NEAR(gain, 12.0, 0.3);

    // Disabled: the mix as is again, and the history waits for the band's return.
    ASSERT_EQ(ZYN_DISABLE_MASTERFILTER(0), 1);
    const zyn::MasterFilter kept = band_row(0);
    EXPECT_FALSE(history_clear(kept));
    {
        const std::vector<int16_t> want = expected_plain();
        ASSERT_EQ(pump(), want);
    }
    ASSERT_EQ(ZYN_ENABLE_MASTERFILTER(0), 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(band_row(0).history1[i], kept.history1[i]);
        EXPECT_EQ(band_row(0).history2[i], kept.history2[i]);
    }

    // A new design clears the history; a band with gain 0 is skipped altogether.
    ASSERT_EQ(ZYN_SET_MASTERFILTER(0, 1000.0f, 0.0f, 1.0f, 1), 1);
    EXPECT_TRUE(history_clear(band_row(0)));
    for (int i = 0; i < 3; ++i) {
        const std::vector<int16_t> want = expected_plain();
        ASSERT_EQ(pump(), want);
    }
    EXPECT_TRUE(history_clear(band_row(0))) << "a band of 0 dB never ran";
}

TEST(MasterFilter, SettingBandsWhileTheDeviceFillsIsSafe) {
    PumpDevice device(44100, 2, 256);
    ASSERT_TRUE(device.ok());
    add_raw_sound(add_raw_wave(sine(441, 1000.0, 8000.0, true, true)), {.loops = ZYN_LOOP_FOREVER});
    std::atomic<bool> stop{false};
    std::thread setter([&stop] {
        for (int i = 0; i < 100 || !stop.load(); ++i) {
            ZYN_SET_MASTERFILTER(i % 10, 200.0f + 50.0f * (i % 40), (i % 7) - 3.0f, 1.0f, 1);
            ZYN_SET_MASTERVOLUME(0.5f + 0.01f * (i % 50));
            if (i % 3 == 0) ZYN_DISABLE_MASTERFILTER(i % 10);
        }
    });
    for (int i = 0; i < 300; ++i) device.pump();
    stop.store(true);
    setter.join();
    for (int i = 0; i < 10; ++i) {
        const zyn::MasterFilter &b = band_row(i);
        // Every band is a whole design: its linear gain belongs to its gain.
        EXPECT_NEAR(b.linear_gain, linear_gain(b.gain), 1e-6 * linear_gain(b.gain)) << "band " << i;
    }
}

TEST(MasterFilter, ValuesThatDesignNoBandAreRefusedAndNeverSilenceTheOutput) {
    // Blocks of ten whole periods: every block of the plain mix is the same.
    PumpDevice device(44100, 2, 441);
    ASSERT_TRUE(device.ok());
    const std::vector<int16_t> wave = sine(441, 1000.0, 4000.0, true, true);
    add_raw_sound(add_raw_wave(wave), {.loops = ZYN_LOOP_FOREVER});
    const std::vector<int16_t> first = device.pump();
    const double plain = rms(first, 0, 0);
    ASSERT_GT(plain, 2000.0);

    ASSERT_EQ(ZYN_SET_MASTERFILTER(3, 2000.0f, 3.0f, 1.0f, 1), 1);
    const zyn::MasterFilter before = band_row(3);
    constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const struct {
        float centre, gain, bandwidth;
    } refused[] = {{kNan, 6, 1},     {kInf, 6, 1},     {-kInf, 6, 1},  {0, 6, 1},
                   {-100, 6, 1},     {22050, 6, 1},    {30000, 6, 1},  {1000, kNan, 1},
                   {1000, kInf, 1},  {1000, -kInf, 1}, {1000, 6, kNan}, {1000, 6, 0},
                   {1000, 6, -1},    {1000, 6, kInf},  {1000, 6, 1e30f},
                   // Finite, but the design overflows single precision.
                   {1000, 1e6f, 1}};
    for (const auto &r : refused) {
        EXPECT_EQ(ZYN_SET_MASTERFILTER(3, r.centre, r.gain, r.bandwidth, 1), 0)
            << r.centre << " Hz, " << r.gain << " dB, " << r.bandwidth << " octaves";
        EXPECT_EQ(band_row(3).centre, before.centre) << "the band is unchanged";
        EXPECT_EQ(band_row(3).ff0, before.ff0);
    }
    ASSERT_EQ(ZYN_DISABLE_MASTERFILTER(3), 1);
    EXPECT_EQ(device.pump(), first) << "the mix passes as before";

    // A history poisoned behind the setters' back (a band on the edge of
    // stability running away) resets instead of silencing every later block.
    ASSERT_EQ(ZYN_SET_MASTERFILTER(0, 1000.0f, 6.0f, 1.0f, 1), 1);
    band_row(0).history1[2] = kNan;
    band_row(0).history2[3] = kInf;
    device.pump();
    std::vector<int16_t> heard;
    for (int i = 0; i < 20; ++i) {
        const std::vector<int16_t> b = device.pump();
        heard.insert(heard.end(), b.begin(), b.end());
    }
    EXPECT_NEAR(20.0 * std::log10(rms(heard, 0, 0) / plain), 12.0, 0.5);
    EXPECT_TRUE(std::isfinite(band_row(0).history1[2]));
    EXPECT_TRUE(std::isfinite(band_row(0).history2[3]));
}
