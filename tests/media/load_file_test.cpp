// ZYN_LOAD_FILE and ZYN_LOAD_MEMORY: every format at its own level, mixed
// to the device's channels, converted to its rate cleanly, MP3 without gaps,
// and refusals that say why. Fixtures are made here; sound is measured.
#include "decoders/decoder_fixtures.h"
#include "loaded_wave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <set>
#include <thread>

using namespace zyn_test;

namespace {

constexpr int32_t kRate = 44100;

double db(double ratio) { return 20.0 * std::log10(ratio); }

// What the loader makes of a file sample: x * 32768, rounded, clipped.
int32_t expected_sample(double x) {
    return static_cast<int32_t>(std::clamp(std::nearbyint(x * 32768.0), -32768.0, 32767.0));
}

// The largest difference between a loaded channel and what the file holds.
double worst_difference(const Wave &w, const Pcm &source, Encoding encoding, int32_t channel) {
    double worst = 0.0;
    for (size_t f = 0; f < w.frames(); ++f) {
        const double file = decoded_value(source.samples[f * static_cast<size_t>(source.channels) +
                                                         static_cast<size_t>(channel)], encoding);
        worst = std::max(worst, std::fabs(w.samples[f * static_cast<size_t>(w.channels) +
                                                    static_cast<size_t>(channel)] - expected_sample(file)));
    }
    return worst;
}

// Noise with the extremes of the format at its start.
Pcm full_scale_noise(int32_t channels) {
    Pcm p = noise(kRate, channels, 0.25, 0.9, 11);
    p.samples[0] = 1.0;
    p.samples[1] = -1.0;
    return p;
}

// Delay in frames of a cosine of frequency that started at frame 0 with
// phase 0, from its phase in the middle of the signal (a single-bin DFT).
double tone_delay(const std::vector<double> &x, double frequency, int32_t rate) {
    double re = 0.0, im = 0.0;
    const size_t first = x.size() / 4, count = x.size() / 2;
    for (size_t n = first; n < first + count; ++n) {
        const double angle = 2.0 * M_PI * frequency * static_cast<double>(n) / rate;
        re += x[n] * std::cos(angle);
        im -= x[n] * std::sin(angle);
    }
    return -std::atan2(im, re) * rate / (2.0 * M_PI * frequency);
}

}  // namespace

TEST(LoadFile, WavEncodingsLoadAtTheFilesOwnLevel) {
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    const Pcm source = full_scale_noise(2);
    for (Encoding e : {Encoding::u8, Encoding::s16, Encoding::s24, Encoding::s32, Encoding::f32, Encoding::f64}) {
        for (bool extensible : {false, true}) {
            SCOPED_TRACE(testing::Message() << "encoding " << static_cast<int>(e) << (extensible ? " extensible" : ""));
            Wave w = load_memory(wav_image(source, e, {extensible, 0x3, false}));
            ASSERT_EQ(w.result, 1) << last_error();
            ASSERT_EQ(w.frames(), source.frames());
            // Integers that fit a float come back exactly; 32-bit integers
            // and doubles pass through float precision on the way.
            const double allowed = e == Encoding::s32 || e == Encoding::f64 ? 1.0 : 0.0;
            EXPECT_LE(worst_difference(w, source, e, 0), allowed);
            EXPECT_LE(worst_difference(w, source, e, 1), allowed);
            // Full scale stays full scale.
            EXPECT_GE(w.samples[0], e == Encoding::u8 ? 32512 : 32767);
            EXPECT_EQ(w.samples[1], -32768);
        }
    }
    // Float samples beyond full scale clip rather than wrap.
    Pcm loud = sine(kRate, 1, 100.0, 0.1, 1.5);
    Wave w = load_memory(wav_image(loud, Encoding::f32));
    ASSERT_EQ(w.result, 1) << last_error();
    EXPECT_EQ(*std::max_element(w.samples.begin(), w.samples.end()), 32767);
    EXPECT_EQ(*std::min_element(w.samples.begin(), w.samples.end()), -32768);
    // Past the clip point the wave is flat, not folded back.
    EXPECT_EQ(w.samples[0], 32767);
    EXPECT_EQ(w.samples[1], 32767);
}

TEST(LoadFile, Rf64AndAiffLoadLikeRiff) {
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    const Pcm source = full_scale_noise(2);
    Wave riff = load_memory(wav_image(source, Encoding::s24));
    Wave rf64 = load_memory(wav_image(source, Encoding::s24, {false, 0, true}));
    ASSERT_EQ(rf64.result, 1) << last_error();
    EXPECT_EQ(rf64.samples, riff.samples);
    Wave rf64_extensible = load_memory(wav_image(source, Encoding::f32, {true, 0x3, true}));
    ASSERT_EQ(rf64_extensible.result, 1) << last_error();
    EXPECT_EQ(rf64_extensible.frames(), source.frames());

    REQUIRE_PROGRAM("sox");
    TempDir dir;
    const std::string aiff = encoded(dir, source, "a.aiff", "sox IN OUT");
    ASSERT_FALSE(aiff.empty());
    Wave a = load_file(aiff);
    ASSERT_EQ(a.result, 1) << last_error();
    EXPECT_EQ(a.samples, load_memory(wav_image(source, Encoding::s16)).samples);
}

TEST(LoadFile, ChannelsMixToTheDeviceWithoutClipping) {
    const Pcm mono = noise(kRate, 1, 0.2, 1.0, 3);
    const Pcm stereo = noise(kRate, 2, 0.2, 1.0, 4);
    {
        PumpDevice device(kRate, 2);
        ASSERT_TRUE(device.ok());
        // A mono file plays at its own level on both sides.
        Wave w = load_memory(wav_image(mono, Encoding::s16));
        ASSERT_EQ(w.result, 1) << last_error();
        EXPECT_EQ(worst_difference(w, Pcm{kRate, 2, [&] {
                                          std::vector<double> both;
                                          for (double s : mono.samples) both.insert(both.end(), {s, s});
                                          return both;
                                      }()},
                                   Encoding::s16, 0),
                  0.0);
        EXPECT_EQ(w.channel(0), w.channel(1));

        // 5.1, named by an extensible mask and by the default order alike.
        // The same full-scale signal in every channel comes out unchanged:
        // its level kept, nothing clipped.
        Pcm six{kRate, 6, {}};
        for (double s : mono.samples)
            for (int c = 0; c < 6; ++c) six.samples.push_back(s);
        for (const WavLayout &layout : {WavLayout{true, 0x3F, false}, WavLayout{false, 0, false}}) {
            Wave mixed = load_memory(wav_image(six, Encoding::s16, layout));
            ASSERT_EQ(mixed.result, 1) << last_error();
            ASSERT_EQ(mixed.frames(), mono.frames());
            std::vector<double> expected = channel_samples(w.samples.data(), w.frames(), 2, 0);
            for (int side = 0; side < 2; ++side) {
                const std::vector<double> got = mixed.channel(side);
                double worst = 0.0;
                for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - expected[i]));
                EXPECT_LE(worst, 1.0) << "side " << side;
            }
        }

        // One channel at a time: front left only on the left, the centre on
        // both sides 3 dB below a front channel, LFE nowhere.
        auto only = [&](int channel) {
            Pcm p{kRate, 6, std::vector<double>(mono.frames() * 6, 0.0)};
            for (size_t f = 0; f < mono.frames(); ++f) p.samples[f * 6 + static_cast<size_t>(channel)] = mono.samples[f] * 0.5;
            Wave m = load_memory(wav_image(p, Encoding::s16, {true, 0x3F, false}));
            EXPECT_EQ(m.result, 1) << last_error();
            return m;
        };
        auto rms = [](const std::vector<double> &x) {
            double sum = 0.0;
            for (double v : x) sum += v * v;
            return std::sqrt(sum / static_cast<double>(x.size()));
        };
        Wave front_left = only(0), centre = only(2), lfe = only(3), back_right = only(5);
        EXPECT_GT(rms(front_left.channel(0)), 1000.0);
        EXPECT_EQ(rms(front_left.channel(1)), 0.0);
        EXPECT_NEAR(rms(centre.channel(0)), rms(centre.channel(1)), 1.0);
        EXPECT_NEAR(db(rms(centre.channel(0)) / rms(front_left.channel(0))), -3.01, 0.05);
        EXPECT_NEAR(db(rms(back_right.channel(1)) / rms(front_left.channel(0))), -3.01, 0.05);
        EXPECT_EQ(rms(back_right.channel(0)), 0.0);
        EXPECT_EQ(rms(lfe.channel(0)) + rms(lfe.channel(1)), 0.0);
    }
    {
        PumpDevice device(kRate, 1);
        ASSERT_TRUE(device.ok());
        // A stereo file on a mono device: the mean of its sides.
        Wave w = load_memory(wav_image(stereo, Encoding::f32));
        ASSERT_EQ(w.result, 1) << last_error();
        ASSERT_EQ(w.channels, 1);
        double worst = 0.0;
        for (size_t f = 0; f < w.frames(); ++f) {
            const double mean = (static_cast<double>(static_cast<float>(stereo.samples[2 * f])) +
                                 static_cast<float>(stereo.samples[2 * f + 1])) / 2.0;
            worst = std::max(worst, std::fabs(w.samples[f] - expected_sample(mean)));
        }
        EXPECT_LE(worst, 1.0);
    }
}

TEST(LoadFile, RateConversionLeavesOnlyTheTone) {
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    for (int32_t rate : {48000, 22050}) {
        SCOPED_TRACE(rate);
        // A float source, so that the file brings no noise of its own.
        const Pcm source = sine(rate, 1, 5000.0, 2.0, 0.5);
        Wave w = load_memory(wav_image(source, Encoding::f32));
        ASSERT_EQ(w.result, 1) << last_error();
        const double expected_frames = static_cast<double>(source.frames()) * kRate / rate;
        EXPECT_NEAR(static_cast<double>(w.frames()), expected_frames, 1.0);
        const ToneMeasure m = measure_tone(w.channel(0), kRate);
        EXPECT_NEAR(m.frequency, 5000.0, 0.05);
        EXPECT_NEAR(db(m.amplitude / (0.5 * 32768.0)), 0.0, 0.05);
        EXPECT_LE(m.residual_db, -80.0);
        std::printf("[ measured ] %d Hz -> %d Hz: 5 kHz tone, residual %.1f dB, level %+.3f dB\n", rate, kRate,
                    m.residual_db, db(m.amplitude / (0.5 * 32768.0)));
        // The tone keeps its phase: the converter's delay is taken off, so
        // the sound starts where the file starts.
        EXPECT_NEAR(tone_delay(w.channel(0), 5000.0, kRate), 0.0, 0.05);
    }
}

TEST(LoadFile, FlacLoadsExactly) {
    REQUIRE_PROGRAM("flac");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const Pcm source = full_scale_noise(2);
    const std::string flac = encoded(dir, source, "n.flac", "flac -s -f IN -o OUT");
    ASSERT_FALSE(flac.empty());
    Wave w = load_file(flac);
    ASSERT_EQ(w.result, 1) << last_error();
    EXPECT_EQ(w.samples, load_memory(wav_image(source, Encoding::s16)).samples);

    // 24 bits, 48 kHz, converted.
    const std::string wav24 = dir.file("t24.wav"), flac24 = dir.file("t24.flac");
    ASSERT_TRUE(write_bytes(wav24, wav_image(sine(48000, 2, 1000.0, 1.0, 0.25), Encoding::s24)));
    ASSERT_TRUE(run_quietly("flac -s -f " + quoted(wav24) + " -o " + quoted(flac24)));
    Wave t = load_file(flac24);
    ASSERT_EQ(t.result, 1) << last_error();
    EXPECT_NEAR(static_cast<double>(t.frames()), 44100.0, 1.0);
    const ToneMeasure m = measure_tone(t.channel(1), kRate);
    EXPECT_NEAR(m.frequency, 1000.0, 0.05);
    EXPECT_NEAR(db(m.amplitude / (0.25 * 32768.0)), 0.0, 0.05);
}

TEST(LoadFile, OggVorbisAndOpusKeepLengthPitchAndLevel) {
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const Pcm tone = sine(kRate, 2, 1000.0, 1.5, 0.5);
    const Pcm rough = noise(kRate, 2, 1.0, 0.3, 9);
    struct Case {
        const char *program, *name, *command;
        double frames_allowed;
    };
    // Opus decodes at 48 kHz; back at 44.1 kHz the length may be a frame off.
    for (const Case &c : {Case{"oggenc", "t.ogg", "oggenc -Q -q 6 -o OUT IN", 0.0},
                          Case{"opusenc", "t.opus", "opusenc --quiet --bitrate 160 IN OUT", 1.0}}) {
        SCOPED_TRACE(c.name);
        if (!have_program(c.program)) GTEST_SKIP() << c.program << " is not installed";
        const std::string file = encoded(dir, tone, c.name, c.command);
        ASSERT_FALSE(file.empty());
        Wave w = load_file(file);
        ASSERT_EQ(w.result, 1) << last_error();
        EXPECT_NEAR(static_cast<double>(w.frames()), static_cast<double>(tone.frames()), c.frames_allowed);
        const ToneMeasure m = measure_tone(w.channel(0), kRate);
        EXPECT_NEAR(m.frequency, 1000.0, 0.1);
        EXPECT_NEAR(db(m.amplitude / (0.5 * 32768.0)), 0.0, 0.2);
        EXPECT_LE(m.residual_db, -40.0);
        // Noise comes back in step with the source: the codec's delay is
        // taken off.
        const std::string noisy = encoded(dir, rough, std::string("n.") + c.name, c.command);
        ASSERT_FALSE(noisy.empty());
        Wave n = load_file(noisy);
        ASSERT_EQ(n.result, 1) << last_error();
        std::vector<double> original(rough.frames());
        for (size_t f = 0; f < original.size(); ++f) original[f] = rough.samples[2 * f];
        EXPECT_EQ(best_lag(original, n.channel(0), 2000), 0);
    }
}

TEST(LoadFile, Mp3WithInfoFrameIsGapless) {
    REQUIRE_PROGRAM("lame");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    // A whole number of cycles: looped, the wave should run on without a seam.
    // The cosine starts at its peak, where a gap would show as a cliff.
    const Pcm loop = sine(kRate, 2, 441.0, 2.0, 0.5);
    const std::string mp3 = encoded(dir, loop, "loop.mp3", "lame --quiet -b 192 IN OUT");
    ASSERT_FALSE(mp3.empty());
    Wave w = load_file(mp3);
    ASSERT_EQ(w.result, 1) << last_error();
    const long error = static_cast<long>(w.frames()) - static_cast<long>(loop.frames());
    EXPECT_LE(std::labs(error), 1152);
    const std::vector<double> left = w.channel(0);
    double inside = 0.0;
    for (size_t i = 1000; i + 1000 < left.size(); ++i) inside = std::max(inside, std::fabs(left[i] - left[i - 1]));
    const double seam = std::fabs(left.front() - left.back());
    std::printf("[ measured ] gapless MP3: %zu frames for %zu (error %ld), seam step %.0f, largest step inside %.0f\n",
                w.frames(), loop.frames(), error, seam, inside);
    EXPECT_LE(seam, 1.5 * inside);
    EXPECT_GT(std::fabs(left.front()), 0.4 * 32768.0) << "the sound starts with silence";

    const Pcm rough = noise(kRate, 2, 1.0, 0.3, 5);
    const std::string noisy = encoded(dir, rough, "noise.mp3", "lame --quiet -b 192 IN OUT");
    Wave n = load_file(noisy);
    ASSERT_EQ(n.result, 1) << last_error();
    std::vector<double> original(rough.frames());
    for (size_t f = 0; f < original.size(); ++f) original[f] = rough.samples[2 * f];
    EXPECT_EQ(best_lag(original, n.channel(0), 2000), 0);
}

TEST(LoadFile, Mp3WithoutInfoFrameLosesTheDecoderDelay) {
    REQUIRE_PROGRAM("lame");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const Pcm rough = noise(kRate, 2, 1.0, 0.3, 6);
    // lame -t writes no info frame: only its own delay of 576 samples stays.
    const std::string mp3 = encoded(dir, rough, "n.mp3", "lame --quiet -t -b 192 IN OUT");
    ASSERT_FALSE(mp3.empty());
    Wave w = load_file(mp3);
    ASSERT_EQ(w.result, 1) << last_error();
    std::vector<double> original(rough.frames());
    for (size_t f = 0; f < original.size(); ++f) original[f] = rough.samples[2 * f];
    EXPECT_EQ(best_lag(original, w.channel(0), 2000), 576);
    const long extra = static_cast<long>(w.frames()) - static_cast<long>(rough.frames()) - 576;
    EXPECT_GE(extra, 0);
    EXPECT_LT(extra, 1152);
}

TEST(LoadFile, MemoryLoadsEqualFileLoads) {
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const Pcm source = sine(32000, 2, 700.0, 0.5, 0.4);
    std::vector<std::string> files;
    const std::string wav = dir.file("s.wav");
    ASSERT_TRUE(write_bytes(wav, wav_image(source, Encoding::s24, {true, 0x3, false})));
    files.push_back(wav);
    struct Encoder {
        const char *program, *name, *command;
    };
    for (const Encoder &e : {Encoder{"flac", "s.flac", "flac -s -f IN -o OUT"},
                             Encoder{"oggenc", "s.ogg", "oggenc -Q -o OUT IN"},
                             Encoder{"opusenc", "s.opus", "opusenc --quiet IN OUT"},
                             Encoder{"lame", "s.mp3", "lame --quiet IN OUT"}}) {
        if (!have_program(e.program)) GTEST_SKIP() << e.program << " is not installed";
        files.push_back(encoded(dir, source, e.name, e.command));
        ASSERT_FALSE(files.back().empty()) << e.name;
    }
    for (const std::string &file : files) {
        SCOPED_TRACE(file);
        Wave from_file = load_file(file);
        Wave from_memory = load_memory(read_bytes(file));
        ASSERT_EQ(from_file.result, 1) << last_error();
        ASSERT_EQ(from_memory.result, 1) << last_error();
        EXPECT_GT(from_file.frames(), 10000u);
        EXPECT_EQ(from_file.samples, from_memory.samples);
    }
}

TEST(LoadFile, WritesNoTemporaryFile) {
    REQUIRE_PROGRAM("lame");
    REQUIRE_PROGRAM("oggenc");
    REQUIRE_PROGRAM("flac");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir, tmp;
    const Pcm source = sine(kRate, 2, 440.0, 0.5, 0.4);
    const std::vector<std::string> files = {encoded(dir, source, "a.mp3", "lame --quiet IN OUT"),
                                            encoded(dir, source, "a.ogg", "oggenc -Q -o OUT IN"),
                                            encoded(dir, source, "a.flac", "flac -s -f IN -o OUT")};
    setenv("TMPDIR", tmp.path().c_str(), 1);
    FolderWatch in_tmp(tmp.path()), in_files(dir.path()), in_cwd(".");
    for (const std::string &file : files) {
        ASSERT_FALSE(file.empty());
        Wave w = load_file(file);
        EXPECT_EQ(w.result, 1) << last_error();
    }
    EXPECT_TRUE(in_tmp.events().empty());
    EXPECT_TRUE(in_files.events().empty());
    EXPECT_TRUE(in_cwd.events().empty());
}

TEST(LoadFile, ALongLoadNeedsLittleMoreMemoryThanTheWave) {
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    // Three minutes, converted (48 kHz) and as it is (44.1 kHz, read
    // straight into the wave): 32 MB of wave either way.
    for (int32_t rate : {48000, kRate}) {
        SCOPED_TRACE(rate);
        const std::string path = dir.file("long.wav");
        ASSERT_TRUE(write_bytes(path, wav_image(sine(rate, 2, 440.0, 180.0, 0.3), Encoding::s16)));
        const size_t before = heap_bytes_in_use();
        std::atomic<bool> loading{true};
        std::atomic<size_t> peak{before};
        std::thread watcher([&] {
            while (loading.load()) {
                peak.store(std::max(peak.load(), heap_bytes_in_use()));
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        int32_t handle = -1;
        const int32_t result = ZYN_LOAD_FILE(path.c_str(), &handle);
        loading.store(false);
        watcher.join();
        ASSERT_EQ(result, 1) << last_error();
        int16_t *start = nullptr, *end = nullptr;
        ASSERT_EQ(ZYN_GET_WAVEPOINTERS(handle, &start, &end, nullptr), 1);
        const auto wave_bytes = static_cast<double>(end - start) * 2.0;
        EXPECT_NEAR(wave_bytes, 180.0 * kRate * 4, 64.0);
        const double after = static_cast<double>(heap_bytes_in_use()) - static_cast<double>(before);
        const double during = static_cast<double>(peak.load()) - static_cast<double>(before);
        std::printf("[ measured ] %d Hz: wave %.1f MB; heap during the load +%.1f MB, after +%.1f MB\n", rate,
                    wave_bytes / 1e6, during / 1e6, after / 1e6);
        EXPECT_NEAR(after, wave_bytes, 1e6);
        EXPECT_LE(during, wave_bytes + 4e6);
        ZYN_DESTROY_WAVE(&handle);
    }
}

TEST(LoadFile, RefusalsSayWhy) {
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    auto refused = [](const std::string &path, const std::string &reason) {
        int32_t handle = 7;
        EXPECT_EQ(ZYN_LOAD_FILE(path.c_str(), &handle), 0) << path;
        EXPECT_EQ(handle, -1);
        EXPECT_NE(last_error().find(reason), std::string::npos) << last_error();
    };
    refused(dir.file("missing.wav"), "cannot open '" + dir.file("missing.wav") + "': No such file or directory");
    refused(dir.path(), "cannot open '" + dir.path() + "': Is a directory");
    write_bytes(dir.file("empty.wav"), {});
    refused(dir.file("empty.wav"), "'" + dir.file("empty.wav") + "' is empty");
    write_bytes(dir.file("x.bin"), seeded_bytes(5000, 1));
    refused(dir.file("x.bin"), "'" + dir.file("x.bin") + "' is not an audio file zyn can read");
    // An ID3 tag announces MPEG audio; junk with false syncs after it is refused.
    std::vector<uint8_t> tagged = id3v2_tag(std::vector<uint8_t>(100, 'a'));
    const std::vector<uint8_t> junk = sync_junk(20000, 2);
    tagged.insert(tagged.end(), junk.begin(), junk.end());
    write_bytes(dir.file("x.mp3"), tagged);
    refused(dir.file("x.mp3"), "'" + dir.file("x.mp3") + "' is not MPEG audio");
    std::vector<uint8_t> speex = {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 80};
    for (const char *text = "Speex   1.2"; *text; ++text) speex.push_back(static_cast<uint8_t>(*text));
    speex.resize(28 + 80, 0);
    write_bytes(dir.file("x.ogg"), speex);
    refused(dir.file("x.ogg"), "is an Ogg stream of Speex");
    // A WAV header without its samples: the decoder's own words follow.
    std::vector<uint8_t> cut = wav_image(sine(kRate, 1, 100.0, 0.01, 0.5), Encoding::s16);
    cut.resize(30);
    write_bytes(dir.file("cut.wav"), cut);
    refused(dir.file("cut.wav"), "'" + dir.file("cut.wav") + "' is a WAV file without a format chunk");
    // Samples without a header are not guessed at.
    cut = wav_image(sine(kRate, 2, 440.0, 0.1, 0.5), Encoding::s16);
    write_bytes(dir.file("raw.pcm"), std::vector<uint8_t>(cut.begin() + 44, cut.end()));
    refused(dir.file("raw.pcm"), "'" + dir.file("raw.pcm") + "' is not an audio file zyn can read");

    int32_t handle = 7;
    const std::vector<uint8_t> noise_bytes = seeded_bytes(3000, 4);
    EXPECT_EQ(ZYN_LOAD_MEMORY(noise_bytes.data(), noise_bytes.size(), &handle), 0);
    EXPECT_EQ(handle, -1);
    // The containers are listed as the installed libsndfile names them,
    // without those zyn does not take from it.
    const std::string listed = last_error();
    EXPECT_EQ(listed.find("the data in memory is not an audio file zyn can read: it reads MPEG audio, Ogg Vorbis and "
                          "every container libsndfile-"),
              0u)
        << listed;
    for (const char *name : {"WAV (Microsoft)", "AU (Sun/NeXT)", "CAF (", "W64 (", "VOC (", "FLAC ("})
        EXPECT_NE(listed.find(name), std::string::npos) << name;
    for (const char *name : {"RAW (", "MPEG-", "SD2 ("}) EXPECT_EQ(listed.find(name), std::string::npos) << name;
    EXPECT_EQ(ZYN_LOAD_MEMORY(noise_bytes.data(), 0, &handle), 0);
    EXPECT_EQ(last_error(), "the data in memory is empty");
    EXPECT_EQ(ZYN_LOAD_MEMORY(nullptr, 10, &handle), 0);
    EXPECT_NE(last_error().find("null"), std::string::npos);
    EXPECT_EQ(ZYN_LOAD_FILE(nullptr, &handle), 0);
    EXPECT_NE(last_error().find("null"), std::string::npos);
    EXPECT_EQ(ZYN_LOAD_FILE(dir.file("x.bin").c_str(), nullptr), 0);

    // No refusal left a wave behind: the first wave made now takes row 0.
    int16_t *samples = nullptr;
    ASSERT_EQ(ZYN_CREATE_WAVE(10, &handle, &samples), 1);
    EXPECT_EQ(handle, 0);
}

// The codec of an Ogg stream is told by its first whole page, as the
// decoders find it, not by junk in front that looks like a page header.
TEST(LoadFile, OggCodecIsToldByTheFirstWholePage) {
    REQUIRE_PROGRAM("oggenc");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::vector<uint8_t> vorbis =
        read_bytes(encoded(dir, sine(kRate, 2, 440.0, 0.5, 0.4), "s.ogg", "oggenc -Q -o OUT IN"));
    ASSERT_GT(vorbis.size(), 100u);
    // A page header without a checksum or segments, then the Opus magic.
    std::vector<uint8_t> junk = {'O', 'g', 'g', 'S', 0, 2};
    junk.resize(27, 0);
    for (const char *text = "OpusHead"; *text; ++text) junk.push_back(static_cast<uint8_t>(*text));
    junk.resize(junk.size() + 11, 1);
    std::vector<uint8_t> whole = junk;
    whole.insert(whole.end(), vorbis.begin(), vorbis.end());
    const Wave plain = load_memory(vorbis), behind_junk = load_memory(whole);
    ASSERT_EQ(plain.result, 1) << last_error();
    ASSERT_EQ(behind_junk.result, 1) << last_error();
    EXPECT_EQ(behind_junk.samples, plain.samples);
    // Only the Vorbis identification page: refused as Vorbis (libsndfile's
    // Ogg reader would leak what it gathered of the headers).
    const auto segments = vorbis.begin() + 27;
    const size_t first_page = 27 + vorbis[26] + std::accumulate(segments, segments + vorbis[26], size_t{0});
    std::vector<uint8_t> cut = junk;
    cut.insert(cut.end(), vorbis.begin(), vorbis.begin() + static_cast<std::ptrdiff_t>(first_page));
    EXPECT_EQ(load_memory(cut).result, 0);
    EXPECT_NE(last_error().find("Ogg Vorbis"), std::string::npos) << last_error();
}

// libsndfile keeps the error of a failed open in one place for the whole
// process: loads refused at the same time each say their own reason.
TEST(LoadFile, RefusalsAtOnceKeepTheirOwnReasons) {
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    std::vector<std::vector<uint8_t>> images;
    for (const char *head : {".snd", "NIST", "2BIT", "riff"}) {
        std::vector<uint8_t> image = seeded_bytes(400, 9);
        std::copy(head, head + 4, image.begin());
        images.push_back(image);
    }
    images.push_back(seeded_bytes(400, 5));  // no header at all
    std::vector<std::string> alone;
    for (const auto &image : images) {
        int32_t handle = -1;
        ASSERT_EQ(ZYN_LOAD_MEMORY(image.data(), image.size(), &handle), 0);
        alone.push_back(last_error());
    }
    ASSERT_EQ(std::set<std::string>(alone.begin(), alone.end()).size(), images.size());
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < images.size(); ++i)
        threads.emplace_back([&, i] {
            for (int n = 0; n < 200; ++n) {
                int32_t handle = -1;
                ZYN_LOAD_MEMORY(images[i].data(), images[i].size(), &handle);
                if (last_error() != alone[i]) ++wrong;
            }
        });
    for (auto &t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(LoadFile, RefusedWithoutAnEngineAndInsideACallback) {
    const std::vector<uint8_t> image = wav_image(sine(kRate, 1, 100.0, 0.1, 0.5), Encoding::s16);
    int32_t handle = 7;
    EXPECT_EQ(ZYN_LOAD_MEMORY(image.data(), image.size(), &handle), 0);
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(last_error(), "the engine is not initialised (call ZYN_INIT first)");

    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    static const std::vector<uint8_t> *s_image = &image;
    static int32_t s_result = -1, s_handle = 7;
    static std::string s_reason;
    ZYN_SET_MASTERCALLBACK([](int16_t *, int32_t, int32_t) {
        s_result = ZYN_LOAD_MEMORY(s_image->data(), s_image->size(), &s_handle);
        s_reason = ZYN_GET_LASTERROR();
    });
    ZYN_ENABLE_MASTERCALLBACK();
    device.pump();
    EXPECT_EQ(s_result, 0);
    EXPECT_EQ(s_handle, -1);
    EXPECT_NE(s_reason.find("inside a callback"), std::string::npos) << s_reason;
    ZYN_DISABLE_MASTERCALLBACK();
    EXPECT_EQ(ZYN_LOAD_MEMORY(image.data(), image.size(), &handle), 1) << last_error();
}
