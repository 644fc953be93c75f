// The temporary WAV file through which the MP3 and Ogg Vorbis loaders hand
// decoded samples to the WAV loader.
//
// A caller-given name is used unchanged and created exclusively: when it is
// taken (also by a symlink) creation fails and that file is left as it was.
// Otherwise the name is the loader's prefix, a process-wide counter and
// ".wav", in TMPDIR (else /tmp), also created exclusively: a name that is
// already taken is never reused or deleted, the counter moves on instead. The
// file is removed when the TempWav goes out of scope, on every path.
#pragma once

#include "wav_header.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zyn {

// Largest data chunk a temporary file takes: the WAV loader reads the size as
// a signed 32-bit value.
constexpr uint32_t kTempWavMaxData = INT32_MAX - wav::kHeaderBytes;

class TempWav {
  public:
    TempWav() = default;
    ~TempWav();
    TempWav(const TempWav &) = delete;
    TempWav &operator=(const TempWav &) = delete;

    // Creates the file: caller_name when it is a non-empty text (false when
    // it exists), else the generated name with number (the loader's counter,
    // already increased); when that name is taken the counter is increased
    // for each further try.
    bool create(const char *caller_name, const char *prefix, int32_t number,
                std::atomic<int32_t> &counter);

    // Write at the current position; false on a write error. A header
    // without a rate and without data is all zero, which the WAV loader
    // refuses: nothing was decoded.
    bool write(const void *data, size_t bytes);
    bool write_header(const wav::Header &header);
    // Writes the header at the start of the file and closes it.
    bool finish(const wav::Header &header);

    const std::string &path() const { return path_; }
    // Closes and deletes the file.
    void discard();

  private:
    std::string path_;
    std::FILE *file_ = nullptr;
    bool created_ = false;
};

}  // namespace zyn
