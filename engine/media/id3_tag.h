// Length of an ID3v2 tag at the start of an MPEG audio file. The decoder
// would otherwise scan the tag for frame sync words, and a picture or lyrics
// inside a tag can hold a false sync that decodes to a burst of noise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn {

// Bytes to skip (header, tag and optional footer) when data starts with a
// well-formed ID3v2 header, else 0. Needs at least 10 bytes of data.
inline int64_t id3v2_tag_length(const uint8_t *data, size_t length) {
    if (data == nullptr || length < 10) return 0;
    if (data[0] != 'I' || data[1] != 'D' || data[2] != '3') return 0;
    if (data[3] == 0xFF || data[4] == 0xFF) return 0;
    int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if (data[i] & 0x80) return 0;  // not a syncsafe integer: no tag
        size = (size << 7) | data[i];
    }
    const bool footer = (data[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

}  // namespace zyn
