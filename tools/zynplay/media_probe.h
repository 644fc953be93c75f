// Recognises a sound file by its content (not its name) and describes it.
#pragma once

#include <string>

namespace zynplay {

enum class MediaFormat { unknown, wav, mp3, ogg_vorbis };

struct MediaProbe {
    MediaFormat format = MediaFormat::unknown;
    bool readable = false;      // false: the file could not be opened or read
    std::string problem;        // why it cannot be played, when that is known up front
    std::string description;    // e.g. "WAV, PCM 16-bit, 44100 Hz, stereo"
    double seconds = -1.0;      // length when the header tells it, else below 0
};

MediaProbe probe_media(const std::string &path);

const char *format_name(MediaFormat format);

}  // namespace zynplay
