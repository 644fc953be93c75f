// Fixtures for the decoder tests: tone WAV files written here (through
// wav_fixture.h), encoded with the system's lame and oggenc, and the
// measurements the tests make on what comes back (an independent MPEG frame
// count, tone frequency and level).
#pragma once

#include "file_bytes.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zyn_test {

// A 16-bit PCM WAV of a sine tone (the same tone on every channel).
bool write_tone_wav(const std::string &path, int32_t rate, int32_t channels, double frequency,
                    double seconds, double amplitude = 12000.0);

// A stereo 44.1 kHz PCM WAV of seeded white noise, 16 or 24 bits, samples
// within +-amplitude on the 16-bit scale. Quiet by default, as in a fade:
// many samples are small negative numbers, whose bytes hold 0xFF.
bool write_noise_wav(const std::string &path, int32_t bits, double seconds, uint32_t seed,
                     int32_t amplitude = 300);

// Bytes of a seeded generator, every value equally likely.
std::vector<uint8_t> seeded_bytes(size_t count, uint32_t seed);

// Files of the kinds that are not MPEG audio but hold false frame syncs
// (noise WAVs, a program, UTF-16 text with its byte order mark, random
// bytes), plus plain text, written into folder; false when one could not be.
bool write_non_mpeg_files(const std::string &folder, std::vector<std::string> *paths);

// Encodes a WAV into constant-bit-rate MPEG Layer III without a LAME/Xing
// info frame, so that every frame in the file is audio.
bool encode_mp3(const std::string &wav, const std::string &mp3, int32_t kbps = 128);
bool encode_ogg(const std::string &wav, const std::string &ogg);

struct MpegFrames {
    int32_t count = 0;
    int32_t samples_per_frame = 0;
    int32_t rate = 0;
    int32_t channels = 0;
    std::vector<size_t> offsets;  // where each frame starts
};
// Walks the frame headers of an MPEG audio file from its first sync word.
MpegFrames count_mpeg_frames(const std::string &path);

// An ID3v2.4 tag holding inside as its body.
std::vector<uint8_t> id3v2_tag(const std::vector<uint8_t> &inside);
// Seeded random bytes with a 0xFF in every 64 or so more: junk in which
// libmad finds a sync word every few hundred bytes. Placed at random, so that
// they do not fall in step like the headers of real frames.
std::vector<uint8_t> sync_junk(size_t count, uint32_t seed);

// Everything a caller would notice of a file being changed or replaced.
struct FileState {
    bool exists = false;
    std::vector<uint8_t> bytes;
    int64_t modified_ns = 0;
    uint64_t inode = 0;
    bool operator==(const FileState &o) const {
        return exists == o.exists && bytes == o.bytes && modified_ns == o.modified_ns && inode == o.inode;
    }
};
FileState file_state(const std::string &path);
// Every entry of a folder (symlinks not followed) by name.
std::map<std::string, FileState> folder_state(const std::string &folder);
// Names a caller might give as a temporary file that are taken: a file, a
// symlink to a file, and a symlink to a name that does not exist. Returns
// them, empty when one could not be made.
std::vector<std::string> make_taken_names(const std::string &folder);
bool file_exists(const std::string &path);

// One channel of interleaved samples.
std::vector<int16_t> channel_of(const std::vector<int16_t> &samples, int32_t channels,
                                int32_t channel);
// Frequency from the interpolated zero crossings; 0 when there are too few.
double tone_frequency(const std::vector<int16_t> &mono, int32_t rate);
// Peak amplitude of a sine from its RMS.
double tone_amplitude(const std::vector<int16_t> &mono);

// Decodes an Ogg Vorbis file with the system's oggdec into a WAV file.
bool decode_ogg_reference(const std::string &ogg, const std::string &wav);

// What the WAV loader makes of one 16-bit source sample on a stereo device.
int16_t wav_loader_sample(int16_t s);

// Names created and deleted in a folder, in order, while a watch lasts.
class FolderWatch {
  public:
    explicit FolderWatch(const std::string &folder);
    ~FolderWatch();
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;
    // Events since the last call, as "+name" (created) and "-name" (deleted).
    std::vector<std::string> events();

  private:
    int fd_ = -1;
};

// Files in a folder whose names start with prefix.
int32_t count_files_with_prefix(const std::string &folder, const std::string &prefix);
// Open file descriptors of this process.
int32_t open_descriptor_count();

// One load through a file loader (ZYN_LOAD_MP3FILE or ZYN_LOAD_OGGFILE) and
// the wave's samples when it succeeded.
struct Loaded {
    int32_t result = 0;
    int32_t handle = -2;
    std::vector<int16_t> samples;
};
using FileLoader = int32_t (*)(const char *file, int32_t *wave, const char *temp_file);
Loaded load_with(FileLoader loader, const std::string &file, const char *temp = "");

}  // namespace zyn_test
