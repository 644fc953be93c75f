// plug-wav.so through the engine: what the master callback wrote must reach
// the file complete and in order, with a header that matches it, however the
// program ends.
#include "plugin_test_support.h"
#include "test_support.h"
#include "wav_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace zyn_test;

namespace {

// The canonical 44-byte header: "fmt " of 16 bytes at 12, "data" at 36.
void expect_valid_header(const WavFile &wav, int32_t channels, int32_t rate) {
    ASSERT_GE(wav.file_bytes, 44u);
    EXPECT_EQ(wav.riff, "RIFF");
    EXPECT_EQ(wav.wave, "WAVE");
    EXPECT_EQ(wav.fmt_size, 16u);
    EXPECT_EQ(wav.format, 1);
    EXPECT_EQ(wav.channels, channels);
    EXPECT_EQ(wav.rate, rate);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_EQ(wav.align, 2 * channels);
    EXPECT_EQ(wav.byte_rate, static_cast<uint32_t>(rate * 2 * channels));
    EXPECT_EQ(wav.data_at, 44u);
    EXPECT_EQ(wav.riff_size, 36 + wav.data_size);
    EXPECT_EQ(wav.data_size % wav.align, 0u);
}

// The whole data chunk: leading silence from blocks mixed before the callback
// was enabled, then the pattern without a gap to the end of the file.
void expect_pattern_to_the_end(const WavFile &wav, int64_t written) {
    const PatternRun run = find_pattern(wav.samples);
    ASSERT_LT(run.start, wav.samples.size()) << "no pattern in the file";
    EXPECT_EQ(run.start + run.length, wav.samples.size())
        << "the pattern breaks at sample " << run.start + run.length;
    EXPECT_EQ(static_cast<int64_t>(run.length), written);
}

class WavOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("out.wav");
        setenv("ZYN_WAV_OUT", path_.c_str(), 1);
        unsetenv("ZYN_WAV_REALTIME");
        reset_callbacks();
        ZYN_SET_PLUGPATH(folder_.path().c_str());
    }
    TempDir dir_;
    PluginFolder folder_{{"plug-wav.so", "plug-null.so"}};
    std::string path_;
};

}  // namespace

TEST_F(WavOutput, RecordsEveryBlockInOrderFasterThanRealTime) {
    setenv("ZYN_WAV_REALTIME", "0", 1);
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 512, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "WAV file");
    EXPECT_EQ(std::string(ZYN_GET_PLUGDEVICE()), path_.size() < 64 ? path_ : ZYN_GET_PLUGDEVICE());
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(pattern_callback), 1);
    const int64_t start = now_ns();
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    // Three seconds of sound through the callback (the blocks before it was
    // enabled may already be many).
    const int64_t blocks = 3 * 44100 / 512;
    while (callback_blocks() < blocks && seconds_since(start) < 30.0) sleep_ms(5);
    const double wall = seconds_since(start);
    ASSERT_EQ(ZYN_STOP(), 1);
    ASSERT_GE(callback_blocks(), blocks);
    EXPECT_LT(wall, blocks * 512 / 44100.0) << "without pacing, blocks come faster than real time";

    // A stopped recording is already a complete file.
    WavFile wav = read_wav(path_);
    expect_valid_header(wav, 2, 44100);
    EXPECT_EQ(wav.data_size, static_cast<uint32_t>(ZYN_GET_PLAYEDBYTES()));
    EXPECT_EQ(wav.file_bytes, 44 + wav.data_size);
    expect_pattern_to_the_end(wav, pattern_samples_written());

    // Output resumes into the same file.
    ASSERT_EQ(ZYN_START(), 1);
    const int32_t resumed = ZYN_GET_PLAYEDBYTES();
    while (ZYN_GET_PLAYEDBYTES() < resumed + 44100 * 4 && seconds_since(start) < 60.0) sleep_ms(5);
    ASSERT_EQ(ZYN_STOP(), 1);
    const auto played = static_cast<uint32_t>(ZYN_GET_PLAYEDBYTES());
    EXPECT_EQ(ZYN_EXIT(), 1);

    wav = read_wav(path_);
    expect_valid_header(wav, 2, 44100);
    EXPECT_EQ(wav.data_size, played);
    EXPECT_EQ(wav.file_bytes, 44 + wav.data_size);
    expect_pattern_to_the_end(wav, pattern_samples_written());
}

TEST_F(WavOutput, PacedLikeADeviceByDefault) {
    // 441 frames: a block every 10 ms.
    ASSERT_EQ(ZYN_INIT(44100, 1, 3, 441, -1), 1);
    ASSERT_EQ(ZYN_SET_MASTERCALLBACK(pattern_callback), 1);
    ASSERT_EQ(ZYN_ENABLE_MASTERCALLBACK(), 1);
    const int64_t start = now_ns();
    sleep_ms(600);
    ASSERT_EQ(ZYN_STOP(), 1);
    const double wall = seconds_since(start);
    EXPECT_EQ(ZYN_EXIT(), 1);

    const WavFile wav = read_wav(path_);
    expect_valid_header(wav, 1, 44100);
    EXPECT_EQ(wav.file_bytes, 44 + wav.data_size);
    expect_pattern_to_the_end(wav, pattern_samples_written());
    const double recorded = wav.data_size / (2.0 * 44100);
    EXPECT_GT(recorded, wall * 0.5);
    EXPECT_LT(recorded, wall + 0.1) << "a paced recording never runs ahead of the clock";
}

TEST_F(WavOutput, FileIsCompleteWhenTheProgramEndsWithoutExit) {
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The engine's finaliser has to stop the output and complete the file.
        setenv("ZYN_WAV_REALTIME", "0", 1);
        if (ZYN_INIT(44100, 2, 3, 256, -1) != 1) _exit(3);
        if (ZYN_SET_MASTERCALLBACK(pattern_callback) != 1 || ZYN_ENABLE_MASTERCALLBACK() != 1) _exit(4);
        while (callback_blocks() < 44100 / 256) sleep_ms(5);
        std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    const WavFile wav = read_wav(path_);
    expect_valid_header(wav, 2, 44100);
    EXPECT_EQ(wav.file_bytes, 44 + wav.data_size);
    EXPECT_GE(wav.data_size, 44100u * 4);
    const PatternRun run = find_pattern(wav.samples);
    EXPECT_GE(run.length, 44100u * 2) << "a second of the callback's pattern";
    EXPECT_EQ(run.start + run.length, wav.samples.size());
}

TEST_F(WavOutput, AKilledProgramStillLeavesAValidFile) {
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (ZYN_INIT(44100, 2, 3, 256, -1) != 1) _exit(3);
        for (;;) sleep_ms(100);
    }
    // Wait until some samples reached the disk, then kill mid-recording.
    std::error_code ignored;
    for (int waited = 0; waited < 10000; waited += 10) {
        const auto bytes = std::filesystem::file_size(path_, ignored);
        if (!ignored && bytes > 44 + 65536 + 4096) break;
        sleep_ms(10);
    }
    end_process(child, SIGKILL);

    const WavFile wav = read_wav(path_);
    expect_valid_header(wav, 2, 44100);
    EXPECT_GE(wav.data_size, 65536u);
    EXPECT_LE(44 + wav.data_size, wav.file_bytes) << "the header never claims more than is on disk";
}

TEST_F(WavOutput, IsSkippedWithoutAUsableFileName) {
    unsetenv("ZYN_WAV_OUT");
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 512, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Null output");
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 1) << "refused by its probe";
    EXPECT_EQ(ZYN_EXIT(), 1);

    setenv("ZYN_WAV_OUT", dir_.file("no/such/folder/out.wav").c_str(), 1);
    ASSERT_EQ(ZYN_INIT(44100, 2, 3, 512, -1), 1);
    EXPECT_STREQ(ZYN_GET_PLUGNAME(), "Null output") << "a file that cannot be made falls through";
    EXPECT_EQ(ZYN_GET_NUMOFPLUGOUTS(), 2);
    EXPECT_EQ(ZYN_EXIT(), 1);
}
