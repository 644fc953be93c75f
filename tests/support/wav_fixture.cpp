#include "wav_fixture.h"

#include <algorithm>

namespace zyn_test {
namespace {

uint32_t le32(const std::vector<uint8_t> &b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}
uint16_t le16(const std::vector<uint8_t> &b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
std::string id_at(const std::vector<uint8_t> &b, size_t at) { return std::string(b.begin() + long(at), b.begin() + long(at + 4)); }

// The first reason the file is not a complete 16-bit PCM file, from what
// parsing found.
std::string problem_of(const WavFile &w, bool have_format) {
    if (w.riff != "RIFF" || w.wave != "WAVE") return "not RIFF/WAVE";
    if (size_t{w.riff_size} + 8 != w.file_bytes) return "RIFF size does not match the file";
    if (!have_format) return "no fmt chunk before the data";
    if (w.fmt_size < 16 || w.format != 1) return "not PCM";
    if (w.align == 0 || w.align != w.channels * w.bits / 8 || w.byte_rate != static_cast<uint32_t>(w.rate) * w.align)
        return "block align or byte rate inconsistent";
    if (w.data_at == 0) return "no data chunk";
    if (w.data_at + w.data_size > w.file_bytes) return "data chunk runs past the end";
    if (w.bits != 16 || w.data_size % w.align != 0) return "not whole 16-bit frames";
    return "";
}

}  // namespace

std::vector<double> Pcm::channel(int32_t c) const {
    std::vector<double> out;
    for (size_t i = static_cast<size_t>(c); i < samples.size(); i += static_cast<size_t>(channels))
        out.push_back(samples[i]);
    return out;
}

std::vector<uint8_t> wav_image(const WavLayout &layout, const std::vector<uint8_t> &data) {
    const uint32_t align = layout.block_align >= 0 ? static_cast<uint32_t>(layout.block_align)
                                                 : layout.channels * ((layout.bits + 7u) / 8u);
    std::vector<uint8_t> fmt;
    put16(fmt, layout.format_tag);
    put16(fmt, layout.channels);
    put32(fmt, layout.rate);
    put32(fmt, layout.rate * align);
    put16(fmt, align);
    put16(fmt, layout.bits);
    if (layout.fmt_size > 16) fmt.resize(layout.fmt_size, 0);

    std::vector<uint8_t> out;
    put_id(out, layout.riff);
    put32(out, 0);
    put_id(out, layout.wave);
    put_id(out, "fmt ");
    put32(out, layout.fmt_size);
    out.insert(out.end(), fmt.begin(), fmt.end());
    out.insert(out.end(), layout.before_data.begin(), layout.before_data.end());
    put_id(out, "data");
    put32(out, layout.data_size >= 0 ? static_cast<uint32_t>(layout.data_size)
                                   : static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    const auto riff_size = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(riff_size >> (8 * i));
    return out;
}

std::vector<uint8_t> pcm16(const std::vector<int16_t> &samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) put16(out, static_cast<uint16_t>(s));
    return out;
}

bool write_wav(const std::string &path, const Pcm &sound) {
    WavLayout layout;
    layout.channels = static_cast<uint16_t>(sound.channels);
    layout.rate = static_cast<uint32_t>(sound.rate);
    return write_file(path, wav_image(layout, pcm16(sound.samples)));
}

WavFile parse_wav(const std::vector<uint8_t> &b) {
    WavFile w;
    w.rate = 0;
    w.channels = 0;
    w.file_bytes = b.size();
    if (b.size() < 12) {
        w.problem = "shorter than a RIFF header";
        return w;
    }
    w.riff = id_at(b, 0);
    w.riff_size = le32(b, 4);
    w.wave = id_at(b, 8);
    bool have_format = false;
    for (size_t at = 12; at + 8 <= b.size() && w.data_at == 0;) {
        const std::string id = id_at(b, at);
        const uint32_t size = le32(b, at + 4);
        if (id == "fmt " && !have_format && at + 24 <= b.size()) {
            w.fmt_size = size;
            w.format = le16(b, at + 8);
            w.channels = le16(b, at + 10);
            w.rate = static_cast<int32_t>(le32(b, at + 12));
            w.byte_rate = le32(b, at + 16);
            w.align = le16(b, at + 20);
            w.bits = le16(b, at + 22);
            have_format = true;
        } else if (id == "data") {
            w.data_at = at + 8;
            w.data_size = size;
        }
        at += 8 + size + (size & 1);
    }
    if (w.data_at != 0 && w.bits == 16) {
        const size_t on_disk = std::min<size_t>(w.data_size, b.size() - w.data_at);
        for (size_t i = 0; i + 1 < on_disk; i += 2)
            w.samples.push_back(static_cast<int16_t>(le16(b, w.data_at + i)));
    }
    w.problem = problem_of(w, have_format);
    return w;
}

WavFile read_wav(const std::string &path) { return parse_wav(read_file(path)); }

}  // namespace zyn_test
