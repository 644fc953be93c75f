// Tracks on the hand-pumped device: what they play is held against
// ZYN_LOAD_FILE of the same file, joins and fades are measured frame by
// frame, and misuse is refused. Before each block every ring is topped up
// on the test's thread (top_up_tracks), so the output does not depend on
// how fast the pool is.
#include "decoders/decoder_fixtures.h"
#include "media/sound_files.h"
#include "streaming/decoder_pool.h"
#include "streaming/track_table.h"
#include "test_support.h"
#include "media/tone_measure.h"
#include "zyn.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace zyn_test;

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;

// Every frame different from its neighbours and from the other channel, so
// that a frame played twice, skipped or shifted shows.
Pcm ramp(int32_t frames, int32_t channels, int32_t seed) {
    Pcm p{kRate, channels, {}};
    for (int32_t f = 0; f < frames; ++f)
        for (int32_t c = 0; c < channels; ++c)
            p.samples.push_back(static_cast<double>((f * 37 + c * 11003 + seed) % 60000 - 30000) / 32768.0);
    return p;
}

Pcm constant(int32_t frames, double value) {
    Pcm p{kRate, 2, {}};
    p.samples.assign(static_cast<size_t>(frames) * 2, value);
    return p;
}

std::vector<int16_t> samples_of(const Pcm &p) {
    std::vector<int16_t> out;
    for (double s : p.samples) out.push_back(static_cast<int16_t>(stored_value(s, Encoding::s16)));
    return out;
}

std::vector<int16_t> pump(PumpDevice &device, int32_t blocks) {
    std::vector<int16_t> out;
    for (int32_t b = 0; b < blocks; ++b) {
        zyn::top_up_tracks();
        const std::vector<int16_t> block = device.pump();
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// Blocks until none of the tracks plays, at most limit.
std::vector<int16_t> pump_until_quiet(PumpDevice &device, int32_t limit = 2000) {
    std::vector<int16_t> out;
    for (int32_t b = 0; b < limit && ZYN_GET_PLAYINGTRACKS() > 0; ++b) {
        const std::vector<int16_t> block = pump(device, 1);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

int32_t open_track(const std::string &path) {
    int32_t track = -7;
    EXPECT_EQ(ZYN_OPEN_TRACK(path.c_str(), &track), 1) << ZYN_GET_LASTERROR();
    return track;
}

std::vector<int16_t> loaded(const std::string &path) {
    int32_t wave = -1;
    int16_t *start = nullptr, *end = nullptr;
    if (ZYN_LOAD_FILE(path.c_str(), &wave) != 1 || ZYN_GET_WAVEPOINTERS(wave, &start, &end, nullptr) != 1)
        return {};
    return {start, end};
}

std::string write_wav(const TempDir &dir, const std::string &name, const Pcm &pcm) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(write_bytes(path, wav_image(pcm, Encoding::s16)));
    return path;
}

// The first n samples of out, and whether everything after them is silence.
bool silent_after(const std::vector<int16_t> &out, size_t n) {
    for (size_t i = n; i < out.size(); ++i)
        if (out[i] != 0) return false;
    return true;
}

std::vector<int16_t> head(const std::vector<int16_t> &v, size_t n) {
    return {v.begin(), v.begin() + static_cast<std::ptrdiff_t>(std::min(n, v.size()))};
}

}  // namespace

// Each format plays the frames ZYN_LOAD_FILE makes of it, to the end, then
// silence; where the rate is converted, within a step of rounding.
TEST(Tracks, PlayWhatLoadFileMakes) {
    struct Case {
        const char *name;
        const char *encoder;  // shell command from IN.wav to OUT, or null for the WAV itself
        int32_t file_rate;
        int32_t channels;
        int32_t allowed;  // largest sample difference
    };
    const Case cases[] = {
        {"wav16.wav", nullptr, kRate, 2, 0},
        {"mono.wav", nullptr, kRate, 1, 0},
        {"quad.wav", nullptr, kRate, 4, 0},
        {"surround.wav", nullptr, kRate, 6, 0},
        {"rate48.wav", nullptr, 48000, 2, 1},
        {"v.ogg", "oggenc -Q -q 4 -o OUT IN", kRate, 2, 0},
        {"f.flac", "flac -s -f -o OUT IN", kRate, 2, 0},
        {"m.mp3", "lame --quiet -b 128 IN OUT", kRate, 2, 0},
    };
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pcm music = sine(c.file_rate, c.channels, 441.0, 1.3, 0.5);
        const Pcm hiss = noise(c.file_rate, c.channels, 1.3, 0.2, 5);
        for (size_t i = 0; i < music.samples.size(); ++i) music.samples[i] += hiss.samples[i];
        std::string path = write_wav(dir, std::string(c.name) + ".source.wav", music);
        if (c.encoder != nullptr) {
            const std::string tool = std::string(c.encoder).substr(0, std::string(c.encoder).find(' '));
            if (!have_program(tool)) GTEST_SKIP() << tool << " is not installed";
            std::string line = c.encoder;
            line.replace(line.find("IN"), 2, zyn_test::quoted(path));
            path = dir.file(c.name);
            line.replace(line.find("OUT"), 3, zyn_test::quoted(path));
            ASSERT_TRUE(run_quietly(line));
        }
        const std::vector<int16_t> wave = loaded(path);
        ASSERT_FALSE(wave.empty()) << ZYN_GET_LASTERROR();
        int32_t track = open_track(path);
        ASSERT_EQ(ZYN_PLAY_TRACK(track, 1), 1) << ZYN_GET_LASTERROR();
        const std::vector<int16_t> out = pump_until_quiet(device);
        ASSERT_GE(out.size(), wave.size());
        int32_t worst = 0;
        for (size_t i = 0; i < wave.size(); ++i) worst = std::max(worst, std::abs(out[i] - wave[i]));
        EXPECT_LE(worst, c.allowed);
        EXPECT_TRUE(silent_after(out, wave.size())) << "the track plays on past its end";
        int64_t position = -1;
        EXPECT_EQ(ZYN_GET_TRACKPOSITION(track, &position), 1);
        EXPECT_EQ(position, 0) << "an ended track is rewound";
        ZYN_CLOSE_TRACK(&track);
    }
}

// The formats a track may stream, made from a WAV by the system's encoders.
struct Format {
    const char *name;
    const char *encoder;  // from IN (a WAV) to OUT; null: the WAV itself
};
const Format kFormats[] = {
    {"w.wav", nullptr},
    {"f.flac", "flac -s -f -o OUT IN"},
    {"v.ogg", "oggenc -Q -q 4 -o OUT IN"},
    {"m.mp3", "lame --quiet -b 160 IN OUT"},
};

// The file of format f holding pcm; "" when its encoder is missing.
std::string make_file(const TempDir &dir, const Format &f, const Pcm &pcm) {
    const std::string wav = write_wav(dir, std::string(f.name) + ".wav", pcm);
    if (f.encoder == nullptr) return wav;
    std::string line = f.encoder;
    const std::string tool = line.substr(0, line.find(' '));
    if (!have_program(tool)) return "";
    const std::string out = dir.file(f.name);
    line.replace(line.find("IN"), 2, zyn_test::quoted(wav));
    line.replace(line.find("OUT"), 3, zyn_test::quoted(out));
    return run_quietly(line) ? out : "";
}

Pcm music(int32_t rate, double seconds) {
    Pcm m = sine(rate, 2, 523.0, seconds, 0.4);
    const Pcm hiss = noise(rate, 2, seconds, 0.2, 17);
    for (size_t i = 0; i < m.samples.size(); ++i) m.samples[i] += hiss.samples[i];
    return m;
}

// Frames [from, to) of interleaved stereo samples.
std::vector<int16_t> frames_of(const std::vector<int16_t> &v, int64_t from, int64_t to) {
    return {v.begin() + from * 2, v.begin() + to * 2};
}

// Intro and loop: the output is the file up to the loop's end, then the
// loop region again and again, frame for frame as ZYN_LOAD_FILE decodes the
// file, and the position follows the passes.
TEST(Tracks, LoopPointsAreSampleExact) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const int64_t start = 11111, end = 30001;
    for (const Format &f : kFormats) {
        SCOPED_TRACE(f.name);
        const std::string path = make_file(dir, f, music(kRate, 1.0));
        if (path.empty()) GTEST_SKIP() << f.encoder << " is not installed";
        const std::vector<int16_t> wave = loaded(path);
        ASSERT_GT(wave.size(), static_cast<size_t>(end) * 2);
        int32_t t = open_track(path);
        ASSERT_EQ(ZYN_SET_TRACKLOOP(t, start, end), 1) << ZYN_GET_LASTERROR();
        ASSERT_EQ(ZYN_PLAY_TRACK(t, 3), 1) << ZYN_GET_LASTERROR();
        std::vector<int16_t> out = pump(device, (end + kBlock - 1) / kBlock + 1);
        int64_t position = 0;
        ASSERT_EQ(ZYN_GET_TRACKPOSITION(t, &position), 1);
        const int64_t played = static_cast<int64_t>(out.size() / 2);
        EXPECT_EQ(position, start + (played - end));
        const std::vector<int16_t> rest = pump_until_quiet(device);
        out.insert(out.end(), rest.begin(), rest.end());
        std::vector<int16_t> expected = frames_of(wave, 0, end);
        for (int pass = 0; pass < 2; ++pass) {
            const std::vector<int16_t> loop = frames_of(wave, start, end);
            expected.insert(expected.end(), loop.begin(), loop.end());
        }
        ASSERT_GE(out.size(), expected.size());
        EXPECT_TRUE(head(out, expected.size()) == expected);
        EXPECT_TRUE(silent_after(out, expected.size()));
        ZYN_CLOSE_TRACK(&t);
    }
}

// With its rate converted, a looped file sounds as the same passes joined
// into one file and loaded whole.
TEST(Tracks, ALoopThroughTheRateConverterIsOneSignal) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const Pcm source = music(48000, 0.8);
    const size_t start = 7000, end = 29000;
    Pcm joined{48000, 2, {source.samples.begin(), source.samples.begin() + end * 2}};
    for (int pass = 0; pass < 2; ++pass)
        joined.samples.insert(joined.samples.end(), source.samples.begin() + start * 2, source.samples.begin() + end * 2);
    const std::vector<int16_t> wave = loaded(write_wav(dir, "joined.wav", joined));
    int32_t t = open_track(write_wav(dir, "source.wav", source));
    ASSERT_EQ(ZYN_SET_TRACKLOOP(t, start, end), 1);
    ASSERT_EQ(ZYN_PLAY_TRACK(t, 3), 1);
    const std::vector<int16_t> out = pump_until_quiet(device);
    ASSERT_GE(out.size(), wave.size());
    int32_t worst = 0;
    for (size_t i = 0; i < wave.size(); ++i) worst = std::max(worst, std::abs(out[i] - wave[i]));
    EXPECT_LE(worst, 1);
    EXPECT_TRUE(silent_after(out, wave.size()));
}

// After a seek the next block starts exactly at the frame asked for, in
// every format, and the position says so.
TEST(Tracks, SeekIsSampleExact) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    for (const Format &f : kFormats) {
        SCOPED_TRACE(f.name);
        const std::string path = make_file(dir, f, music(kRate, 1.0));
        if (path.empty()) GTEST_SKIP() << f.encoder << " is not installed";
        const std::vector<int16_t> wave = loaded(path);
        const auto frames = static_cast<int64_t>(wave.size() / 2);
        int32_t t = open_track(path);
        ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
        pump(device, 3);
        for (int64_t at : {int64_t{12345}, int64_t{1}, frames - 1000, int64_t{0}, int64_t{30000}}) {
            SCOPED_TRACE(at);
            ASSERT_EQ(ZYN_SEEK_TRACK(t, at), 1) << ZYN_GET_LASTERROR();
            int64_t position = -1;
            ASSERT_EQ(ZYN_GET_TRACKPOSITION(t, &position), 1);
            EXPECT_EQ(position, at);
            const std::vector<int16_t> out = pump(device, 4);
            const int64_t n = std::min<int64_t>(4 * kBlock, frames - at);
            EXPECT_TRUE(head(out, static_cast<size_t>(n) * 2) == frames_of(wave, at, at + n));
            ASSERT_EQ(ZYN_GET_TRACKPOSITION(t, &position), 1);
            EXPECT_EQ(position, n < 4 * kBlock ? 0 : at + n);
            if (n < 4 * kBlock) {
                ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
            }
        }
        ZYN_CLOSE_TRACK(&t);
    }
}

// Where the rate is converted, a seek lands on the same instant of the
// file: once the converter has its history again (it starts afresh at the
// frame), the output is the whole-file conversion from that instant on.
TEST(Tracks, ASeekThroughTheRateConverterLandsOnItsInstant) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::string path = write_wav(dir, "music48.wav", music(48000, 1.0));
    const std::vector<int16_t> wave = loaded(path);
    int32_t t = open_track(path);
    ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
    pump(device, 2);
    // 160 frames at 48 kHz are 147 at 44.1 kHz: these land on a device frame.
    for (int64_t at : {int64_t{16000}, int64_t{160}, int64_t{32000}}) {
        SCOPED_TRACE(at);
        ASSERT_EQ(ZYN_SEEK_TRACK(t, at), 1) << ZYN_GET_LASTERROR();
        int64_t position = -1;
        ASSERT_EQ(ZYN_GET_TRACKPOSITION(t, &position), 1);
        EXPECT_EQ(position, at);
        const std::vector<int16_t> out = pump(device, 8);
        const int64_t from = at * 147 / 160, settled = 512;
        int32_t worst = 0;
        for (int64_t i = settled * 2; i < static_cast<int64_t>(out.size()); ++i)
            worst = std::max(worst, std::abs(out[static_cast<size_t>(i)] - wave[static_cast<size_t>(from * 2 + i)]));
        EXPECT_LE(worst, 2) << "frames after the seek are not those of the instant sought";
    }
    ZYN_CLOSE_TRACK(&t);
}

// The transport in every format: a pause holds the place and the output
// goes on from the very frame it stopped at; a stop is silent, counts as not
// playing and rewinds, so the next play starts at frame 0; the facts are
// those of the file.
TEST(Tracks, PauseHoldsThePlaceAndStopRewinds) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    for (const Format &f : kFormats) {
        SCOPED_TRACE(f.name);
        const std::string path = make_file(dir, f, music(kRate, 0.5));
        if (path.empty()) GTEST_SKIP() << f.encoder << " is not installed";
        const std::vector<int16_t> wave = loaded(path);
        int32_t t = open_track(path);
        int64_t frames = 0, position = -1;
        int32_t rate = 0, channels = 0;
        ASSERT_EQ(ZYN_GET_TRACKINFO(t, &frames, &rate, &channels), 1);
        EXPECT_EQ(frames, static_cast<int64_t>(wave.size() / 2));
        EXPECT_EQ(rate, kRate);
        EXPECT_EQ(channels, 2);

        ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
        pump(device, 5);
        ASSERT_EQ(ZYN_SET_TRACKPAUSED(t, 1), 1);
        const std::vector<int16_t> paused = pump(device, 3);
        EXPECT_TRUE(silent_after(paused, 0)) << "a paused track is heard";
        ASSERT_EQ(ZYN_GET_TRACKPOSITION(t, &position), 1);
        EXPECT_EQ(position, 5 * kBlock);
        EXPECT_EQ(ZYN_IS_TRACKPLAYING(t), 1);
        EXPECT_EQ(ZYN_GET_PLAYINGTRACKS(), 1);
        ASSERT_EQ(ZYN_SET_TRACKPAUSED(t, 0), 1);
        EXPECT_TRUE(pump(device, 2) == frames_of(wave, 5 * kBlock, 7 * kBlock)) << "resumed elsewhere";

        ASSERT_EQ(ZYN_STOP_TRACK(t), 1);
        ASSERT_EQ(ZYN_GET_TRACKPOSITION(t, &position), 1);
        EXPECT_EQ(position, 0);
        EXPECT_EQ(ZYN_IS_TRACKPLAYING(t), 0);
        EXPECT_EQ(ZYN_GET_PLAYINGTRACKS(), 0);
        EXPECT_TRUE(silent_after(pump(device, 2), 0)) << "a stopped track is heard";
        ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
        EXPECT_TRUE(pump(device, 2) == frames_of(wave, 0, 2 * kBlock)) << "the play after a stop does not start at 0";
        ZYN_CLOSE_TRACK(&t);
    }
    // Another rate and layout: the file's own, not the device's.
    const std::string other = write_wav(dir, "mono48.wav", sine(48000, 1, 440.0, 0.25, 0.5));
    int32_t t = open_track(other);
    int64_t frames = 0;
    int32_t rate = 0, channels = 0;
    ASSERT_EQ(ZYN_GET_TRACKINFO(t, &frames, &rate, &channels), 1);
    EXPECT_EQ(frames, 12000);
    EXPECT_EQ(rate, 48000);
    EXPECT_EQ(channels, 1);
    ZYN_CLOSE_TRACK(&t);
}

// A queued track starts on the frame after the last one of the track before
// it, inside the block, with its own volume; so does the one after it.
TEST(Tracks, QueueJoinsOnTheNextFrame) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const Pcm a = ramp(1000, 2, 1), b = ramp(700, 2, 2), c = ramp(333, 2, 3);
    int32_t ta = open_track(write_wav(dir, "a.wav", a));
    int32_t tb = open_track(write_wav(dir, "b.wav", b));
    int32_t tc = open_track(write_wav(dir, "c.wav", c));
    ASSERT_EQ(ZYN_QUEUE_TRACK(ta, tb), 1);
    ASSERT_EQ(ZYN_QUEUE_TRACK(tb, tc), 1);
    ASSERT_EQ(ZYN_SET_TRACKVOLUME(tc, 0.5f), 1);
    ASSERT_EQ(ZYN_PLAY_TRACK(ta, 1), 1);
    const std::vector<int16_t> out = pump_until_quiet(device);

    std::vector<int16_t> expected = samples_of(a);
    const std::vector<int16_t> sb = samples_of(b);
    expected.insert(expected.end(), sb.begin(), sb.end());
    const size_t c_at = expected.size();
    const std::vector<int16_t> sc = samples_of(c);
    ASSERT_GE(out.size(), c_at + sc.size());
    EXPECT_EQ(head(out, c_at), expected);
    for (size_t i = 0; i < sc.size(); ++i) ASSERT_NEAR(out[c_at + i], sc[i] * 0.5, 1.0) << "frame " << i / 2;
    EXPECT_TRUE(silent_after(out, c_at + sc.size()));
    for (int32_t t : {ta, tb, tc}) EXPECT_EQ(ZYN_IS_TRACKPLAYING(t), 0);
    // Used once: playing the first again plays it alone.
    ASSERT_EQ(ZYN_PLAY_TRACK(ta, 1), 1);
    EXPECT_EQ(pump_until_quiet(device).size(), (1000 + kBlock - 1) / kBlock * kBlock * 2);
}

// A fade with stop glides in a straight line, stops the track where it ends
// and gives the volume back; a crossfade keeps the power of the sum.
TEST(Tracks, FadesGlideAndCrossfadesKeepThePower) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const double level = 16000.0;
    const std::string flat = write_wav(dir, "flat.wav", constant(kRate * 2, level / 32768.0));
    int32_t t = open_track(flat);
    ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
    const int32_t fade = kRate / 10;  // 100 ms
    ASSERT_EQ(ZYN_FADE_TRACK(t, 0.0f, 100.0f, 1), 1);
    const std::vector<int16_t> out = pump(device, fade / kBlock + 2);
    for (int32_t f = 0; f < fade; f += 97)
        ASSERT_NEAR(out[2 * static_cast<size_t>(f)], level * (1.0 - static_cast<double>(f) / fade), 1.0) << f;
    EXPECT_TRUE(silent_after(out, 2 * static_cast<size_t>(fade)));
    EXPECT_EQ(ZYN_IS_TRACKPLAYING(t), 0);
    float volume = 0.0f;
    ASSERT_EQ(ZYN_GET_TRACKVOLUME(t, &volume), 1);
    EXPECT_EQ(volume, 1.0f);

    // Hard left falls, hard right rises: left^2 + right^2 stays level^2.
    int32_t u = open_track(flat);
    ASSERT_EQ(ZYN_SET_TRACKPAN(t, -1.0f), 1);
    ASSERT_EQ(ZYN_SET_TRACKPAN(u, 1.0f), 1);
    ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
    pump(device, 1);
    ASSERT_EQ(ZYN_CROSSFADE_TRACKS(t, u, 100.0f), 1);
    const std::vector<int16_t> cross = pump(device, fade / kBlock + 2);
    double last_left = level + 1, last_right = -1;
    for (int32_t f = 0; f < fade; ++f) {
        const double l = cross[2 * static_cast<size_t>(f)], r = cross[2 * static_cast<size_t>(f) + 1];
        ASSERT_NEAR(std::sqrt(l * l + r * r), level, 2.0) << f;
        ASSERT_LE(l, last_left);
        ASSERT_GE(r, last_right);
        last_left = l;
        last_right = r;
    }
    EXPECT_EQ(cross[2 * static_cast<size_t>(fade)], 0);
    EXPECT_NEAR(cross[2 * static_cast<size_t>(fade) + 1], level, 1.0);
    EXPECT_EQ(ZYN_IS_TRACKPLAYING(t), 0);
    EXPECT_EQ(ZYN_IS_TRACKPLAYING(u), 1);
}

// A track whose decoding is held up is silent for the frames it lacks,
// counts them, and then goes on exactly where it was; the mix never waits.
TEST(Tracks, ALateTrackIsSilentCountsAndResumes) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const Pcm music = ramp(kRate * 3, 2, 9);
    int32_t t = open_track(write_wav(dir, "long.wav", music));
    ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
    std::vector<int16_t> out = pump(device, 1);
    zyn::TrackRow &row = zyn::track_table().rows[static_cast<size_t>(t)];
    std::vector<int16_t> held;
    {
        // The decode lock is what the pool and every primer take: holding
        // it stops all decoding for the track.
        std::lock_guard<std::mutex> stall(row.decode);
        const int64_t ring = row.ring->capacity();
        for (int32_t b = 0; b < ring / kBlock + 4; ++b) {
            const std::vector<int16_t> block = device.pump();
            held.insert(held.end(), block.begin(), block.end());
        }
    }
    int64_t late = 0;
    ASSERT_EQ(ZYN_GET_TRACKUNDERRUNS(t, &late), 1);
    ASSERT_GT(late, 0);
    const size_t played = held.size() / 2 - static_cast<size_t>(late);
    EXPECT_TRUE(silent_after(held, played * 2));
    out.insert(out.end(), held.begin(), held.begin() + static_cast<std::ptrdiff_t>(played * 2));
    const std::vector<int16_t> after = pump(device, 2);
    out.insert(out.end(), after.begin(), after.end());
    EXPECT_EQ(out, head(samples_of(music), out.size()));
}

// Handles that are not open tracks, and values that describe nothing, are
// refused with a reason.
TEST(Tracks, MisuseIsRefused) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    int32_t t = open_track(write_wav(dir, "a.wav", ramp(5000, 2, 1)));
    int32_t closed = open_track(write_wav(dir, "b.wav", ramp(5000, 2, 2)));
    const int32_t stale = closed;
    ASSERT_EQ(ZYN_CLOSE_TRACK(&closed), 1);
    EXPECT_EQ(closed, -1);
    float f = 0;
    int64_t frame = 0;
    const std::vector<std::pair<const char *, std::function<int32_t()>>> calls = {
        {"play 0 passes", [&] { return ZYN_PLAY_TRACK(t, 0); }},
        {"play -3 passes", [&] { return ZYN_PLAY_TRACK(t, -3); }},
        {"play a closed track", [&] { return ZYN_PLAY_TRACK(stale, 1); }},
        {"stop an unknown track", [&] { return ZYN_STOP_TRACK(99); }},
        {"volume of -1", [&] { return ZYN_SET_TRACKVOLUME(-1, 1.0f); }},
        {"volume into null", [&] { return ZYN_GET_TRACKVOLUME(t, nullptr); }},
        {"pan of a closed track", [&] { return ZYN_GET_TRACKPAN(stale, &f); }},
        {"seek before the start", [&] { return ZYN_SEEK_TRACK(t, -1); }},
        {"seek past the end", [&] { return ZYN_SEEK_TRACK(t, 5001); }},
        {"position into null", [&] { return ZYN_GET_TRACKPOSITION(t, nullptr); }},
        {"position of a closed track", [&] { return ZYN_GET_TRACKPOSITION(stale, &frame); }},
        {"empty loop", [&] { return ZYN_SET_TRACKLOOP(t, 100, 100); }},
        {"loop past the end", [&] { return ZYN_SET_TRACKLOOP(t, 0, 5001); }},
        {"loop from before the start", [&] { return ZYN_SET_TRACKLOOP(t, -5, 10); }},
        {"queue after itself", [&] { return ZYN_QUEUE_TRACK(t, t); }},
        {"queue a closed track", [&] { return ZYN_QUEUE_TRACK(t, stale); }},
        {"crossfade into itself", [&] { return ZYN_CROSSFADE_TRACKS(t, t, 10.0f); }},
        {"fade a closed track", [&] { return ZYN_FADE_TRACK(stale, 0.0f, 10.0f, 1); }},
        {"close a closed handle", [&] {
             int32_t again = stale;
             return ZYN_CLOSE_TRACK(&again);
         }},
        {"close through null", [&] { return ZYN_CLOSE_TRACK(nullptr); }},
    };
    for (const auto &[what, call] : calls) {
        ZYN_SET_PLUGPATH(ZYN_GET_PLUGPATH());  // leaves the last error as it is
        EXPECT_EQ(call(), 0) << what;
        EXPECT_STRNE(ZYN_GET_LASTERROR(), "") << what;
    }
    EXPECT_EQ(ZYN_IS_TRACKPLAYING(stale), 0);
    // Memory a caller frees after the close is never read again (the
    // sanitizers watch the blocks after it).
    {
        auto image = std::make_unique<std::vector<uint8_t>>(wav_image(ramp(kRate, 2, 5), Encoding::s16));
        int32_t m = -1;
        ASSERT_EQ(ZYN_OPEN_TRACKMEMORY(image->data(), image->size(), &m), 1);
        ASSERT_EQ(ZYN_PLAY_TRACK(m, ZYN_LOOP_FOREVER), 1);
        pump(device, 3);
        ASSERT_EQ(ZYN_CLOSE_TRACK(&m), 1);
        image.reset();
        pump(device, 3);
    }
    // A queue may not come back round.
    int32_t u = open_track(write_wav(dir, "c.wav", ramp(500, 2, 3)));
    ASSERT_EQ(ZYN_QUEUE_TRACK(t, u), 1);
    EXPECT_EQ(ZYN_QUEUE_TRACK(u, t), 0);
    EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find("never end"), std::string::npos);
}

// A file that is not a sound, and files that are not there, are refused
// with a reason naming them; nothing stays open.
TEST(Tracks, OpenRefusesWhatIsNotSound) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::string text = dir.file("notes.txt"), empty = dir.file("empty.wav"), cut = dir.file("cut.wav");
    ASSERT_TRUE(write_bytes(text, std::vector<uint8_t>(4000, 'x')));
    ASSERT_TRUE(write_bytes(empty, wav_image(ramp(0, 2, 1), Encoding::s16)));
    std::vector<uint8_t> header = wav_image(ramp(100, 2, 1), Encoding::s16);
    header.resize(30);
    ASSERT_TRUE(write_bytes(cut, header));
    for (const std::string &path : {text, empty, cut, dir.file("missing.wav"), dir.path()}) {
        int32_t t = 5;
        EXPECT_EQ(ZYN_OPEN_TRACK(path.c_str(), &t), 0) << path;
        EXPECT_EQ(t, -1);
        EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find(path), std::string::npos) << ZYN_GET_LASTERROR();
    }
    const std::vector<uint8_t> junk(3000, 0x5A);
    int32_t t = 5;
    EXPECT_EQ(ZYN_OPEN_TRACKMEMORY(junk.data(), junk.size(), &t), 0);
    EXPECT_EQ(t, -1);
    EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find("the data in memory"), std::string::npos);
    EXPECT_EQ(ZYN_OPEN_TRACKMEMORY(nullptr, 10, &t), 0);
    EXPECT_EQ(ZYN_GET_PLAYINGTRACKS(), 0);
}

namespace {

// What the track end callback saw: handles and the last error there.
struct Ends {
    std::mutex lock;
    std::vector<std::pair<int32_t, std::string>> seen;
    static void note(int32_t track, void *user) {
        auto *ends = static_cast<Ends *>(user);
        std::lock_guard<std::mutex> hold(ends->lock);
        ends->seen.emplace_back(track, ZYN_GET_LASTERROR());
    }
    std::vector<std::pair<int32_t, std::string>> wait_for(size_t count) {
        for (int i = 0; i < 2000; ++i) {
            {
                std::lock_guard<std::mutex> hold(lock);
                if (seen.size() >= count) return seen;
            }
            usleep(1000);
        }
        std::lock_guard<std::mutex> hold(lock);
        return seen;
    }
};

}  // namespace

// A track that plays its last pass is reported on the event thread with an
// empty last error; a file cut short on disk while it plays ends its track
// early, reported with the reason. Nothing hangs, nothing is read past the cut.
TEST(Tracks, EndsAreReportedWithTheirReason) {
    PumpDevice device(kRate, 2, kBlock);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    Ends ends;
    ASSERT_EQ(ZYN_SET_TRACKENDCALLBACK(Ends::note, &ends), 1);
    int32_t whole = open_track(write_wav(dir, "short.wav", ramp(3000, 2, 1)));
    ASSERT_EQ(ZYN_PLAY_TRACK(whole, 1), 1);
    pump_until_quiet(device);
    auto seen = ends.wait_for(1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(whole, std::string()));

    const std::string path = write_wav(dir, "long.wav", ramp(kRate * 4, 2, 4));
    int32_t t = open_track(path);
    ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
    pump(device, 4);
    ASSERT_EQ(truncate(path.c_str(), 44 + kRate * 4), 0);  // one second left
    const std::vector<int16_t> out = pump_until_quiet(device);
    EXPECT_EQ(ZYN_IS_TRACKPLAYING(t), 0);
    EXPECT_LT(out.size(), static_cast<size_t>(kRate) * 2 * 2);
    seen = ends.wait_for(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].first, t);
    EXPECT_NE(seen[1].second.find("long.wav"), std::string::npos) << seen[1].second;
    EXPECT_NE(seen[1].second.find("changed on disk"), std::string::npos) << seen[1].second;
    ASSERT_EQ(ZYN_SET_TRACKENDCALLBACK(nullptr, nullptr), 1);
}

// A new device format re-makes a playing track for it at the place it
// stood; ZYN_EXIT closes every track and gives back its threads.
TEST(Tracks, FollowTheDeviceAndCloseAtExit) {
    const int32_t threads = thread_count();
    TempDir dir;
    const std::string path = write_wav(dir, "tone.wav", sine(kRate, 2, 1000.0, 3.0, 0.5));
    {
        PumpDevice device(kRate, 2, kBlock);
        ASSERT_TRUE(device.ok());
        int32_t t = open_track(path);
        ASSERT_EQ(ZYN_PLAY_TRACK(t, 1), 1);
        pump(device, 40);
        int64_t before = 0, after = 0;
        ASSERT_EQ(ZYN_GET_TRACKPOSITION(t, &before), 1);
        EXPECT_EQ(before, 40 * kBlock);
        ASSERT_EQ(ZYN_INIT(48000, 1, 3, kBlock, -1), 1);
        ASSERT_EQ(ZYN_GET_TRACKPOSITION(t, &after), 1);
        EXPECT_EQ(after, before);
        EXPECT_EQ(ZYN_IS_TRACKPLAYING(t), 1);
        const std::vector<int16_t> mono = pump(device, 40);
        const ToneMeasure tone = measure_tone(channel_samples(mono.data(), mono.size(), 1, 0), 48000);
        EXPECT_NEAR(tone.frequency, 1000.0, 1.0);
        EXPECT_NEAR(tone.amplitude, 16384.0, 200.0);
        EXPECT_GT(thread_count(), threads);
    }
    EXPECT_EQ(settled_thread_count(threads), threads);
    PumpDevice again(kRate, 2, kBlock);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(ZYN_IS_TRACKPLAYING(0), 0);
    int64_t frames = 0;
    EXPECT_EQ(ZYN_GET_TRACKINFO(0, &frames, nullptr, nullptr), 0) << "no track outlives ZYN_EXIT";
}
