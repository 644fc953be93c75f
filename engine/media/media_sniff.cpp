#include "media_sniff.h"

#include "id3_tag.h"
#include "last_error.h"
#include "mpeg_sync.h"
#include "ogg_link.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace zyn {
namespace {

bool starts_with(const uint8_t *p, size_t n, const char *id, size_t at = 0) {
    const size_t len = std::strlen(id);
    return at + len <= n && std::memcmp(p + at, id, len) == 0;
}

// The codec of an Ogg stream from the first packet of its first page, as
// the decoders will find it: damage or junk in front of that page must not
// send a Vorbis stream to libsndfile, whose Ogg reader leaks when Vorbis
// headers it finds there are damaged. With no whole page anywhere the bytes
// after the first page header name the codec for the refusal.
bool sniff_ogg(ByteSource &source, const uint8_t *p, size_t n, const std::string &name, MediaSniff *out) {
    uint8_t first[8];
    size_t got = 0;
    const uint8_t *packet = first;
    if (!ogg_first_packet_head(source, first, sizeof first, &got)) {
        if (n < 27) return fail("%s is a truncated Ogg stream", name.c_str()) != 0;
        const size_t at = 27 + static_cast<size_t>(p[26]);
        packet = p + std::min(at, n);
        got = n - std::min(at, n);
    }
    if (starts_with(packet, got, "\x01vorbis")) {
        out->kind = MediaKind::ogg_vorbis;
        return true;
    }
    if (starts_with(packet, got, "OpusHead")) {
        out->kind = MediaKind::ogg_opus;
        return true;
    }
    // Name the codec when its first packet starts with printable letters.
    std::string codec;
    for (size_t i = 0; i < got && i < 8; ++i)
        if (packet[i] >= 'A' && packet[i] <= 'z') codec += static_cast<char>(packet[i]);
    return fail("%s is an Ogg stream of %s, which zyn cannot read (Vorbis and Opus only)",
                name.c_str(), codec.empty() ? "an unknown codec" : codec.c_str()) != 0;
}

}  // namespace

const char *media_kind_name(MediaKind kind) {
    switch (kind) {
        case MediaKind::wav: return "WAV";
        case MediaKind::aiff: return "AIFF";
        case MediaKind::flac: return "FLAC";
        case MediaKind::ogg_vorbis: return "Ogg Vorbis";
        case MediaKind::ogg_opus: return "Ogg Opus";
        case MediaKind::mpeg: return "MPEG audio";
        case MediaKind::other: return "a sound file";
    }
    return "unknown";
}

bool sniff_media(ByteSource &source, MediaSniff *out) {
    const std::string &name = source.name();
    const int64_t total = source.length();
    if (total <= 0) return fail("%s is empty", name.c_str()) != 0;

    uint8_t head[256];
    size_t n = source.read_at(0, head, sizeof head);
    if (n == 0) return fail("cannot read %s", name.c_str()) != 0;
    if ((starts_with(head, n, "RIFF") || starts_with(head, n, "RIFX") || starts_with(head, n, "RF64")) &&
        starts_with(head, n, "WAVE", 8)) {
        out->kind = MediaKind::wav;
        return true;
    }
    if (starts_with(head, n, "FORM") && (starts_with(head, n, "AIFF", 8) || starts_with(head, n, "AIFC", 8))) {
        out->kind = MediaKind::aiff;
        return true;
    }

    // An ID3v2 tag may stand in front of MPEG audio and of FLAC.
    const int64_t tag = id3v2_tag_length(head, n);
    if (tag > 0) {
        if (tag >= total) return fail("%s is not MPEG audio (an ID3 tag and nothing after it)", name.c_str()) != 0;
        n = source.read_at(tag, head, sizeof head);
    }
    out->offset = tag;
    if (starts_with(head, n, "fLaC")) {
        out->kind = MediaKind::flac;
        return true;
    }
    if (tag == 0 && starts_with(head, n, "OggS")) return sniff_ogg(source, head, n, name, out);

    std::vector<uint8_t> probe(kMpegProbeBytes);
    const size_t got = source.read_at(tag, probe.data(), probe.size());
    const int64_t first = find_mpeg_audio(probe.data(), got);
    if (first >= 0) {
        MpegFrameHeader header;
        parse_mpeg_frame_header(probe.data() + first, &header);
        out->kind = MediaKind::mpeg;
        out->offset = tag + first;
        out->mpeg_layer = header.layer;
        return true;
    }
    MpegFrameHeader header;
    if (tag > 0 || (got >= 4 && parse_mpeg_frame_header(probe.data(), &header)))
        return fail("%s is not MPEG audio (no run of %d frames within the first 64 KiB)", name.c_str(),
                    kMpegRunFrames) != 0;
    out->kind = MediaKind::other;
    return true;
}

}  // namespace zyn
