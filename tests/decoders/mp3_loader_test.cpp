// ZYN_LOAD_MP3FILE: decoded lengths, the tone that comes through, temporary
// file names, and files that are not what they claim to be.
#include "decoder_fixtures.h"
#include "test_support.h"
#include "zyn.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

using namespace zyn_test;

namespace {

Loaded load(const std::string &file, const char *temp = "") {
    return load_with(ZYN_LOAD_MP3FILE, file, temp);
}

// A test's own temporary folder, also the engine's TMPDIR.
struct LoaderTest : ::testing::Test {
    TempDir files;
    TempDir tmp;
    void SetUp() override { setenv("TMPDIR", tmp.path().c_str(), 1); }

    std::string mp3(const std::string &name, int32_t rate, int32_t channels, double seconds,
                    int32_t kbps = 128) {
        const std::string wav = files.file(name + ".wav");
        const std::string out = files.file(name + ".mp3");
        if (!write_tone_wav(wav, rate, channels, 440.0, seconds) || !encode_mp3(wav, out, kbps)) return "";
        return out;
    }
};

std::vector<int16_t> middle(const std::vector<int16_t> &mono) {
    return std::vector<int16_t>(mono.begin() + static_cast<long>(mono.size() / 5),
                                mono.end() - static_cast<long>(mono.size() / 5));
}

}  // namespace

TEST_F(LoaderTest, StereoFileAtTheDeviceRateGives4608BytesPerFrame) {
    const std::string file = mp3("tone", 44100, 2, 1.0);
    const MpegFrames frames = count_mpeg_frames(file);
    ASSERT_GT(frames.count, 30);
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    const Loaded l = load(file);
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.handle, 0);
    EXPECT_EQ(l.samples.size() * 2, size_t{4608} * frames.count);
    const auto left = channel_of(l.samples, 2, 0);
    EXPECT_NEAR(tone_frequency(middle(left), 44100), 440.0, 1.0);
    // The WAV loader keeps half of the 16-bit range.
    EXPECT_NEAR(tone_amplitude(middle(left)), 6000.0, 600.0);
    EXPECT_EQ(left, channel_of(l.samples, 2, 1));
    EXPECT_EQ(count_files_with_prefix(tmp.path(), ""), 0);
}

TEST_F(LoaderTest, HalfRateMonoFileIsDoubledOnAStereoDevice) {
    const std::string file = mp3("low", 22050, 1, 1.0, 64);
    const MpegFrames frames = count_mpeg_frames(file);
    ASSERT_EQ(frames.rate, 22050);
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    const Loaded l = load(file);
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.samples.size() * 2, size_t{576} * 2 * 4 * frames.count);
    const auto left = channel_of(l.samples, 2, 0);
    EXPECT_EQ(left, channel_of(l.samples, 2, 1));
    for (size_t k = 0; k + 1 < left.size(); k += 2) ASSERT_EQ(left[k], left[k + 1]) << k;
    EXPECT_NEAR(tone_frequency(middle(left), 44100), 440.0, 1.0);
}

TEST_F(LoaderTest, StereoFileOnAOneChannelDevice) {
    const std::string file = mp3("tone", 44100, 2, 1.0);
    const MpegFrames frames = count_mpeg_frames(file);
    PumpDevice device(44100, 1);
    ASSERT_TRUE(device.ok());
    const Loaded l = load(file);
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.samples.size() * 2, size_t{2304} * frames.count);
    EXPECT_NEAR(tone_frequency(middle(l.samples), 44100), 440.0, 1.0);
    EXPECT_NEAR(tone_amplitude(middle(l.samples)), 3000.0, 300.0);
}

TEST_F(LoaderTest, GeneratedNamesCountUpAndLeaveNoFile) {
    const std::string file = mp3("tone", 44100, 2, 0.3);
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    FolderWatch watch(tmp.path());
    ASSERT_EQ(load(file).result, 1);
    ASSERT_EQ(load(file).result, 1);
    EXPECT_EQ(watch.events(), (std::vector<std::string>{"+tmpfilemp31.wav", "-tmpfilemp31.wav",
                                                         "+tmpfilemp32.wav", "-tmpfilemp32.wav"}));
    // A caller's name is used as it is, deleted afterwards, and still counts.
    const std::string given = files.file("mine.wav");
    FolderWatch given_watch(files.path());
    ASSERT_EQ(load(file, given.c_str()).result, 1);
    EXPECT_EQ(given_watch.events(), (std::vector<std::string>{"+mine.wav", "-mine.wav"}));
    ASSERT_EQ(load(file).result, 1);
    EXPECT_EQ(watch.events(), (std::vector<std::string>{"+tmpfilemp34.wav", "-tmpfilemp34.wav"}));
    EXPECT_EQ(count_files_with_prefix(tmp.path(), ""), 0);
}

TEST_F(LoaderTest, SomeoneElsesFileOfTheGeneratedNameIsLeftAlone) {
    const std::string file = mp3("tone", 44100, 2, 0.3);
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    ASSERT_TRUE(write_file(tmp.file("tmpfilemp31.wav"), {'k', 'e', 'e', 'p'}));
    FolderWatch watch(tmp.path());
    ASSERT_EQ(load(file).result, 1);
    EXPECT_EQ(watch.events(), (std::vector<std::string>{"+tmpfilemp32.wav", "-tmpfilemp32.wav"}));
    EXPECT_EQ(read_file(tmp.file("tmpfilemp31.wav")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST_F(LoaderTest, TruncatedFileLoadsItsWholeFrames) {
    const std::string file = mp3("tone", 44100, 2, 1.0);
    const MpegFrames frames = count_mpeg_frames(file);
    ASSERT_GT(frames.count, 20);
    std::vector<uint8_t> bytes = read_file(file);
    bytes.resize(frames.offsets[20] + 100);  // frame 20 is cut short
    ASSERT_TRUE(write_file(files.file("cut.mp3"), bytes));
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    const Loaded l = load(files.file("cut.mp3"));
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.samples.size() * 2, size_t{4608} * 20);
}

TEST_F(LoaderTest, LeadingTagIsSkippedEvenWithFrameLookalikesInside) {
    // The tag holds a whole MP3 file at another rate: none of it may be decoded.
    const std::string file = mp3("tone", 44100, 2, 0.5);
    const std::string decoy = mp3("decoy", 22050, 1, 0.5, 64);
    const MpegFrames frames = count_mpeg_frames(file);
    std::vector<uint8_t> inside = read_file(decoy);
    inside.resize(1 << 20, 0x55);
    std::vector<uint8_t> tagged = id3v2_tag(inside);
    const std::vector<uint8_t> audio = read_file(file);
    tagged.insert(tagged.end(), audio.begin(), audio.end());
    ASSERT_TRUE(write_file(files.file("tagged.mp3"), tagged));
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    const Loaded l = load(files.file("tagged.mp3"));
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.samples.size() * 2, size_t{4608} * frames.count);
    EXPECT_NEAR(tone_frequency(middle(channel_of(l.samples, 2, 0)), 44100), 440.0, 1.0);
}

TEST_F(LoaderTest, FilesThatAreNotMpegAudioFailAndLeaveNothing) {
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    std::vector<uint8_t> garbage(100000);
    unsigned seed = 5;
    for (auto &b : garbage) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    ASSERT_TRUE(write_file(files.file("garbage.mp3"), garbage));
    ASSERT_TRUE(write_file(files.file("empty.mp3"), {}));
    ASSERT_TRUE(write_file(files.file("text.mp3"), std::vector<uint8_t>(5000, 'a')));
    ASSERT_TRUE(write_tone_wav(files.file("wave.mp3"), 44100, 2, 440.0, 1.0));
    std::vector<uint8_t> tag(3000, 0xFF);
    const uint8_t claims_256_mb[] = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    std::copy(std::begin(claims_256_mb), std::end(claims_256_mb), tag.begin());
    ASSERT_TRUE(write_file(files.file("tag.mp3"), tag));
    const std::string ogg_wav = files.file("o.wav");
    ASSERT_TRUE(write_tone_wav(ogg_wav, 44100, 2, 440.0, 0.5));
    ASSERT_TRUE(encode_ogg(ogg_wav, files.file("vorbis.mp3")));
    std::vector<std::string> paths;
    ASSERT_TRUE(write_non_mpeg_files(files.path(), &paths));
    for (const char *name : {"garbage.mp3", "empty.mp3", "text.mp3", "wave.mp3", "tag.mp3",
                             "vorbis.mp3", "missing.mp3", ""})
        paths.push_back(files.file(name));
    FolderWatch watch(tmp.path());
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        const Loaded l = load(path);
        EXPECT_EQ(l.result, 0);
        EXPECT_EQ(l.handle, -1);
    }
    // Refused before a temporary file was made.
    EXPECT_EQ(watch.events(), std::vector<std::string>{});
    EXPECT_EQ(count_files_with_prefix(tmp.path(), ""), 0);
    int16_t *start = nullptr;
    EXPECT_EQ(ZYN_GET_WAVEPOINTERS(0, &start, nullptr, nullptr), 0);  // no wave was added
}

// libmad would sync on the junk, and the junk holds two frames of another
// rate: decoded, they would set the wave's rate and every real frame after
// them would be left out. The last pair ends right at the first real frame.
TEST_F(LoaderTest, JunkBeforeTheFirstFrameNeverDecodes) {
    const std::string file = mp3("tone", 44100, 2, 1.0);
    const std::string decoy = mp3("decoy", 22050, 1, 0.5, 64);
    const MpegFrames decoy_frames = count_mpeg_frames(decoy);
    ASSERT_GT(decoy_frames.count, 2);
    const std::vector<uint8_t> decoy_bytes = read_file(decoy);
    const std::vector<uint8_t> decoy_pair(decoy_bytes.begin() + static_cast<long>(decoy_frames.offsets[0]),
                                          decoy_bytes.begin() + static_cast<long>(decoy_frames.offsets[2]));
    std::vector<uint8_t> junk = sync_junk(4000, 1);
    junk.insert(junk.end(), decoy_pair.begin(), decoy_pair.end());
    const std::vector<uint8_t> more = sync_junk(50000, 2);
    junk.insert(junk.end(), more.begin(), more.end());
    junk.insert(junk.end(), decoy_pair.begin(), decoy_pair.end());
    const std::vector<uint8_t> audio = read_file(file);

    PumpDevice device;
    ASSERT_TRUE(device.ok());
    const Loaded clean = load(file);
    ASSERT_EQ(clean.result, 1);
    std::vector<uint8_t> in_front = junk;
    in_front.insert(in_front.end(), audio.begin(), audio.end());
    std::vector<uint8_t> after_tag = id3v2_tag(sync_junk(3000, 3));
    after_tag.insert(after_tag.end(), junk.begin(), junk.end());
    after_tag.insert(after_tag.end(), audio.begin(), audio.end());
    ASSERT_TRUE(write_file(files.file("junk.mp3"), in_front));
    ASSERT_TRUE(write_file(files.file("tag-junk.mp3"), after_tag));
    for (const char *name : {"junk.mp3", "tag-junk.mp3"}) {
        SCOPED_TRACE(name);
        const Loaded l = load(files.file(name));
        ASSERT_EQ(l.result, 1);
        ASSERT_EQ(l.samples.size(), clean.samples.size());
        EXPECT_TRUE(l.samples == clean.samples);
    }
}

// Two frames: less than a run, but nothing else is in the file.
TEST_F(LoaderTest, ShortFileLoadsOnlyWhenItsFramesRunToTheEnd) {
    const std::string file = mp3("short", 44100, 2, 0.005);
    const MpegFrames frames = count_mpeg_frames(file);
    ASSERT_GT(frames.count, 0);
    ASSERT_LT(frames.count, 3);
    const std::vector<uint8_t> audio = read_file(file);
    std::vector<uint8_t> id3v1 = audio;
    const char tag[] = "TAGshort";
    id3v1.insert(id3v1.end(), tag, tag + 8);
    id3v1.resize(audio.size() + 128, 0);
    ASSERT_TRUE(write_file(files.file("id3v1.mp3"), id3v1));
    std::vector<uint8_t> trailing = audio;
    const std::vector<uint8_t> junk = sync_junk(100, 4);
    trailing.insert(trailing.end(), junk.begin(), junk.end());
    ASSERT_TRUE(write_file(files.file("trailing.mp3"), trailing));

    PumpDevice device;
    ASSERT_TRUE(device.ok());
    for (const std::string &name : {file, files.file("id3v1.mp3")}) {
        SCOPED_TRACE(name);
        const Loaded l = load(name);
        ASSERT_EQ(l.result, 1);
        EXPECT_EQ(l.samples.size() * 2, size_t{4608} * frames.count);
    }
    EXPECT_EQ(load(files.file("trailing.mp3")).result, 0);
}

// The caller's file would be truncated, overwritten and deleted; through a
// symlink, the file it points to would be overwritten.
TEST_F(LoaderTest, CallersTemporaryNameThatIsTakenIsRefusedAndLeftUntouched) {
    const std::string file = mp3("tone", 44100, 2, 0.3);
    TempDir names;
    const std::vector<std::string> taken = make_taken_names(names.path());
    ASSERT_FALSE(taken.empty());
    const auto before = folder_state(names.path());
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    for (const std::string &name : taken) {
        SCOPED_TRACE(name);
        const Loaded l = load(file, name.c_str());
        EXPECT_EQ(l.result, 0);
        EXPECT_EQ(l.handle, -1);
    }
    EXPECT_TRUE(folder_state(names.path()) == before);
    EXPECT_EQ(count_files_with_prefix(tmp.path(), ""), 0);
    EXPECT_EQ(load(file, names.file("free.wav").c_str()).result, 1);
}

TEST_F(LoaderTest, RefusedWithoutEngineHandleOrWritableTemporaryFile) {
    const std::string file = mp3("tone", 44100, 2, 0.3);
    int32_t handle = 5;
    EXPECT_EQ(ZYN_LOAD_MP3FILE(file.c_str(), &handle, ""), 0);
    EXPECT_EQ(handle, -1);
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(ZYN_LOAD_MP3FILE(file.c_str(), nullptr, ""), 0);
    handle = 5;
    EXPECT_EQ(ZYN_LOAD_MP3FILE(file.c_str(), &handle, files.file("no/such/folder.wav").c_str()), 0);
    EXPECT_EQ(handle, -1);
    setenv("TMPDIR", files.file("missing-folder").c_str(), 1);
    EXPECT_EQ(ZYN_LOAD_MP3FILE(file.c_str(), &handle, nullptr), 0);
    EXPECT_EQ(handle, -1);
}
