#include "mpeg_sync.h"

#include <mad.h>

#include <cstring>

namespace zyn {

namespace {

// kbit/s by bit rate index 1..14 (ISO/IEC 11172-3 and 13818-3).
constexpr int16_t kMpeg1Kbps[3][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // Layer I
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // Layer II
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // Layer III
};
constexpr int16_t kMpeg2Kbps[2][14] = {
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},  // Layer I
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},       // Layers II and III
};
constexpr int32_t kMpeg1Rates[3] = {44100, 48000, 32000};

constexpr size_t kId3v1Bytes = 128;

bool same_stream(const MpegFrameHeader &a, const MpegFrameHeader &b) {
    return a.version == b.version && a.layer == b.layer && a.sample_rate == b.sample_rate;
}

// A header at offset of the same stream as first; offset may lie anywhere.
bool header_at(const uint8_t *data, size_t length, size_t offset, const MpegFrameHeader &first,
               MpegFrameHeader *out) {
    return offset <= length && length - offset >= 4 && parse_mpeg_frame_header(data + offset, out) &&
           same_stream(first, *out);
}

// Whether libmad decodes the first frames of a run, frames of them in bytes
// from data, without an error: headers alone still match by chance in
// machine code and tables (a call instruction every 192 bytes reads as
// Layer I at 32 kHz), their bodies do not decode. The first frame may point
// back into data before the run (Layer III's bit reservoir), which is no
// sign against it; nor is a checksum, which a damaged copy may miss.
bool run_decodes(const uint8_t *data, size_t bytes, int32_t frames) {
    uint8_t copy[kMpegRunFrames * kMpegMaxFrameBytes + MAD_BUFFER_GUARD];
    if (bytes > kMpegRunFrames * kMpegMaxFrameBytes) return false;
    std::memcpy(copy, data, bytes);
    std::memset(copy + bytes, 0, MAD_BUFFER_GUARD);
    mad_stream stream;
    mad_frame frame;
    mad_stream_init(&stream);
    mad_frame_init(&frame);
    mad_stream_options(&stream, MAD_OPTION_IGNORECRC);
    mad_stream_buffer(&stream, copy, bytes + MAD_BUFFER_GUARD);
    bool clean = true;
    for (int32_t i = 0; i < frames && clean; ++i) {
        if (mad_frame_decode(&frame, &stream) == 0) continue;
        clean = i == 0 && stream.error == MAD_ERROR_BADDATAPTR;
    }
    mad_frame_finish(&frame);
    mad_stream_finish(&stream);
    return clean;
}

bool run_at(const uint8_t *data, size_t length, size_t offset) {
    MpegFrameHeader first;
    if (!parse_mpeg_frame_header(data + offset, &first)) return false;
    const size_t start = offset;
    MpegFrameHeader next = first;
    for (int32_t i = 1; i < kMpegRunFrames; ++i) {
        offset += static_cast<size_t>(next.frame_bytes);
        if (!header_at(data, length, offset, first, &next)) return false;
    }
    // The last frame may end beyond the data (a cut file, or the stream's
    // first read): the frames that are there whole are decoded.
    const size_t end = offset + static_cast<size_t>(next.frame_bytes);
    if (end <= length) return run_decodes(data + start, end - start, kMpegRunFrames);
    return run_decodes(data + start, offset - start, kMpegRunFrames - 1);
}

bool ends_data(const uint8_t *data, size_t length, size_t offset) {
    if (offset == length) return true;
    return offset <= length && length - offset == kId3v1Bytes && std::memcmp(data + offset, "TAG", 3) == 0;
}

bool short_file(const uint8_t *data, size_t length) {
    if (length < 4) return false;
    MpegFrameHeader first;
    if (!parse_mpeg_frame_header(data, &first)) return false;
    MpegFrameHeader next = first;
    size_t offset = 0;
    for (int32_t i = 1; i < kMpegRunFrames; ++i) {
        offset += static_cast<size_t>(next.frame_bytes);
        if (ends_data(data, length, offset)) return true;
        if (!header_at(data, length, offset, first, &next)) return false;
    }
    return false;
}

}  // namespace

bool parse_mpeg_frame_header(const uint8_t *p, MpegFrameHeader *out) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int version_code = (p[1] >> 3) & 3;  // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    const int layer_code = (p[1] >> 1) & 3;    // 0 reserved, 1 Layer III, 2 Layer II, 3 Layer I
    const int bitrate_index = p[2] >> 4;
    const int rate_index = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    const int emphasis = p[3] & 3;
    if (version_code == 1 || layer_code == 0 || bitrate_index == 0 || bitrate_index == 15 ||
        rate_index == 3 || emphasis == 2)
        return false;

    const int layer = 4 - layer_code;
    const bool mpeg1 = version_code == 3;
    const int32_t kbps = mpeg1 ? kMpeg1Kbps[layer - 1][bitrate_index - 1]
                               : kMpeg2Kbps[layer == 1 ? 0 : 1][bitrate_index - 1];
    const int32_t rate = kMpeg1Rates[rate_index] >> (mpeg1 ? 0 : version_code == 2 ? 1 : 2);
    int32_t bytes = 0;
    if (layer == 1)
        bytes = (12000 * kbps / rate + padding) * 4;
    else if (layer == 3 && !mpeg1)
        bytes = 72000 * kbps / rate + padding;  // half the samples per frame
    else
        bytes = 144000 * kbps / rate + padding;

    out->version = mpeg1 ? 1 : version_code == 2 ? 2 : 25;
    out->layer = layer;
    out->sample_rate = rate;
    out->frame_bytes = bytes;
    return true;
}

int64_t find_mpeg_audio(const uint8_t *data, size_t length) {
    if (data == nullptr) return -1;
    const size_t starts = length < kMpegSearchWindow ? length : kMpegSearchWindow;
    for (size_t offset = 0; offset < starts; ++offset) {
        const void *sync = std::memchr(data + offset, 0xFF, starts - offset);
        if (sync == nullptr) break;
        offset = static_cast<size_t>(static_cast<const uint8_t *>(sync) - data);
        if (length - offset >= 4 && run_at(data, length, offset)) return static_cast<int64_t>(offset);
    }
    return short_file(data, length) ? 0 : -1;
}

}  // namespace zyn
