// What a sound file's header says (format, rate, channels, length), read
// with libsndfile without decoding the file: for --info and the lines that
// announce a file. Playing never depends on it; the engine's own loader
// recognises and decodes the file.
#pragma once

#include <string>

namespace zynplay {

struct MediaProbe {
    bool known = false;        // the header was understood
    bool mpeg = false;         // MPEG audio, which --stream can play
    std::string problem;       // why the header was not understood
    std::string description;   // e.g. "WAV, PCM 16-bit, 44100 Hz, mono"
    double seconds = -1.0;     // length when the header tells it, else below 0
};

MediaProbe probe_media(const std::string &path);

}  // namespace zynplay
