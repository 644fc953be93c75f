// The decoders a load and a streamed sound share: a seek gives the frames a
// continuous read gives there, in every format.
#include "last_error.h"
#include "media/sound_decoder.h"
#include "sound_files.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace zyn_test;

namespace {

// Up to frames frames (all there are for -1), read in pieces of odd sizes
// so that reads end inside the decoders' blocks.
std::vector<float> read_frames(zyn::SoundDecoder &decoder, int64_t frames) {
    const auto channels = static_cast<size_t>(decoder.format().channels);
    std::vector<float> out;
    std::vector<float> piece(1237 * channels);
    for (int64_t filled = 0; frames < 0 || filled < frames;) {
        const int64_t want = frames < 0 ? 1237 : std::min<int64_t>(frames - filled, 1237);
        const int64_t got = decoder.read(piece.data(), want);
        if (got <= 0) break;
        out.insert(out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got * static_cast<int64_t>(channels)));
        filled += got;
    }
    return out;
}

}  // namespace

TEST(SoundDecoder, SeekGivesTheFramesOfAContinuousRead) {
    // A seek that never returns ends the process here.
    Watchdog watchdog(60, "seeking in every format");
    TempDir dir;
    const Pcm source = noise(44100, 2, 1.0, 0.5, 21);
    const std::string wav = dir.file("s.wav");
    ASSERT_TRUE(write_bytes(wav, wav_image(source, Encoding::s24)));
    struct Case {
        const char *name, *program, *command;
        // The largest difference after a seek, at full scale 1.0.
        double allowed;
        size_t cut = 0;  // bytes cut off the file's end: then it does not say its length
    };
    // Opus decodes from 80 ms before the frame (its pre-roll), after which
    // the format promises only that the decoder state has converged to
    // that of a continuous read (on this file it is exact); every other
    // decoder starts from the same state and is exact.
    for (const Case &c : {Case{"s.wav", nullptr, "", 0.0}, Case{"s.flac", "flac", "flac -s -f IN -o OUT", 0.0},
                          Case{"s.aiff", "sox", "sox IN OUT", 0.0}, Case{"s.au", "sox", "sox IN -b 16 OUT", 0.0},
                          Case{"s.caf", "sox", "sox IN OUT", 0.0}, Case{"s.ogg", "oggenc", "oggenc -Q -o OUT IN", 0.0},
                          Case{"s.opus", "opusenc", "opusenc --quiet IN OUT", 1e-3},
                          Case{"cut.opus", "opusenc", "opusenc --quiet IN OUT", 0.0, 100},
                          Case{"info.mp3", "lame", "lame --quiet IN OUT", 0.0},
                          Case{"plain.mp3", "lame", "lame --quiet -t IN OUT", 0.0}}) {
        SCOPED_TRACE(c.name);
        if (c.program != nullptr && !have_program(c.program)) GTEST_SKIP() << c.program << " is not installed";
        std::string file = wav;
        if (c.program != nullptr) {
            file = dir.file(c.name);
            std::string command = c.command;
            command.replace(command.find("IN"), 2, zyn_test::quoted(wav));
            command.replace(command.find("OUT"), 3, zyn_test::quoted(file));
            ASSERT_TRUE(run_quietly(command));
        }
        std::vector<uint8_t> bytes = read_bytes(file);
        ASSERT_GT(bytes.size(), c.cut);
        bytes.resize(bytes.size() - c.cut);
        zyn::MemoryBytes memory(bytes.data(), bytes.size());
        std::unique_ptr<zyn::SoundDecoder> whole = zyn::open_sound_decoder(memory);
        ASSERT_NE(whole, nullptr) << zyn::last_error();
        const std::vector<float> all = read_frames(*whole, -1);
        const auto channels = static_cast<size_t>(whole->format().channels);
        const auto frames = static_cast<int64_t>(all.size() / channels);
        ASSERT_GT(frames, 40000);

        std::unique_ptr<zyn::SoundDecoder> decoder = zyn::open_sound_decoder(memory);
        ASSERT_NE(decoder, nullptr) << zyn::last_error();
        ASSERT_TRUE(decoder->format().seekable);
        // Back and forth, at block and frame edges, up to the end itself.
        for (int64_t at : {frames / 2, int64_t{1}, int64_t{0}, int64_t{4097}, frames - 700, frames / 3, frames}) {
            SCOPED_TRACE(at);
            ASSERT_TRUE(decoder->seek(at)) << zyn::last_error();
            const std::vector<float> got = read_frames(*decoder, 3000);
            ASSERT_EQ(static_cast<int64_t>(got.size() / channels), std::min<int64_t>(3000, frames - at));
            double worst = 0.0;
            for (size_t i = 0; i < got.size(); ++i)
                worst = std::max(worst, std::fabs(static_cast<double>(got[i]) - all[static_cast<size_t>(at) * channels + i]));
            EXPECT_LE(worst, c.allowed);
        }
        // The length the decoder states is what a read gives, once known.
        EXPECT_EQ(decoder->format().frames, c.cut == 0 ? frames : -1);
        // Past the end, near or far (libsndfile's own search never came
        // back from 2^32 in an Opus file cut short).
        for (int64_t past : {frames + 1, int64_t{1} << 32}) {
            EXPECT_FALSE(decoder->seek(past));
            EXPECT_NE(std::string(zyn::last_error()).find("cannot seek to frame"), std::string::npos) << zyn::last_error();
        }
        EXPECT_FALSE(decoder->seek(-1));
    }
}
