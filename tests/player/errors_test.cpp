// What zynplay says, and the status it ends with, when it cannot do its job.
#include "player_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace player_test;

namespace {

// zynplay's own complaint lines on stderr (output libraries may add theirs).
std::vector<std::string> complaints(const std::string &err) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < err.size()) {
        size_t end = err.find('\n', from);
        if (end == std::string::npos) end = err.size();
        std::string line = err.substr(from, end - from);
        if (line.rfind("zynplay:", 0) == 0) lines.push_back(line);
        from = end + 1;
    }
    return lines;
}

void write_bytes(const std::string &path, const std::string &bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

ProgramRun render(const zyn_test::TempDir &dir, const std::vector<std::string> &files) {
    std::vector<std::string> args{"--out", dir.file("out.wav")};
    args.insert(args.end(), files.begin(), files.end());
    return run_zynplay(args);
}

// One line on stderr naming the file and the reason; exit status 2.
void expect_file_refused(const ProgramRun &run, const std::string &file, const std::string &reason) {
    EXPECT_EQ(run.exit_code, 2) << run.err;
    std::vector<std::string> lines = complaints(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_NE(lines[0].find(file), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(reason), std::string::npos) << lines[0];
}

}  // namespace

TEST(PlayerErrors, FilesThatCannotBePlayedSayWhy) {
    zyn_test::TempDir dir;
    expect_file_refused(render(dir, {dir.file("missing.wav")}), "missing.wav", "No such file or directory");

    std::string noise(4000, '\0');
    std::mt19937 random(7);
    for (char &c : noise) c = static_cast<char>(random());
    noise[0] = 'x';  // not by chance a frame sync
    write_bytes(dir.file("noise.wav"), noise);
    expect_file_refused(render(dir, {dir.file("noise.wav")}), "noise.wav", "is not an audio file zyn can read");

    write_bytes(dir.file("empty.mp3"), "");
    expect_file_refused(render(dir, {dir.file("empty.mp3")}), "empty.mp3", "is empty");

    // A RIFF/WAVE header cut short: it passes for WAV, its chunks are refused.
    write_bytes(dir.file("cut.wav"), std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16));
    expect_file_refused(render(dir, {dir.file("cut.wav")}), "cut.wav", "is a WAV file without a format chunk");

    // An Ogg stream of a codec zyn does not read is named.
    std::string page("OggS\0\x02\0\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\0\0\0\x01\x13Speex   ", 36);
    page.resize(27 + 1 + 19, '\0');
    write_bytes(dir.file("speex.ogg"), page);
    expect_file_refused(render(dir, {dir.file("speex.ogg")}), "speex.ogg", "Ogg stream of Speex");
}

TEST(PlayerErrors, ARunThatPlaysNothingLeavesNoFile) {
    zyn_test::TempDir dir;
    ProgramRun run = render(dir, {dir.file("missing.wav")});
    EXPECT_EQ(run.exit_code, 2);
    std::FILE *left = std::fopen(dir.file("out.wav").c_str(), "rb");
    EXPECT_EQ(left, nullptr) << "an empty WAV file was left behind";
    if (left != nullptr) std::fclose(left);
}

TEST(PlayerErrors, ABadFileDoesNotStopTheOthers) {
    zyn_test::TempDir dir;
    write_wav(dir.file("good.wav"), tone(440.0, 0.5, 16000.0));
    ProgramRun run = render(dir, {dir.file("missing.wav"), dir.file("good.wav")});
    expect_file_refused(run, "missing.wav", "cannot open");
    const WavFile out = read_wav(dir.file("out.wav"));
    ASSERT_EQ(out.problem, "");
    EXPECT_NEAR(static_cast<double>(audible_extent(out.channel(0)).length()), 22050.0, 3.0);
}

TEST(PlayerErrors, UsageErrorsEndWithStatusOne) {
    zyn_test::TempDir dir;
    write_wav(dir.file("t.wav"), tone(440.0, 0.1, 8000.0));
    const std::string t = dir.file("t.wav");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--bogus", t},
        {"--speed", "fast", t},
        {"--speed", "0", t},
        {"--pan", "3", t},
        {"--eq", "1000:6", t},
        {"--channels", "3", t},
        {"--range", "0.5:0.2", t},
        {"--out", dir.file("o.wav"), "--loops", "0", t},
        {t, "--volume"},
        // An option where a value belongs, a folder or another format as --out.
        {"--out", "--out", dir.file("o.wav"), t},
        {"--out", dir.path(), t},
        {"--out", dir.file("o.mp3"), t},
        {"--speed", "-q", t},
    };
    for (const auto &args : cases) {
        ProgramRun run = run_zynplay(args);
        std::string shown;
        for (const auto &a : args) shown += a + " ";
        EXPECT_EQ(run.exit_code, 1) << shown << run.err;
        EXPECT_EQ(complaints(run.err).size(), 1u) << shown << run.err;
    }
    std::vector<std::string> too_many_bands;
    for (int i = 0; i < 11; ++i) {
        too_many_bands.push_back("--eq");
        too_many_bands.push_back("1000:3:1");
    }
    too_many_bands.push_back(t);
    EXPECT_EQ(run_zynplay(too_many_bands).exit_code, 1);
    // Negative numbers are values, not options.
    EXPECT_EQ(run_zynplay({"--out", dir.file("back.wav"), "--speed", "-1", t}).exit_code, 0);
}

TEST(PlayerErrors, RangesAreToldInTheirOwnUnits) {
    zyn_test::TempDir dir;
    write_wav(dir.file("t.wav"), tone(440.0, 2.0, 8000.0));
    const std::string t = dir.file("t.wav");
    EXPECT_NE(run_zynplay({"--volume", "3", t}).err.find("--volume: 3 is outside 0 .. 2"), std::string::npos);
    EXPECT_NE(run_zynplay({"--range", "0.5:0.25", t}).err.find("the end 0:00.250 is not after the start 0:00.500"),
              std::string::npos);
    ProgramRun past = run_zynplay({"--out", dir.file("o.wav"), "--range", "5:6", t});
    EXPECT_NE(past.err.find("--range starts at 0:05.000, at or after the end of the file (0:02.000 long)"),
              std::string::npos)
        << past.err;
}

TEST(PlayerErrors, NoOutputDeviceEndsWithStatusThree) {
    zyn_test::TempDir dir;
    write_wav(dir.file("t.wav"), tone(440.0, 0.1, 8000.0));
    ProgramRun run = run_zynplay({"--plugins", dir.path(), dir.file("t.wav")});
    EXPECT_EQ(run.exit_code, 3) << run.err;
    std::vector<std::string> lines = complaints(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_NE(lines[0].find("no output device"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(dir.path()), std::string::npos) << lines[0];
}

namespace {

// A plug-in folder holding only the silent output.
std::string silent_only(const zyn_test::TempDir &dir) {
    const std::string folder = dir.file("silent");
    mkdir(folder.c_str(), 0755);
    EXPECT_EQ(symlink(ZYN_PLUGIN_DIR "plug-null.so", (folder + "/plug-null.so").c_str()), 0);
    return folder;
}

}  // namespace

TEST(PlayerErrors, TheSilentOutputAndMissingDevicesAreTold) {
    zyn_test::TempDir dir;
    write_wav(dir.file("t.wav"), tone(440.0, 0.1, 8000.0));
    const std::string folder = silent_only(dir);
    ProgramRun run = run_zynplay({"--plugins", folder, dir.file("t.wav")});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    ASSERT_EQ(complaints(run.err).size(), 1u) << run.err;
    EXPECT_EQ(complaints(run.err)[0], "zynplay: no sound device found: playing to the silent output");

    const struct {
        std::vector<std::string> choice;
        const char *told;  // "" when it plays
    } choices[] = {
        {{"--device", "3"}, "no device 3"},
        {{"--device", "nowhere"}, "no device named 'nowhere'"},
        {{"--plug", "nothing"}, "no output plug-in named 'nothing'"},
        {{"--plug", "nothing", "--device", "0"}, "no output plug-in named 'nothing'"},
        {{"--plug", "null", "--device", "default"}, ""},
        {{"--device", "0"}, ""},
    };
    for (const auto &c : choices) {
        std::vector<std::string> arguments = {"--plugins", folder};
        arguments.insert(arguments.end(), c.choice.begin(), c.choice.end());
        arguments.push_back(dir.file("t.wav"));
        run = run_zynplay(arguments);
        if (c.told[0] == '\0') {
            EXPECT_EQ(run.exit_code, 0) << run.err;
            EXPECT_EQ(run.err, "") << "a silent output asked for is no complaint";
        } else {
            EXPECT_EQ(run.exit_code, 3) << run.err;
            EXPECT_NE(run.err.find(c.told), std::string::npos) << run.err;
        }
    }

    run = run_zynplay({"--plugins", folder, "--list-devices"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("  null (plug-null.so)\n    --device 0   default\n"), std::string::npos) << run.out;
}

TEST(PlayerErrors, HelpDocumentsEveryOption) {
    ProgramRun run = run_zynplay({"--help"});
    EXPECT_EQ(run.exit_code, 0);
    for (const char *option : {"--stream", "--speed", "--volume", "--pan", "--loops", "--range", "--master-volume",
                               "--eq", "--pitch", "--rate", "--channels", "--frames", "--buffers", "--out", "--info",
                               "--plugins", "--list-devices", "--quiet", "--force", "--plug", "--device", "underruns",
                               "130", "143", "Exit status"})
        EXPECT_NE(run.out.find(option), std::string::npos) << option;
}
