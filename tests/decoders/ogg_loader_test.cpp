// ZYN_LOAD_OGGFILE: the wave against an independent decode (oggdec) through
// the WAV loader's arithmetic, temporary names, and bad files.
#include "decoder_fixtures.h"
#include "test_support.h"
#include "wav_fixture.h"
#include "zyn.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace zyn_test;

namespace {

Loaded load(const std::string &file, const char *temp = "") {
    return load_with(ZYN_LOAD_OGGFILE, file, temp);
}

struct OggLoaderTest : ::testing::Test {
    TempDir files;
    TempDir tmp;
    void SetUp() override { setenv("TMPDIR", tmp.path().c_str(), 1); }

    std::string ogg(const std::string &name, int32_t rate, int32_t channels, double seconds) {
        const std::string wav = files.file(name + ".wav");
        const std::string out = files.file(name + ".ogg");
        if (!write_tone_wav(wav, rate, channels, 440.0, seconds) || !encode_ogg(wav, out)) return "";
        return out;
    }
    // The same file decoded by oggdec.
    std::vector<int16_t> reference(const std::string &file, int32_t *channels, int32_t *rate) {
        const std::string wav = file + ".ref.wav";
        if (!decode_ogg_reference(file, wav)) return {};
        const WavFile decoded = read_wav(wav);
        *channels = decoded.channels;
        *rate = decoded.rate;
        return decoded.samples;
    }
};

}  // namespace

TEST_F(OggLoaderTest, StereoFileMatchesAnIndependentDecode) {
    const std::string file = ogg("tone", 44100, 2, 1.0);
    int32_t channels = 0;
    int32_t rate = 0;
    const std::vector<int16_t> ref = reference(file, &channels, &rate);
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(rate, 44100);
    ASSERT_GT(ref.size(), 80000u);
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    const Loaded l = load(file);
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.samples.size(), ref.size());
    for (size_t i = 0; i < ref.size(); ++i) ASSERT_EQ(l.samples[i], wav_loader_sample(ref[i])) << i;
    EXPECT_EQ(count_files_with_prefix(tmp.path(), ""), 0);
}

TEST_F(OggLoaderTest, HalfRateMonoFileIsDoubledOnAStereoDevice) {
    const std::string file = ogg("low", 22050, 1, 1.0);
    int32_t channels = 0;
    int32_t rate = 0;
    const std::vector<int16_t> ref = reference(file, &channels, &rate);
    ASSERT_EQ(channels, 1);
    ASSERT_EQ(rate, 22050);
    PumpDevice device(44100, 2);
    ASSERT_TRUE(device.ok());
    const Loaded l = load(file);
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.samples.size(), ref.size() * 4);
    for (size_t k = 0; k < ref.size() * 2; ++k) {
        ASSERT_EQ(l.samples[2 * k], wav_loader_sample(ref[k / 2])) << k;
        ASSERT_EQ(l.samples[2 * k + 1], l.samples[2 * k]) << k;
    }
    const auto left = channel_of(l.samples, 2, 0);
    EXPECT_NEAR(tone_frequency(std::vector<int16_t>(left.begin() + 10000, left.end() - 10000), 44100),
                440.0, 1.0);
}

TEST_F(OggLoaderTest, GeneratedNamesCountUpOnlyForVorbisData) {
    const std::string file = ogg("tone", 44100, 2, 0.3);
    ASSERT_TRUE(write_file(files.file("not.ogg"), std::vector<uint8_t>(3000, 'x')));
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    FolderWatch watch(tmp.path());
    EXPECT_EQ(load(files.file("not.ogg")).result, 0);  // refused before any file or count
    ASSERT_EQ(load(file).result, 1);
    ASSERT_EQ(load(file).result, 1);
    EXPECT_EQ(watch.events(), (std::vector<std::string>{"+tmpfileogg1.wav", "-tmpfileogg1.wav",
                                                         "+tmpfileogg2.wav", "-tmpfileogg2.wav"}));
    const std::string given = files.file("given.wav");
    FolderWatch given_watch(files.path());
    ASSERT_EQ(load(file, given.c_str()).result, 1);
    EXPECT_EQ(given_watch.events(), (std::vector<std::string>{"+given.wav", "-given.wav"}));
    EXPECT_EQ(count_files_with_prefix(tmp.path(), ""), 0);
}

TEST_F(OggLoaderTest, BadAndRenamedFilesFailAndLeaveNothing) {
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    const std::string good = ogg("tone", 44100, 2, 1.0);
    std::vector<uint8_t> bytes = read_file(good);
    std::vector<uint8_t> headers_only(bytes.begin(), bytes.begin() + 200);
    ASSERT_TRUE(write_file(files.file("cut.ogg"), headers_only));
    // Cut in half: vorbisfile finds no complete stream end and yields no samples.
    std::vector<uint8_t> half(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2));
    ASSERT_TRUE(write_file(files.file("half.ogg"), half));
    std::vector<uint8_t> damaged = bytes;
    for (size_t i = damaged.size() / 3; i < damaged.size() / 2; i += 7) damaged[i] ^= 0x5A;
    ASSERT_TRUE(write_file(files.file("damaged.ogg"), damaged));
    ASSERT_TRUE(write_file(files.file("empty.ogg"), {}));
    ASSERT_TRUE(write_tone_wav(files.file("wave.ogg"), 44100, 2, 440.0, 0.5));
    const std::string mp3_wav = files.file("m.wav");
    ASSERT_TRUE(write_tone_wav(mp3_wav, 44100, 2, 440.0, 0.5));
    ASSERT_TRUE(encode_mp3(mp3_wav, files.file("mpeg.ogg")));
    // Three channels: the WAV loader takes one or two.
    const std::string three = files.file("three.wav");
    ASSERT_TRUE(write_tone_wav(three, 44100, 3, 440.0, 0.5));
    ASSERT_TRUE(encode_ogg(three, files.file("three.ogg")));
    for (const char *name : {"cut.ogg", "half.ogg", "damaged.ogg", "empty.ogg", "wave.ogg", "mpeg.ogg",
                             "three.ogg", "missing.ogg", ""}) {
        SCOPED_TRACE(name);
        const Loaded l = load(files.file(name));
        EXPECT_EQ(l.result, 0);
        EXPECT_EQ(l.handle, -1);
    }
    EXPECT_EQ(count_files_with_prefix(tmp.path(), ""), 0);
}

TEST_F(OggLoaderTest, CallersTemporaryNameThatIsTakenIsRefusedAndLeftUntouched) {
    const std::string file = ogg("tone", 44100, 2, 0.3);
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

TEST_F(OggLoaderTest, RefusedWithoutEngineOrHandle) {
    const std::string file = ogg("tone", 44100, 2, 0.3);
    int32_t handle = 5;
    EXPECT_EQ(ZYN_LOAD_OGGFILE(file.c_str(), &handle, ""), 0);
    EXPECT_EQ(handle, -1);
    PumpDevice device;
    ASSERT_TRUE(device.ok());
    EXPECT_EQ(ZYN_LOAD_OGGFILE(file.c_str(), nullptr, ""), 0);
    EXPECT_EQ(ZYN_LOAD_OGGFILE(file.c_str(), &handle, files.file("no/folder/x.wav").c_str()), 0);
    EXPECT_EQ(handle, -1);
}
