// Little-endian byte assembly for the file writers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zyn::assets {

class ByteSink {
public:
    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void u16(std::uint16_t v) {
        u8(std::uint8_t(v));
        u8(std::uint8_t(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(std::uint16_t(v));
        u16(std::uint16_t(v >> 16));
    }
    void text(std::string_view s) {
        for (char c : s) u8(std::uint8_t(c));
    }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
};

// Writes the whole buffer; false when the file cannot be created or written.
bool write_file(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace zyn::assets
