// zynplay --out renders files through ZYN_RENDER: what is in the file must
// be the whole sound, shaped by the options, and nothing else, the same on
// every run.
#include "player_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace player_test;

namespace {

constexpr int kRate = 44100;

struct Rendered {
    ProgramRun run;
    WavFile audio;
    std::vector<double> left, right;
};

Rendered render(const zyn_test::TempDir &dir, const std::vector<std::string> &files,
                std::vector<std::string> options = {}) {
    Rendered r;
    const std::string out = dir.file("out.wav");
    std::remove(out.c_str());  // each render into a fresh name, without --force
    std::vector<std::string> args{"--out", out};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), files.begin(), files.end());
    r.run = run_zynplay(args);
    EXPECT_EQ(r.run.exit_code, 0) << r.run.err;
    r.audio = read_wav(out);
    EXPECT_EQ(r.audio.problem, "") << "no complete WAV file written";
    if (r.audio.channels >= 1) {
        r.left = r.audio.channel(0);
        r.right = r.audio.channel(r.audio.channels > 1 ? 1 : 0);
    }
    return r;
}

std::string write_tone(const zyn_test::TempDir &dir, const std::string &name, double frequency, double seconds,
                       int channels = 1) {
    const std::string path = dir.file(name);
    write_wav(path, tone(frequency, seconds, 16000.0, kRate, channels));
    return path;
}

// A mix of two tones as one file, quiet enough to take a 12 dB boost.
std::string write_two_tones(const zyn_test::TempDir &dir, const std::string &name, double f1, double f2) {
    Pcm a = tone(f1, 1.0, 4000.0);
    Pcm b = tone(f2, 1.0, 4000.0);
    for (size_t i = 0; i < a.samples.size(); ++i) a.samples[i] = static_cast<int16_t>(a.samples[i] + b.samples[i]);
    write_wav(dir.file(name), a);
    return dir.file(name);
}

}  // namespace

TEST(PlayerRender, FileHoldsTheWholeSoundAndNothingMore) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 1.0);
    Rendered r = render(dir, {file});
    ASSERT_EQ(r.audio.rate, kRate);
    ASSERT_EQ(r.audio.channels, 2);
    Extent heard = audible_extent(r.left);
    // The sound starts with the file and is there to its last frame.
    EXPECT_LE(heard.first, 2u);
    EXPECT_GE(heard.end, 44100u - 2);
    EXPECT_LE(heard.end, 44100u);
    // What follows is at most the rest of the block the sound ended in.
    EXPECT_GE(r.audio.frames(), 44100u);
    EXPECT_LT(r.audio.frames(), 44100u + 2048u);
    EXPECT_GT(amplitude_at(r.left, 440.0, kRate, 4410, 35280), 2000.0);
    EXPECT_NE(r.run.out.find("Playing"), std::string::npos);
    EXPECT_EQ(r.run.out.find('\r'), std::string::npos) << "plain lines expected when stdout is a pipe";
    EXPECT_EQ(render(dir, {file}).left, r.left) << "a render is the same on every run";
}

TEST(PlayerRender, SpeedTwoHalvesTheLengthAndDoublesThePitch) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 1.0);
    Rendered normal = render(dir, {file});
    Rendered fast = render(dir, {file}, {"--speed", "2"});
    const size_t normal_length = audible_extent(normal.left).length();
    const size_t fast_length = audible_extent(fast.left).length();
    EXPECT_NEAR(static_cast<double>(fast_length), normal_length / 2.0, 3.0);
    EXPECT_GT(amplitude_at(fast.left, 880.0, kRate, 2048, 16384), 10.0 * amplitude_at(fast.left, 440.0, kRate, 2048, 16384));
}

TEST(PlayerRender, NegativeSpeedPlaysTheFileBackwards) {
    zyn_test::TempDir dir;
    // 440 Hz for the first half second, 1000 Hz for the second.
    Pcm a = tone(440.0, 0.5, 16000.0);
    Pcm b = tone(1000.0, 0.5, 16000.0);
    a.samples.insert(a.samples.end(), b.samples.begin(), b.samples.end());
    write_wav(dir.file("steps.wav"), a);
    Rendered r = render(dir, {dir.file("steps.wav")}, {"--speed", "-1"});
    Extent heard = audible_extent(r.left);
    EXPECT_NEAR(static_cast<double>(heard.length()), 44100.0, 4.0);
    // Backwards, the 1000 Hz half comes first.
    const size_t quarter = 11025;
    EXPECT_GT(amplitude_at(r.left, 1000.0, kRate, heard.first + quarter / 2, quarter),
              10.0 * amplitude_at(r.left, 440.0, kRate, heard.first + quarter / 2, quarter));
    EXPECT_GT(amplitude_at(r.left, 440.0, kRate, heard.first + 3 * quarter, quarter),
              10.0 * amplitude_at(r.left, 1000.0, kRate, heard.first + 3 * quarter, quarter));
}

TEST(PlayerRender, PanFullyLeftSilencesTheRightChannel) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 0.5, 2);
    Rendered r = render(dir, {file}, {"--pan", "-1"});
    EXPECT_EQ(audible_extent(r.right, 0.0).length(), 0u) << "right channel should be silent";
    EXPECT_GT(amplitude_at(r.left, 440.0, kRate, 2205, 17640), 2000.0);
}

TEST(PlayerRender, PositionPlacesTheSoundAndHrtfRendersItBinaurally) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 0.5, 2);
    const double full = amplitude_at(render(dir, {file}).left, 440.0, kRate, 2205, 17640);
    // 2 m to the right: half the level (inverse distance), on the right alone.
    Rendered r = render(dir, {file}, {"--position", "2,0,0", "--pan", "-1"});
    EXPECT_EQ(audible_extent(r.left, 0.0).length(), 0u) << "left channel should be silent";
    EXPECT_NEAR(amplitude_at(r.right, 440.0, kRate, 2205, 17640) / full, 0.5, 0.01);
#if ZYN_TEST_HRTF
    Rendered b = render(dir, {file}, {"--position", "2,0,0", "--hrtf"});
    const double left = amplitude_at(b.left, 440.0, kRate, 2205, 17640);
    EXPECT_GT(left, 100.0) << "binaurally, the far ear hears it too";
    EXPECT_LT(left, amplitude_at(b.right, 440.0, kRate, 2205, 17640));
#endif
    EXPECT_NE(run_zynplay({"--out", dir.file("x.wav"), "--hrtf", file}).exit_code, 0);  // nothing placed
    EXPECT_NE(run_zynplay({"--out", dir.file("x.wav"), "--position", "1,2", file}).exit_code, 0);
}

TEST(PlayerRender, VolumesScaleTheLevel) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 0.5);
    const double full = amplitude_at(render(dir, {file}).left, 440.0, kRate, 2205, 17640);
    const double half = amplitude_at(render(dir, {file}, {"--volume", "0.5"}).left, 440.0, kRate, 2205, 17640);
    const double quarter =
        amplitude_at(render(dir, {file}, {"--volume", "0.5", "--master-volume", "0.5"}).left, 440.0, kRate, 2205, 17640);
    EXPECT_NEAR(half / full, 0.5, 0.01);
    EXPECT_NEAR(quarter / full, 0.25, 0.01);
}

TEST(PlayerRender, EqualiserRaisesItsBandOnly) {
    zyn_test::TempDir dir;
    const std::string file = write_two_tones(dir, "two.wav", 440.0, 5000.0);
    Rendered plain = render(dir, {file});
    Rendered boosted = render(dir, {file}, {"--eq", "440:6:1"});
    auto level = [](const Rendered &r, double f) { return amplitude_at(r.left, f, kRate, 8820, 26460); };
    // The centre gets twice the band's gain: +12 dB, a factor of four.
    EXPECT_NEAR(level(boosted, 440.0) / level(plain, 440.0), 4.0, 0.4);
    EXPECT_NEAR(level(boosted, 5000.0) / level(plain, 5000.0), 1.0, 0.1);
}

TEST(PlayerRender, PitchTwoDoublesTheFrequencyAndKeepsTheTail) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 1.0);
    Rendered r = render(dir, {file}, {"--pitch", "2"});
    const double up = amplitude_at(r.left, 880.0, kRate, 11025, 22050);
    const double same = amplitude_at(r.left, 440.0, kRate, 11025, 22050);
    EXPECT_GT(up, 8.0 * same) << "880 Hz: " << up << ", 440 Hz: " << same;
    EXPECT_GT(up, 100.0);
    // The shifter delays by 1024 frames; that delayed end must still be in the file.
    EXPECT_GT(audible_extent(r.left).end, 44100u + 512u);
}

TEST(PlayerRender, RangeAndLoopsChooseWhatIsPlayed) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 1.0);
    Rendered once = render(dir, {file}, {"--range", "0.25:0.5"});
    EXPECT_NEAR(static_cast<double>(audible_extent(once.left).length()), 11025.0, 3.0);
    Rendered thrice = render(dir, {file}, {"--range", "0.25:0.5", "--loops", "3"});
    EXPECT_NEAR(static_cast<double>(audible_extent(thrice.left).length()), 3 * 11025.0, 3.0);
    Rendered open_end = render(dir, {file}, {"--range", "0.5:"});
    EXPECT_NEAR(static_cast<double>(audible_extent(open_end.left).length()), 22050.0, 3.0);
}

TEST(PlayerRender, FilesFollowOneAnotherWithoutGaps) {
    zyn_test::TempDir dir;
    const std::string a = write_tone(dir, "a.wav", 440.0, 0.5);
    const std::string b = write_tone(dir, "b.wav", 1000.0, 0.3);
    Rendered r = render(dir, {a, b});
    // The second file starts with the block after the one the first ended in.
    const size_t second_start = (22050 / 2048 + 1) * 2048;
    Extent heard = audible_extent(r.left);
    EXPECT_NEAR(static_cast<double>(heard.end), second_start + 13230.0, 3.0);
    EXPECT_GT(amplitude_at(r.left, 440.0, kRate, 2048, 16384), 2000.0);
    EXPECT_GT(amplitude_at(r.left, 1000.0, kRate, second_start + 1024, 8192), 2000.0);
    EXPECT_LT(amplitude_at(r.left, 440.0, kRate, second_start + 1024, 8192), 100.0);
    EXPECT_EQ(audible_extent(std::vector<double>(r.left.begin() + 22050, r.left.begin() + static_cast<long>(second_start)), 0.0).length(), 0u);
}

namespace {

// Encodes a WAV fixture with an outside encoder; false when it is missing.
bool encode(const std::vector<std::string> &command) {
    if (!has_program(command[0])) return false;
    std::vector<std::string> argv = command;
    argv[0] = "/usr/bin/" + command[0];
    ProgramRun run = run_program(argv);
    return run.exit_code == 0;
}

}  // namespace

TEST(PlayerRender, Mp3AndOggAreRecognisedByContentNotName) {
    zyn_test::TempDir dir;
    const std::string source = write_tone(dir, "tone.wav", 440.0, 1.0);
    // Misleading names: the content decides.
    const std::string mp3 = dir.file("really-an-mp3.wav");
    const std::string ogg = dir.file("really-an-ogg.mp3");
    if (!encode({"lame", "--quiet", "-b", "128", source, mp3}) || !encode({"oggenc", "-Q", "-o", ogg, source}))
        GTEST_SKIP() << "lame or oggenc is not installed";
    for (const std::string &file : {mp3, ogg}) {
        Rendered r = render(dir, {file});
        Extent heard = audible_extent(r.left, 256.0);
        // Encoders add a little padding; the tone itself must be there, whole.
        EXPECT_NEAR(static_cast<double>(heard.length()), 44100.0, 2500.0) << file;
        EXPECT_GT(amplitude_at(r.left, 440.0, kRate, heard.first + 4410, 22050), 2000.0) << file;
    }
    ProgramRun info = run_zynplay({"--info", mp3, ogg}, {"ZYN_WAV_OUT=" + dir.file("info.wav")});
    EXPECT_EQ(info.exit_code, 0) << info.err;
    EXPECT_NE(info.out.find("MP3"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Ogg Vorbis"), std::string::npos) << info.out;
}

TEST(PlayerRender, StreamPlaysEveryFormatAsATrack) {
    zyn_test::TempDir dir;
    const std::string source = write_tone(dir, "tone.wav", 440.0, 1.0);
    const std::string mp3 = dir.file("tone.mp3"), ogg = dir.file("tone.ogg");
    if (!encode({"lame", "--quiet", "-b", "128", source, mp3}) || !encode({"oggenc", "-Q", "-o", ogg, source}))
        GTEST_SKIP() << "lame or oggenc is not installed";
    for (const std::string &file : {mp3, ogg, source}) {
        Rendered r = render(dir, {file}, {"--stream"});
        Extent heard = audible_extent(r.left, 256.0);
        EXPECT_NEAR(static_cast<double>(heard.length()), 44100.0, 2500.0) << file;
        // At the file's own level, like a loaded file.
        EXPECT_NEAR(amplitude_at(r.left, 440.0, kRate, heard.first + 4410, 22050), 16000.0, 800.0) << file;
        EXPECT_NE(r.run.out.find("Streaming"), std::string::npos) << file;
        EXPECT_EQ(r.run.err, "") << file;
        // The render tops the track up before each block: never a gap, the
        // same on every run.
        EXPECT_EQ(render(dir, {file}, {"--stream"}).left, r.left) << file;
    }
    // A range looped: the track's loop points, pass after pass.
    Rendered looped = render(dir, {source}, {"--stream", "--range", "0.25:0.75", "--loops", "3"});
    EXPECT_NEAR(static_cast<double>(audible_extent(looped.left, 256.0).length()), 3 * 22050.0, 300.0);
    // What a track does not do is said, not silently dropped.
    Rendered told = render(dir, {source}, {"--stream", "--speed", "2"});
    EXPECT_NE(told.run.err.find("--speed does not apply to a track"), std::string::npos) << told.run.err;
}

TEST(PlayerRender, InfoDescribesDeviceProcessorAndFiles) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 1.5);
    ProgramRun run = run_zynplay({"--info", "--rate", "48000", "--frames", "1024", "--buffers", "4", file},
                          {"ZYN_WAV_OUT=" + dir.file("info.wav")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("48000 Hz"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1024 frames"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("latency 85.3 ms"), std::string::npos) << run.out;  // 4 x 1024 / 48000
    // At once: no clock measurement, which keeps a program busy for a second.
    EXPECT_NE(run.out.find("Processor:  fpu"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("MHz"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("WAV, PCM 16-bit, 44100 Hz, mono; 1.500 s"), std::string::npos) << run.out;
    // The plug-in count says what it counts.
    EXPECT_NE(run.out.find("usable now of"), std::string::npos) << run.out;
}

namespace {

// Hands bytes to whoever opens the pipe at path, once, on a thread of its own.
std::thread serve_through_pipe(const std::string &path, std::vector<uint8_t> bytes) {
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    return std::thread([path, bytes] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int fd = -1;
        // Without a reader the open fails at once; it is tried until one comes.
        while (fd < 0 && std::chrono::steady_clock::now() < deadline) {
            fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (fd < 0) return;
        fcntl(fd, F_SETFL, 0);
        // The reader stops after the header: what it leaves is not needed.
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(fd);
    });
}

void write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> file_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(PlayerRender, InfoTellsTheLengthWhereTheHeaderGivesOne) {
    std::signal(SIGPIPE, SIG_IGN);
    zyn_test::TempDir dir;
    const std::vector<uint8_t> samples = zyn_test::pcm16(tone(440.0, 0.5, 8000.0).samples);
    zyn_test::WavLayout layout;
    layout.channels = 1;
    const std::vector<uint8_t> plain = zyn_test::wav_image(layout, samples);
    // A streaming writer's header: sizes of 0xFFFFFFFF, "to the end".
    layout.data_size = 0xFFFFFFFF;
    const std::vector<uint8_t> open_ended = zyn_test::wav_image(layout, samples);
    layout.data_size = -1;
    const std::vector<uint8_t> empty = zyn_test::wav_image(layout, {});
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        bool pipe;
        std::string length;
    };
    std::vector<Case> cases = {
        {"plain.wav", plain, false, "0.500 s"},       {"open-ended.wav", open_ended, false, "0.500 s"},
        {"empty.wav", empty, false, "0.000 s"},       {"plain-pipe.wav", plain, true, "0.500 s"},
        {"open-ended-pipe.wav", open_ended, true, "length unknown"},
    };
    const bool ogg = encode({"oggenc", "-Q", "-o", dir.file("tone.ogg"), write_tone(dir, "tone.wav", 440.0, 1.0)});
    if (ogg) {
        cases.push_back({"tone-pipe.ogg", file_bytes(dir.file("tone.ogg")), true, "length unknown"});
        cases.push_back({"tone.ogg", file_bytes(dir.file("tone.ogg")), false, "1.000 s"});
    }
    std::vector<std::string> args{"--info"};
    std::vector<std::thread> servers;
    for (const Case &c : cases) {
        if (c.pipe) servers.push_back(serve_through_pipe(dir.file(c.name), c.bytes));
        else write_file(dir.file(c.name), c.bytes);
        args.push_back(dir.file(c.name));
    }
    ProgramRun run = run_zynplay(args, {"ZYN_WAV_OUT=" + dir.file("info.wav")});
    for (std::thread &server : servers) server.join();
    EXPECT_EQ(run.exit_code, 0) << run.err;
    for (const Case &c : cases) {
        const size_t line = run.out.find(dir.file(c.name) + ":");
        ASSERT_NE(line, std::string::npos) << run.out;
        const std::string text = run.out.substr(line, run.out.find('\n', line) - line);
        EXPECT_NE(text.find("; " + c.length), std::string::npos) << text;
    }
    if (!ogg) GTEST_SKIP() << "oggenc is not installed";
}

TEST(PlayerRender, FilesPlayAtTheirOwnLevel) {
    zyn_test::TempDir dir;
    const std::string file = dir.file("loud.wav");
    write_wav(file, tone(440.0, 0.5, 30000.0));
    Rendered r = render(dir, {file});
    EXPECT_NEAR(amplitude_at(r.left, 440.0, kRate, 2205, 17640), 30000.0, 300.0);
    // Formats beyond 16-bit WAV, known by content: FLAC under a .wav name.
    const std::string flac = dir.file("flac-really.wav");
    if (!encode({"flac", "-s", "-f", "-o", flac, file})) GTEST_SKIP() << "flac is not installed";
    Rendered f = render(dir, {flac});
    EXPECT_EQ(f.left, r.left);
}

TEST(PlayerRender, QuietPrintsNothingButKeepsTheSound) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 0.5);
    Rendered r = render(dir, {file}, {"-q"});
    EXPECT_EQ(r.run.out, "");
    EXPECT_NEAR(static_cast<double>(audible_extent(r.left).length()), 22050.0, 3.0);
}

TEST(PlayerRender, DeviceOptionsShapeTheFile) {
    zyn_test::TempDir dir;
    const std::string file = write_tone(dir, "tone.wav", 440.0, 1.0, 2);
    Rendered r = render(dir, {file}, {"--rate", "22050", "--channels", "1", "--frames", "512", "--buffers", "2"});
    EXPECT_EQ(r.audio.rate, 22050);
    ASSERT_EQ(r.audio.channels, 1);
    // Converted once on loading: the same second, in half the frames.
    EXPECT_NEAR(static_cast<double>(audible_extent(r.left).length()), 22050.0, 3.0);
    EXPECT_LT(r.audio.frames(), 22050u + 512u);
    EXPECT_GT(amplitude_at(r.left, 440.0, 22050, 2205, 17640), 2000.0);
}
