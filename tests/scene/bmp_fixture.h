// Writes BMP files for the scene's tests: every header size, bit depth and
// row order the reader takes, from a plain description of the pixels.
#pragma once

#include "file_bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace scene_test {

using zyn_test::put16;
using zyn_test::put32;
using zyn_test::write_file;

struct BmpSpec {
    int32_t width = 1;
    int32_t height = 1;          // rows; stored top-down when top_down
    bool top_down = false;
    uint16_t bits = 24;
    uint32_t info_size = 40;     // 12, 16, 40, 56, 108 or 124
    uint32_t compression = 0;    // 3: bit fields
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha (compression 3)
    std::vector<uint32_t> palette;     // 0xRRGGBB entries for 1/4/8 bits
    uint32_t colours_used = 0;         // written into the header as is
    // Raw pixel values, row-major from the top: palette indices, 16/32-bit
    // words, or 0xRRGGBB for 24 bits.
    std::vector<uint32_t> pixels;
};

inline std::vector<uint8_t> make_bmp(const BmpSpec &s) {
    std::vector<uint8_t> info;
    if (s.info_size == 12) {
        put32(info, 12);
        put16(info, static_cast<uint32_t>(s.width));
        put16(info, static_cast<uint32_t>(s.top_down ? -s.height : s.height) & 0xFFFF);
        put16(info, 1);
        put16(info, s.bits);
    } else {
        put32(info, s.info_size);
        put32(info, static_cast<uint32_t>(s.width));
        put32(info, static_cast<uint32_t>(s.top_down ? -s.height : s.height));
        put16(info, 1);
        put16(info, s.bits);
        while (info.size() < s.info_size) info.push_back(0);
        auto set32 = [&](size_t at, uint32_t v) {
            if (at + 4 > info.size()) return;
            for (int i = 0; i < 4; ++i) info[at + i] = static_cast<uint8_t>(v >> (8 * i));
        };
        set32(16, s.compression);
        set32(32, s.colours_used);
        if (s.info_size >= 52)
            for (int i = 0; i < 3; ++i) set32(40 + 4 * i, s.masks[i]);
        if (s.info_size >= 56) set32(52, s.masks[3]);
    }
    std::vector<uint8_t> tables;
    if (s.compression == 3 && s.info_size == 40)
        for (int i = 0; i < 3; ++i) put32(tables, s.masks[i]);
    for (uint32_t c : s.palette) {
        tables.push_back(static_cast<uint8_t>(c));
        tables.push_back(static_cast<uint8_t>(c >> 8));
        tables.push_back(static_cast<uint8_t>(c >> 16));
        if (s.info_size != 12) tables.push_back(0);
    }
    const size_t stride = (static_cast<size_t>(s.width) * s.bits + 31) / 32 * 4;
    std::vector<uint8_t> data(stride * static_cast<size_t>(s.height), 0);
    for (int32_t y = 0; y < s.height; ++y) {
        const int32_t file_row = s.top_down ? y : s.height - 1 - y;
        uint8_t *row = data.data() + stride * static_cast<size_t>(file_row);
        for (int32_t x = 0; x < s.width; ++x) {
            const uint32_t v = s.pixels[static_cast<size_t>(y) * s.width + x];
            switch (s.bits) {
                case 1: row[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8)); break;
                case 4: row[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4)); break;
                case 8: row[x] = static_cast<uint8_t>(v); break;
                case 16: row[2 * x] = static_cast<uint8_t>(v), row[2 * x + 1] = static_cast<uint8_t>(v >> 8); break;
                case 24:
                    row[3 * x] = static_cast<uint8_t>(v);
                    row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                    row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
                    break;
                default:
                    for (int i = 0; i < 4; ++i) row[4 * x + i] = static_cast<uint8_t>(v >> (8 * i));
            }
        }
    }
    std::vector<uint8_t> out{'B', 'M'};
    const uint32_t offset = static_cast<uint32_t>(14 + info.size() + tables.size());
    put32(out, static_cast<uint32_t>(offset + data.size()));
    put32(out, 0);
    put32(out, offset);
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), tables.begin(), tables.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// A 24-bit picture from 0xRRGGBB pixels, row-major from the top.
inline std::vector<uint8_t> make_bmp24(int32_t width, int32_t height, const std::vector<uint32_t> &pixels) {
    BmpSpec s;
    s.width = width;
    s.height = height;
    s.pixels = pixels;
    return make_bmp(s);
}

}  // namespace scene_test
