// ZYN_LOAD_FILE and ZYN_LOAD_MEMORY on the containers libsndfile reads (as
// sox decodes them), on chunk images that once hung or would lose audio,
// and on Ogg Vorbis as vorbisfile and oggdec decode it.
#include "decoders/decoder_fixtures.h"
#include "loaded_wave.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zyn_test;

namespace {

constexpr int32_t kRate = 44100;

struct Chunk {
    const char *id;
    std::vector<uint8_t> body;
    uint32_t declared = 0;  // the size field, when it is not the body's size
    bool pad = true;        // an odd body gets its pad byte
};

// A RIFF/WAVE (little-endian) or FORM/AIFF (big-endian) image of chunks.
std::vector<uint8_t> chunk_image(const char *magic, const char *form, const std::vector<Chunk> &chunks, bool big) {
    std::vector<uint8_t> out;
    auto put_size = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (big ? 24 - 8 * i : 8 * i)));
    };
    put_id(out, magic);
    put_size(0);
    put_id(out, form);
    for (const Chunk &c : chunks) {
        put_id(out, c.id);
        put_size(c.declared != 0 ? c.declared : static_cast<uint32_t>(c.body.size()));
        out.insert(out.end(), c.body.begin(), c.body.end());
        if (c.pad && (c.body.size() & 1)) out.push_back(0);
    }
    const auto riff = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(riff >> (big ? 24 - 8 * i : 8 * i));
    return out;
}

std::vector<uint8_t> bytes_of(const std::vector<uint8_t> &image, size_t from, size_t to) {
    return std::vector<uint8_t>(image.begin() + static_cast<std::ptrdiff_t>(from),
                                image.begin() + static_cast<std::ptrdiff_t>(to));
}

std::vector<uint8_t> from_hex(const char *hex) {
    std::vector<uint8_t> out;
    for (; hex[0] != '\0' && hex[1] != '\0'; hex += 2) out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex, 2), nullptr, 16)));
    return out;
}

}  // namespace

TEST(LoadFormats, EveryContainerLibsndfileReadsLoadsAsSoxDecodesIt) {
    REQUIRE_PROGRAM("sox");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    // 24-bit noise near full scale, so that 24- and 32-bit files hold more
    // than 16 bits and 8-bit ones reach both ends.
    const Pcm source = noise(kRate, 2, 0.2, 0.95, 31);
    struct Case {
        const char *name, *options;
    };
    for (const Case &c : {Case{"s8.au", "-e signed -b 8"}, Case{"s16.au", "-b 16"}, Case{"s24.au", "-b 24"},
                          Case{"s32.au", "-b 32"}, Case{"ulaw.au", "-e u-law"}, Case{"alaw.au", "-e a-law"},
                          Case{"s16.caf", "-b 16"}, Case{"s24.caf", "-b 24"},
                          Case{"s16.w64", "-b 16"}, Case{"s24.w64", "-b 24"}, Case{"u8.voc", "-b 8"},
                          Case{"s16.voc", "-b 16"}, Case{"s16.ircam", "-b 16"}, Case{"s24.paf", "-b 24"},
                          Case{"s16.nist", "-b 16"}, Case{"s8.8svx", "-c 1 -b 8"}, Case{"s16.avr", "-b 16"},
                          Case{"s16.htk", "-c 1 -b 16"}, Case{"s16.mat5", "-b 16"}, Case{"s16.mat4", "-b 16"},
                          Case{"s16.pvf", "-b 16"}, Case{"alaw.wve", "-r 8000 -c 1"}, Case{"rifx.wav", "-B -b 16"}}) {
        SCOPED_TRACE(c.name);
        const std::string file =
            encoded(dir, source, c.name, std::string("sox -D IN ") + c.options + " OUT", Encoding::s24);
        ASSERT_FALSE(file.empty());
        // sox's own decoding as 32-bit floats: a WAV the loader reads exactly.
        const std::string reference = file + ".float.wav";
        ASSERT_TRUE(run_quietly("sox " + quoted(file) + " -e floating-point -b 32 " + quoted(reference)));
        Wave w = load_file(file);
        ASSERT_EQ(w.result, 1) << last_error();
        Wave expected = load_file(reference);
        ASSERT_EQ(expected.result, 1) << last_error();
        // The file's own length (VOC and HTK store the rate as a period,
        // rounded by up to 0.11 %; and sox's VOC reader stops two frames
        // short of what its writer put in a 16-bit stereo block).
        EXPECT_NEAR(static_cast<double>(w.frames()), static_cast<double>(source.frames()), 12.0);
        EXPECT_NEAR(static_cast<double>(w.frames()), static_cast<double>(expected.frames()), 2.0);
        EXPECT_EQ(largest_difference(w.samples, expected.samples), 0);
    }
    // sox scales float files it reads through libsndfile to their peak, so
    // a float CAF is held against the samples written into it instead.
    const std::string caf = encoded(dir, source, "f32.caf", "sox IN -e floating-point -b 32 OUT", Encoding::s24);
    ASSERT_FALSE(caf.empty());
    Wave w = load_file(caf);
    ASSERT_EQ(w.result, 1) << last_error();
    EXPECT_EQ(w.samples, load_memory(wav_image(source, Encoding::s24)).samples);
    // libsndfile reads the channel blocks of a stereo IFF file as frames.
    const std::string iff = encoded(dir, source, "stereo.8svx", "sox -D IN -b 8 OUT", Encoding::s24);
    ASSERT_FALSE(iff.empty());
    EXPECT_EQ(load_file(iff).result, 0);
    EXPECT_NE(last_error().find("is a stereo IFF (8SVX) file, which zyn cannot read"), std::string::npos) << last_error();
}

TEST(LoadFormats, ChunksRunningPastTheEndNeitherHangALoadNorLoseAudio) {
    // A load that spins ends the process here instead of holding up the run.
    Watchdog watchdog(30, "loading chunk images with sizes past their end");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const Pcm pcm = noise(kRate, 2, 0.1, 0.5, 7);
    const std::vector<uint8_t> clean = wav_image(pcm, Encoding::s16);
    const std::vector<uint8_t> format = bytes_of(clean, 20, 36), data = bytes_of(clean, 44, clean.size());
    const std::vector<uint8_t> list(7, 'x');
    const Wave whole = load_memory(clean);
    ASSERT_EQ(whole.result, 1) << last_error();

    // AIFF: the same samples big-endian, 44100 Hz as an 80-bit float.
    std::vector<uint8_t> comm = {0, 2, 0, 0, 0, 0, 0, 16, 0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    const auto frames = static_cast<uint32_t>(pcm.frames());
    for (int i = 0; i < 4; ++i) comm[2 + static_cast<size_t>(i)] = static_cast<uint8_t>(frames >> (24 - 8 * i));
    std::vector<uint8_t> ssnd(8, 0);
    for (size_t i = 0; i < data.size(); i += 2) ssnd.insert(ssnd.end(), {data[i + 1], data[i]});

    struct Case {
        const char *what;
        std::vector<uint8_t> image;
        size_t frames;       // 0: refused
        const char *reason;  // part of the refusal
    };
    // The file of the report (a hex digit of it was lost in the telling;
    // this one spins a plain sf_open just the same).
    const std::vector<uint8_t> spinning = from_hex(
        "524946462801000057415645666d74201000000001000300803e0000803e005b010008004c4953540fffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffffff7fffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
        "ffffffffffffffffffffffffffffffffffffffffcbcbcbcbcbcbcbcbcbcbcbcbcbcbcbcbcbcbcbcbcb1dcbefcbcbcbcbcbcbcb"
        "909ca7946c4f53635f916d4943555c45");
    std::vector<uint8_t> cut = clean;
    cut.resize(44 + 1000 * 4 + 3);
    std::vector<uint8_t> rf64_cut = wav_image(pcm, Encoding::s16, {false, 0, true});
    rf64_cut.resize(rf64_cut.size() - 400 * 4);
    std::vector<Chunk> many(5000, Chunk{"JUNK", {}});
    many.push_back({"fmt ", format});
    many.push_back({"data", data});
    std::vector<uint8_t> aiff_cut = chunk_image("FORM", "AIFF", {{"COMM", comm}, {"SSND", ssnd}}, true);
    aiff_cut.resize(aiff_cut.size() - 1000 * 4);
    const std::vector<Case> cases = {
        {"the report's file", spinning, 0, "without a data chunk (its chunks end at a 'LIST' chunk"},
        {"LIST of 4 GiB before the format",
         chunk_image("RIFF", "WAVE", {{"LIST", list, 0xFFFFFFFF}, {"fmt ", format}, {"data", data}}, false), 0,
         "without a format chunk"},
        {"LIST of 4 GiB after the data",
         chunk_image("RIFF", "WAVE", {{"fmt ", format}, {"data", data}, {"LIST", list, 0xFFFFFFFF}}, false),
         pcm.frames(), ""},
        {"data of 4 GiB, as a streaming writer leaves it",
         chunk_image("RIFF", "WAVE", {{"fmt ", format}, {"data", data, 0xFFFFFFFF}}, false), pcm.frames(), ""},
        {"data cut short", cut, 1000, ""},
        {"an odd LIST without its pad byte",
         chunk_image("RIFF", "WAVE", {{"fmt ", format}, {"LIST", list, 0, false}, {"data", data}}, false),
         pcm.frames(), ""},
        {"RF64 cut short", rf64_cut, pcm.frames() - 400, ""},
        {"5000 empty chunks before the format", chunk_image("RIFF", "WAVE", many, false), 0,
         "without a format chunk within its first 4096 chunks"},
        {"a format chunk of 14 bytes",
         chunk_image("RIFF", "WAVE", {{"fmt ", bytes_of(format, 0, 14)}, {"data", data}}, false), 0,
         "has a WAV format chunk zyn cannot use (14 bytes"},
        {"AIFF with a NAME of 4 GiB before COMM",
         chunk_image("FORM", "AIFF", {{"NAME", list, 0xFFFFFFFF}, {"COMM", comm}, {"SSND", ssnd}}, true), 0,
         "is an AIFF file without a COMM chunk"},
        {"AIFF with a MARK of 4 GiB after SSND",
         chunk_image("FORM", "AIFF", {{"COMM", comm}, {"SSND", ssnd}, {"MARK", list, 0xFFFFFFFF}}, true),
         pcm.frames(), ""},
        {"AIFF cut short", aiff_cut, pcm.frames() - 1000, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("chunks.wav");
        ASSERT_TRUE(write_bytes(path, c.image));
        for (const Wave &w : {load_memory(c.image), load_file(path)}) {
            if (c.frames == 0) {
                EXPECT_EQ(w.result, 0);
                EXPECT_EQ(w.handle, -1);
                EXPECT_NE(last_error().find(c.reason), std::string::npos) << last_error();
                continue;
            }
            ASSERT_EQ(w.result, 1) << last_error();
            ASSERT_EQ(w.frames(), c.frames);
            EXPECT_TRUE(std::equal(w.samples.begin(), w.samples.end(), whole.samples.begin()));
        }
        // A track opens the file through the same guard.
        int32_t track = -1;
        const int32_t opened = ZYN_OPEN_TRACK(path.c_str(), &track);
        EXPECT_EQ(opened, c.frames == 0 ? 0 : 1) << last_error();
        if (opened == 1)
            ZYN_CLOSE_TRACK(&track);
        else
            EXPECT_NE(last_error().find(c.reason), std::string::npos) << last_error();
    }
}

TEST(LoadFormats, OggVorbisLoadsAsOggdecDecodesIt) {
    REQUIRE_PROGRAM("oggenc");
    REQUIRE_PROGRAM("oggdec");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::string ogg = encoded(dir, noise(kRate, 2, 1.5, 0.4, 12), "n.ogg", "oggenc -Q -q 5 -o OUT IN");
    ASSERT_FALSE(ogg.empty());
    const std::string reference = dir.file("n.oggdec.wav");
    ASSERT_TRUE(decode_ogg_reference(ogg, reference));
    Wave w = load_file(ogg);
    ASSERT_EQ(w.result, 1) << last_error();
    Wave expected = load_file(reference);
    ASSERT_EQ(expected.result, 1) << last_error();
    ASSERT_EQ(w.frames(), expected.frames());
    // oggdec rounds the same floats to 16 bits; a tie may round the other way.
    EXPECT_LE(largest_difference(w.samples, expected.samples), 1);
}

TEST(LoadFormats, DamagedOrChainedOggVorbisLoadsWhatItHolds) {
    REQUIRE_PROGRAM("oggenc");
    PumpDevice device(kRate, 2);
    ASSERT_TRUE(device.ok());
    TempDir dir;
    const std::string first = encoded(dir, noise(kRate, 2, 1.0, 0.4, 1), "a.ogg", "oggenc -Q -o OUT IN");
    const std::string second = encoded(dir, sine(22050, 1, 500.0, 0.5, 0.3), "b.ogg", "oggenc -Q -o OUT IN");
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    const std::vector<uint8_t> a = read_bytes(first), b = read_bytes(second);
    const Wave whole = load_memory(a);
    ASSERT_EQ(whole.result, 1) << last_error();

    std::vector<uint8_t> chained = a, damaged_link = a;
    chained.insert(chained.end(), b.begin(), b.end());
    // The second link's comment header page fails its checksum: its first
    // page begins a stream whose setup never comes.
    std::vector<uint8_t> b_damaged = b;
    b_damaged[58 + 40] ^= 0xFF;
    damaged_link.insert(damaged_link.end(), b_damaged.begin(), b_damaged.end());
    std::vector<uint8_t> half = a;
    half.resize(a.size() * 6 / 10);

    struct Case {
        const char *what;
        std::vector<uint8_t> image;
        bool loads;
    };
    for (const Case &c : {Case{"two links: the first plays", chained, true},
                          Case{"a second link with damaged headers", damaged_link, true},
                          Case{"cut at 60 %", half, true},
                          Case{"cut inside its headers", bytes_of(a, 0, 200), false},
                          Case{"a damaged header page", [&] {
                                   std::vector<uint8_t> d = a;
                                   d[58 + 40] ^= 0xFF;
                                   return d;
                               }(),
                               false}}) {
        SCOPED_TRACE(c.what);
        Wave w = load_memory(c.image);
        if (!c.loads) {
            EXPECT_EQ(w.result, 0);
            EXPECT_NE(last_error().find("the data in memory cannot be decoded as Ogg Vorbis: "), std::string::npos)
                << last_error();
            continue;
        }
        ASSERT_EQ(w.result, 1) << last_error();
        ASSERT_GT(w.frames(), 0u);
        ASSERT_LE(w.frames(), whole.frames());
        if (c.image.size() > a.size()) {
            EXPECT_EQ(w.frames(), whole.frames());
        }
        // What a cut file holds is what the whole file has there.
        EXPECT_TRUE(std::equal(w.samples.begin(), w.samples.end(), whole.samples.begin()));
    }
}
