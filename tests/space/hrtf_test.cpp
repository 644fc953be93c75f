// Binaural rendering: level and time differences of the default SOFA set
// measured on rendered sound, a direction sweep without clicks, refused
// files, the table builder's onsets and minimum phase, and the inner loop's
// variants against the plain one.
#include "dsp/hrtf.h"
#include "dsp/hrtf_render_variants.h"
#include "tone_measure.h"

#include <gtest/gtest.h>

#if ZYN_TEST_HRTF
#include <mysofa.h>
#endif

#include <unistd.h>

#include <algorithm>
#include <complex>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

zyn::HrtfDirection azimuth(double degrees) {
    const double a = degrees * kPi / 180.0;
    return zyn::HrtfDirection{static_cast<float>(std::sin(a)), 0.0f, static_cast<float>(std::cos(a))};
}

#if ZYN_TEST_HRTF

std::vector<float> sine(int frames, double freq, int rate, double amplitude) {
    std::vector<float> v(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) v[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(2.0 * kPi * freq * i / rate));
    return v;
}

// Renders mono in blocks; direction(block) gives each block's direction.
template <typename DirectionOf>
std::vector<float> render(const zyn::HrtfSet &set, const std::vector<float> &mono, int block, DirectionOf direction) {
    zyn::HrtfVoice voice;
    std::vector<float> out(2 * mono.size(), 0.0f);
    for (size_t at = 0, b = 0; at < mono.size(); at += static_cast<size_t>(block), ++b) {
        const auto n = static_cast<int32_t>(std::min(mono.size() - at, static_cast<size_t>(block)));
        zyn::render_hrtf(set, voice, direction(b), mono.data() + at, n, out.data() + 2 * at);
    }
    return out;
}

std::vector<double> channel(const std::vector<float> &stereo, int ch, size_t first_frame = 0) {
    std::vector<double> v;
    for (size_t i = 2 * first_frame + static_cast<size_t>(ch); i < stereo.size(); i += 2) v.push_back(stereo[i]);
    return v;
}

double largest_step(const std::vector<float> &stereo, size_t first_frame) {
    double step = 0.0;
    for (size_t i = 2 * first_frame + 2; i < stereo.size(); ++i)
        step = std::max(step, std::fabs(static_cast<double>(stereo[i]) - stereo[i - 2]));
    return step;
}

std::string temp_file(const char *name) {
    return (std::filesystem::temp_directory_path() / (std::string("zyn-hrtf-") + std::to_string(getpid()) + "-" + name))
        .string();
}

#endif  // ZYN_TEST_HRTF

}  // namespace

#if ZYN_TEST_HRTF

// The level difference (near ear over far ear, dB) the file itself holds at
// freq for its measurement closest to straight right (or left) at ear
// height, from the unprocessed 44.1 kHz responses: the reference the
// rendering must keep.
double measured_ild(double freq, bool right) {
    struct File {
        MYSOFA_HRTF *h = nullptr;
        File() {
            int err = 0;
            h = mysofa_load(zyn::default_sofa_file(), &err);
            if (h != nullptr) mysofa_tocartesian(h);
        }
        ~File() {
            if (h != nullptr) mysofa_free(h);
        }
    };
    static const File file;
    MYSOFA_HRTF *h = file.h;
    EXPECT_NE(h, nullptr);
    if (h == nullptr) return 0.0;
    size_t best = 0;
    double closest = -2.0;
    for (size_t m = 0; m < h->M; ++m) {
        const float *p = h->SourcePosition.values + 3 * m;  // x ahead, y left, z up
        const double c = (right ? -p[1] : p[1]) / std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        if (c > closest) closest = c, best = m;
    }
    auto level = [&](int ear) {
        const float *ir = h->DataIR.values + (2 * best + static_cast<size_t>(ear)) * h->N;
        std::complex<double> sum = 0.0;
        for (size_t i = 0; i < h->N; ++i) sum += static_cast<double>(ir[i]) * std::polar(1.0, -2.0 * kPi * freq * static_cast<double>(i) / h->DataSamplingRate.values[0]);
        return 20.0 * std::log10(std::abs(sum));
    };
    return right ? level(1) - level(0) : level(0) - level(1);
}

TEST(Hrtf, SideSourceGivesTheHeadsLevelAndTimeDifferences) {
    for (int rate : {44100, 48000}) {  // 48 kHz: the file's 44.1 kHz responses resampled
        std::string why;
        const std::unique_ptr<zyn::HrtfSet> set = zyn::load_hrtf("default", rate, 0, &why);
        ASSERT_TRUE(set) << why;
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-8000.0f, 8000.0f);
        std::vector<float> broadband(static_cast<size_t>(rate));
        for (float &v : broadband) v = noise(random);
        for (double side : {90.0, -90.0}) {
            // KEMAR's far ear sits in the bright spot of a source at 90
            // degrees near 4 kHz: the file holds about 7 dB there, 16 dB
            // at 6 kHz and 20 dB at 8 kHz. The rendering keeps them.
            for (double freq : {4000.0, 6000.0, 8000.0}) {
                const std::vector<float> tone = render(*set, sine(rate / 2, freq, rate, 8000.0), 256,
                                                       [&](size_t) { return azimuth(side); });
                const double left = zyn_test::measure_tone(channel(tone, 0, 4096), rate).amplitude;
                const double right = zyn_test::measure_tone(channel(tone, 1, 4096), rate).amplitude;
                const double ild = 20.0 * std::log10(side > 0 ? right / left : left / right);
                EXPECT_NEAR(ild, measured_ild(freq, side > 0), 1.5) << rate << " Hz, azimuth " << side << ", " << freq << " Hz";
                EXPECT_GT(ild, freq > 5000.0 ? 10.0 : 5.0) << rate << " Hz, azimuth " << side << ", " << freq << " Hz";
            }
            const std::vector<float> noisy = render(*set, broadband, 256, [&](size_t) { return azimuth(side); });
            const std::vector<double> near = channel(noisy, side > 0 ? 1 : 0), away = channel(noisy, side > 0 ? 0 : 1);
            const double itd_ms = 1000.0 * zyn_test::best_lag(near, away, rate / 500) / rate;
            EXPECT_GE(itd_ms, 0.5) << rate << " Hz, azimuth " << side;
            EXPECT_LE(itd_ms, 0.8) << rate << " Hz, azimuth " << side;
        }
    }
}

TEST(Hrtf, DirectionSweepDoesNotClick) {
    std::string why;
    const std::unique_ptr<zyn::HrtfSet> set = zyn::load_hrtf("default", 44100, 0, &why);
    ASSERT_TRUE(set) << why;
    // A full turn, 2.5 degrees a block; blocks shorter and longer than the fade.
    const int blocks = 144;
    auto turning = [](size_t b) { return azimuth(2.5 * static_cast<double>(b)); };
    for (int block : {128, 1024}) {
        const std::vector<float> tone = sine(block * blocks, 700.0, 44100, 8000.0);
        // The signal's own step: the largest of the renders held at each
        // direction the sweep passes.
        double own = 0.0;
        const std::vector<float> held_input(tone.begin(), tone.begin() + 2048);
        for (size_t b = 0; b < blocks; ++b)
            own = std::max(own, largest_step(render(*set, held_input, 512, [&](size_t) { return turning(b); }), 512));
        const std::vector<float> swept = render(*set, tone, block, turning);
        EXPECT_LE(largest_step(swept, static_cast<size_t>(block)), 1.02 * own) << block << "-frame blocks";
    }
}

TEST(Hrtf, RefusesWhatIsNoUsableSofaFile) {
    std::ifstream source(zyn::default_sofa_file(), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 100000u);
    const struct {
        const char *name;
        size_t keep;  // bytes of the default file; 0: garbage instead
        size_t garbage;
    } files[] = {{"empty.sofa", 0, 0},
                 {"garbage.sofa", 0, 70000},
                 {"header.sofa", 2048, 0},
                 {"half.sofa", bytes.size() / 2, 0},
                 {"most.sofa", bytes.size() - 4096, 0}};
    for (const auto &f : files) {
        const std::string path = temp_file(f.name);
        {
            std::ofstream out(path, std::ios::binary);
            out.write(bytes.data(), static_cast<std::streamsize>(f.keep));
            std::mt19937 random(3);
            for (size_t i = 0; i < f.garbage; ++i) out.put(static_cast<char>(random()));
        }
        std::string why;
        EXPECT_FALSE(zyn::load_hrtf(path.c_str(), 44100, 0, &why)) << f.name;
        EXPECT_NE(why.find(path), std::string::npos) << f.name << ": " << why;
        std::remove(path.c_str());
    }
    const struct {
        const char *file;
        int32_t rate, taps;
    } calls[] = {{"/nonexistent/zyn.sofa", 44100, 0}, {"/", 44100, 0},   {"", 44100, 0}, {nullptr, 44100, 0},
                 {"default", 4000, 0},              {"default", 400000, 0}, {"default", 44100, 129}};
    for (const auto &c : calls) {
        std::string why;
        EXPECT_FALSE(zyn::load_hrtf(c.file, c.rate, c.taps, &why)) << (c.file ? c.file : "null");
        EXPECT_FALSE(why.empty());
    }
}

#endif  // ZYN_TEST_HRTF

TEST(Hrtf, AvailabilityFollowsTheBuild) {
    EXPECT_EQ(zyn::hrtf_available(), ZYN_TEST_HRTF != 0);
    EXPECT_EQ(zyn::hrtf_unavailable_reason()[0] != '\0', ZYN_TEST_HRTF == 0);
    std::string why;
    EXPECT_EQ(zyn::load_hrtf("default", 44100, 0, &why) != nullptr, ZYN_TEST_HRTF != 0) << why;
}

TEST(Hrtf, BuilderFindsOnsetsAndMinimumPhase) {
    // Every direction the same: left 0.5 d[n - 10] + 0.25 d[n - 11] (a zero
    // at -0.5: minimum phase already), right a mixed-phase pair 0.25 d[n - 40]
    // + 0.5 d[n - 41], whose minimum-phase twin is 0.5 d[n] + 0.25 d[n - 1].
    zyn::HrtfMeasurements m;
    m.rate = 44100;
    m.count = 6;
    m.length = 64;
    m.directions = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    m.responses.assign(6 * 2 * 64, 0.0f);
    m.extra_delays.assign(12, 0.0f);
    for (int i = 0; i < 6; ++i) {
        float *left = m.responses.data() + i * 128, *right = left + 64;
        left[10] = 0.5f;
        left[11] = 0.25f;
        right[40] = 0.25f;
        right[41] = 0.5f;
    }
    std::string why;
    const std::unique_ptr<zyn::HrtfSet> set = zyn::build_hrtf_set(m, 16, "synthetic", &why);
    ASSERT_TRUE(set) << why;
    zyn::HrtfFilter f;
    set->lookup(azimuth(33.0), &f);
    EXPECT_EQ(f.taps, 16);
    EXPECT_EQ(f.delay[0], 0);
    // Onsets where a tenth of the peak is reached: 9.1 on the left, 39.2 on the right.
    EXPECT_EQ(f.delay[1], 30);
    for (int ear = 0; ear < 2; ++ear) {
        EXPECT_NEAR(f.coefficients[ear][0], 0.5f, 1e-3f) << ear;
        EXPECT_NEAR(f.coefficients[ear][1], 0.25f, 1e-3f) << ear;
        for (int k = 2; k < zyn::kHrtfMaxTaps; ++k) ASSERT_NEAR(f.coefficients[ear][k], 0.0f, 1e-3f) << ear << " " << k;
    }

    const float nan = std::numeric_limits<float>::quiet_NaN();
    zyn::HrtfFilter odd;
    for (const zyn::HrtfDirection d : {zyn::HrtfDirection{nan, 0, 1}, zyn::HrtfDirection{0, 0, 0}}) {
        set->lookup(d, &odd);
        EXPECT_EQ(odd.delay[1], 30) << "a direction that is none is straight ahead";
        EXPECT_NEAR(odd.coefficients[0][0], 0.5f, 1e-3f);
    }

    zyn::HrtfMeasurements bad = m;
    bad.responses[5] = nan;
    EXPECT_FALSE(zyn::build_hrtf_set(bad, 0, "nan", &why));
    bad = m;
    bad.directions[3] = bad.directions[4] = bad.directions[5] = 0.0f;
    EXPECT_FALSE(zyn::build_hrtf_set(bad, 0, "no direction", &why));
    bad = m;
    bad.count = 7;
    EXPECT_FALSE(zyn::build_hrtf_set(bad, 0, "short arrays", &why));
    EXPECT_FALSE(zyn::build_hrtf_set(m, 200, "taps", &why));
}

TEST(HrtfVariants, GiveThePlainResultsExactly) {
    const zyn::HrtfVariants *sets = nullptr;
    const int32_t count = zyn::available_hrtf_variants(&sets);
    ASSERT_GE(count, 1);
    EXPECT_STREQ(sets[0].name, "plain");
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> input(zyn::kHrtfHistory + 600), coefficients(4 * zyn::kHrtfMaxTaps);
    for (float &v : input) v = value(random) * 20000.0f;
    for (float &v : coefficients) v = value(random);
    for (int trial = 0; trial < 40; ++trial) {
        zyn::HrtfRun run{};
        run.x = input.data() + zyn::kHrtfHistory + random() % 8;  // any alignment
        for (int k = 0; k < 4; ++k) {
            run.h[k] = coefficients.data() + k * zyn::kHrtfMaxTaps;
            run.delay[k] = static_cast<int32_t>(random() % (zyn::kHrtfMaxDelay + 1));
        }
        run.taps = 1 + static_cast<int32_t>(random() % zyn::kHrtfMaxTaps);
        run.fade = trial % 2 == 0;
        const auto frames = static_cast<int32_t>(1 + random() % 500);
        run.dt = 1.0f / static_cast<float>(frames);
        run.t0 = run.dt * static_cast<float>(random() % 3);
        const size_t offset = random() % 3;
        std::vector<float> expected(2 * static_cast<size_t>(frames) + 3, 0.5f);
        sets[0].mix(expected.data() + offset, run, 0, frames);
        for (int32_t s = 1; s < count; ++s) {
            std::vector<float> got(expected.size(), 0.5f);
            sets[s].mix(got.data() + offset, run, 0, frames);
            ASSERT_EQ(0, std::memcmp(got.data(), expected.data(), got.size() * sizeof(float)))
                << sets[s].name << ", trial " << trial << ", " << frames << " frames, " << run.taps << " taps";
        }
    }
}
