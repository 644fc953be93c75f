#include "media_probe.h"

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>

namespace zynplay {

namespace {

std::string container(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV: return "WAV";
        case SF_FORMAT_WAVEX: return "WAV (extensible)";
        case SF_FORMAT_RF64: return "RF64";
        case SF_FORMAT_AIFF: return "AIFF";
        case SF_FORMAT_FLAC: return "FLAC";
        case SF_FORMAT_OGG: return (format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS ? "Ogg Opus" : "Ogg Vorbis";
        case SF_FORMAT_MPEG: return "MP3";
        default: {
            SF_FORMAT_INFO info{};
            info.format = format & SF_FORMAT_TYPEMASK;
            sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info);
            return info.name != nullptr ? info.name : "audio";
        }
    }
}

// The sample encoding, where it says more than the container does.
std::string encoding(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return "PCM 8-bit";
        case SF_FORMAT_PCM_16: return "PCM 16-bit";
        case SF_FORMAT_PCM_24: return "PCM 24-bit";
        case SF_FORMAT_PCM_32: return "PCM 32-bit";
        case SF_FORMAT_FLOAT: return "float 32-bit";
        case SF_FORMAT_DOUBLE: return "float 64-bit";
        case SF_FORMAT_MPEG_LAYER_I: return "MPEG layer I";
        case SF_FORMAT_MPEG_LAYER_II: return "MPEG layer II";
        case SF_FORMAT_MPEG_LAYER_III: return "MPEG layer III";
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS: return "";
        default: {
            SF_FORMAT_INFO info{};
            info.format = format & SF_FORMAT_SUBMASK;
            sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info);
            return info.name != nullptr ? info.name : "";
        }
    }
}

std::string channel_words(int channels) {
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    return std::to_string(channels) + " channels";
}

// Bytes of one frame as a WAV file stores it; 0 when it is not fixed.
int64_t frame_bytes(const SF_INFO &info) {
    int64_t sample = 0;
    switch (info.format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW: sample = 1; break;
        case SF_FORMAT_PCM_16: sample = 2; break;
        case SF_FORMAT_PCM_24: sample = 3; break;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT: sample = 4; break;
        case SF_FORMAT_DOUBLE: sample = 8; break;
        default: break;
    }
    return sample * info.channels;
}

// Whether the frame count is the file's length. libsndfile gives its largest
// count where it cannot tell (a pipe it cannot seek to an Ogg stream's end),
// and on a pipe it takes the size a streaming WAV writer leaves in the
// header, 0xFFFFFFFF bytes ("to the end"), at its word. 0 frames is a length.
bool has_length(const SF_INFO &info, const std::string &path) {
    if (info.frames < 0 || info.frames == SF_COUNT_MAX) return false;
    const int container = info.format & SF_FORMAT_TYPEMASK;
    const int64_t bytes = frame_bytes(info);
    struct stat entry;
    if ((container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX) && bytes > 0 &&
        stat(path.c_str(), &entry) == 0 && !S_ISREG(entry.st_mode))
        return (info.frames + 1) * bytes <= INT64_C(0xFFFFFFFF);
    return true;
}

}  // namespace

MediaProbe probe_media(const std::string &path) {
    MediaProbe probe;
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        probe.problem = sf_strerror(nullptr);
        return probe;
    }
    sf_close(file);
    probe.known = true;
    probe.mpeg = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
    const std::string sample = encoding(info.format);
    probe.description = container(info.format) + (sample.empty() ? "" : ", " + sample) + ", " +
                        std::to_string(info.samplerate) + " Hz, " + channel_words(info.channels);
    if (info.samplerate > 0 && has_length(info, path))
        probe.seconds = static_cast<double>(info.frames) / info.samplerate;
    return probe;
}

}  // namespace zynplay
