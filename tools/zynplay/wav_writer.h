// The samples of a render, written into a 16-bit PCM WAV file (the render's
// temporary file, see render_target.h). The header is written first with no
// data and completed by finish(), so a file left behind by a crash reads as
// empty rather than as garbage.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zynplay {

class WavWriter {
  public:
    WavWriter() = default;
    ~WavWriter();  // closes the file; an unfinished one keeps its empty header
    WavWriter(const WavWriter &) = delete;
    WavWriter &operator=(const WavWriter &) = delete;

    // Opens path (created or emptied) and writes the header. False with a reason.
    bool open(const std::string &path, int32_t rate, int32_t channels, std::string &error);
    // Appends frames frames of interleaved native samples. False with a
    // reason (a full disk, or more than a WAV file can hold).
    bool write(const int16_t *samples, int32_t frames, std::string &error);
    // Completes the header with the sizes and closes the file.
    bool finish(std::string &error);

    int64_t frames() const { return frames_; }

  private:
    std::FILE *file_ = nullptr;
    int32_t rate_ = 0;
    int32_t channels_ = 0;
    int64_t frames_ = 0;
};

}  // namespace zynplay
