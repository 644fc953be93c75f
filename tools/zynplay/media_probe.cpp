#include "media_probe.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zynplay {

namespace {

uint32_t le32(const unsigned char *p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const unsigned char *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

const char *channel_word(int channels) {
    return channels == 1 ? "mono" : channels == 2 ? "stereo" : "multichannel";
}

// ---- WAV ---------------------------------------------------------------

void describe_wav(const std::vector<unsigned char> &data, long file_size, MediaProbe &probe) {
    probe.format = MediaFormat::wav;
    size_t at = 12;
    int tag = -1, channels = 0, bits = 0;
    uint32_t rate = 0, byte_rate = 0;
    while (at + 8 <= data.size()) {
        uint32_t size = le32(&data[at + 4]);
        if (std::memcmp(&data[at], "fmt ", 4) == 0 && at + 8 + 16 <= data.size()) {
            const unsigned char *f = &data[at + 8];
            tag = le16(f);
            channels = le16(f + 2);
            rate = le32(f + 4);
            byte_rate = le32(f + 8);
            bits = le16(f + 14);
        }
        if (std::memcmp(&data[at], "data", 4) == 0) {
            if (byte_rate > 0) {
                long available = file_size - static_cast<long>(at + 8);
                long bytes = size < static_cast<uint32_t>(available) ? static_cast<long>(size) : available;
                probe.seconds = static_cast<double>(bytes) / byte_rate;
            }
            break;
        }
        at += 8 + static_cast<size_t>(size) + (size & 1);
    }
    if (tag < 0) {
        probe.description = "WAV";
        return;  // the engine's loader scans harder and will have the last word
    }
    char text[160];
    if (tag == 1) {
        std::snprintf(text, sizeof text, "WAV, PCM %d-bit, %u Hz, %s", bits, rate, channel_word(channels));
    } else {
        std::snprintf(text, sizeof text, "WAV, encoding 0x%04X, %u Hz, %s", tag, rate,
                      channel_word(channels));
        probe.problem = tag == 3      ? "unsupported format: floating-point WAV (only 8- and 16-bit PCM)"
                        : tag == 0xFFFE ? "unsupported format: extensible WAV (only plain 8- and 16-bit PCM)"
                                        : "unsupported format: compressed WAV (only 8- and 16-bit PCM)";
    }
    probe.description = text;
}

// ---- MPEG audio --------------------------------------------------------

struct MpegFrame {
    int length = 0;   // bytes
    int samples = 0;  // per channel
    int rate = 0;
    int channels = 0;
    int kbps = 0;
    int layer = 0;
};

bool parse_mpeg_header(const unsigned char *h, MpegFrame &frame) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    int version = (h[1] >> 3) & 3;  // 0: 2.5, 1: reserved, 2: 2, 3: 1
    int layer_bits = (h[1] >> 1) & 3;
    int bitrate_index = h[2] >> 4;
    int rate_index = (h[2] >> 2) & 3;
    if (version == 1 || layer_bits == 0 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3)
        return false;
    static const int kbps_table[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // 1, layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // 1, layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // 1, layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // 2/2.5, layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // 2/2.5, II and III
    };
    static const int rates[3] = {44100, 48000, 32000};
    int layer = 4 - layer_bits;
    bool mpeg1 = version == 3;
    int row = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    frame.kbps = kbps_table[row][bitrate_index];
    frame.rate = rates[rate_index] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    frame.layer = layer;
    frame.channels = ((h[3] >> 6) & 3) == 3 ? 1 : 2;
    int padding = (h[2] >> 1) & 1;
    if (layer == 1) {
        frame.samples = 384;
        frame.length = (12 * frame.kbps * 1000 / frame.rate + padding) * 4;
    } else {
        frame.samples = (layer == 3 && !mpeg1) ? 576 : 1152;
        frame.length = frame.samples / 8 * frame.kbps * 1000 / frame.rate + padding;
    }
    return frame.length >= 4;
}

size_t id3_size(const std::vector<unsigned char> &d) {
    if (d.size() < 10 || std::memcmp(d.data(), "ID3", 3) != 0) return 0;
    size_t size = ((d[6] & 0x7F) << 21) | ((d[7] & 0x7F) << 14) | ((d[8] & 0x7F) << 7) | (d[9] & 0x7F);
    return 10 + size + ((d[5] & 0x10) ? 10 : 0);
}

// Walks the frames from offset; true when at least one frame (followed by
// another frame or by the end of the file) sits there.
bool describe_mpeg(const std::vector<unsigned char> &d, size_t offset, MediaProbe &probe) {
    MpegFrame first;
    if (offset + 4 > d.size() || !parse_mpeg_header(&d[offset], first)) return false;
    size_t next = offset + static_cast<size_t>(first.length);
    MpegFrame frame;
    if (next + 4 <= d.size() && !parse_mpeg_header(&d[next], frame)) return false;
    if (next > d.size()) return false;
    long long samples = 0;
    size_t at = offset;
    while (at + 4 <= d.size() && parse_mpeg_header(&d[at], frame)) {
        samples += frame.samples;
        at += static_cast<size_t>(frame.length);
    }
    probe.format = MediaFormat::mp3;
    probe.seconds = static_cast<double>(samples) / first.rate;
    char text[160];
    std::snprintf(text, sizeof text, "MP3, MPEG layer %s, %d Hz, %s, %d kbit/s",
                  first.layer == 3 ? "III" : first.layer == 2 ? "II" : "I", first.rate,
                  channel_word(first.channels), first.kbps);
    probe.description = text;
    return true;
}

// ---- Ogg ---------------------------------------------------------------

void describe_ogg(const std::vector<unsigned char> &d, MediaProbe &probe) {
    if (d.size() < 28) {
        probe.problem = "unsupported format: truncated Ogg file";
        return;
    }
    size_t packet = 27 + d[26];
    if (packet + 16 <= d.size() && d[packet] == 1 && std::memcmp(&d[packet + 1], "vorbis", 6) == 0) {
        int channels = d[packet + 11];
        uint32_t rate = le32(&d[packet + 12]);
        probe.format = MediaFormat::ogg_vorbis;
        char text[120];
        std::snprintf(text, sizeof text, "Ogg Vorbis, %u Hz, %s", rate, channel_word(channels));
        probe.description = text;
        // The last page's granule position is the length in frames.
        for (size_t at = d.size() >= 27 ? d.size() - 27 : 0; at > 0; --at) {
            if (std::memcmp(&d[at], "OggS", 4) == 0) {
                uint64_t granule = 0;
                for (int b = 7; b >= 0; --b) granule = (granule << 8) | d[at + 6 + static_cast<size_t>(b)];
                if (rate > 0 && granule != ~0ULL) probe.seconds = static_cast<double>(granule) / rate;
                break;
            }
        }
        return;
    }
    std::string codec;
    for (size_t i = packet; i < d.size() && i < packet + 8; ++i)
        codec += (d[i] >= 32 && d[i] < 127) ? static_cast<char>(d[i]) : '?';
    probe.problem = "unsupported format: Ogg stream that is not Vorbis (" + codec + ")";
}

}  // namespace

const char *format_name(MediaFormat format) {
    switch (format) {
        case MediaFormat::wav: return "WAV";
        case MediaFormat::mp3: return "MP3";
        case MediaFormat::ogg_vorbis: return "Ogg Vorbis";
        default: return "unknown";
    }
}

MediaProbe probe_media(const std::string &path) {
    MediaProbe probe;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        probe.problem = std::string("cannot open: ") + std::strerror(errno);
        return probe;
    }
    std::vector<unsigned char> data;
    unsigned char chunk[65536];
    size_t got;
    // Sound files are read whole only up to a limit; the headers sit at the start.
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && data.size() < (64u << 20))
        data.insert(data.end(), chunk, chunk + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        probe.problem = std::string("cannot read: ") + std::strerror(errno);
        return probe;
    }
    probe.readable = true;
    if (data.empty()) {
        probe.problem = "empty file";
        return probe;
    }
    const long size = static_cast<long>(data.size());
    if (data.size() >= 12 && std::memcmp(data.data(), "RIFF", 4) == 0 &&
        std::memcmp(&data[8], "WAVE", 4) == 0) {
        describe_wav(data, size, probe);
    } else if (data.size() >= 4 && std::memcmp(data.data(), "OggS", 4) == 0) {
        describe_ogg(data, probe);
    } else if (size_t tag = id3_size(data); tag > 0) {
        // An ID3 tag announces MPEG audio; some files pad before the first frame.
        size_t at = tag;
        while (at + 4 <= data.size() && at < tag + 4096 && !describe_mpeg(data, at, probe)) ++at;
        if (probe.format != MediaFormat::mp3) {
            probe.format = MediaFormat::mp3;
            probe.description = "MP3 (ID3 tag, no frame found near it)";
        }
    } else if (!describe_mpeg(data, 0, probe)) {
        probe.problem = "unsupported format: not WAV, MP3 or Ogg Vorbis";
    }
    return probe;
}

}  // namespace zynplay
