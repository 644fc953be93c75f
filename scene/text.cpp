#include "text.h"

#include "font8x8.h"
#include "screen.h"
#include "trace.h"

#include <cstdio>

namespace zyn::scene {
namespace {

constexpr int32_t kColumns = SCREEN_WIDTH / kGlyphSize;  // 100
constexpr int32_t kLines = SCREEN_HEIGHT / kGlyphSize;   // 60
constexpr uint32_t kInk = 0xFFFFFFFF;
constexpr uint32_t kPaper = 0xFF000000;

struct TextState {
    int32_t line = 0;
    std::vector<std::string> printed;
};

TextState &text() {
    static TextState t;
    return t;
}

void draw_cell(Image &screen, int32_t column, int32_t line, unsigned char c) {
    for (int32_t r = 0; r < kGlyphSize; ++r) {
        const uint8_t bits = glyph_row(c, r);
        uint32_t *row = screen.row(line * kGlyphSize + r) + column * kGlyphSize;
        for (int32_t i = 0; i < kGlyphSize; ++i) row[i] = (bits & (0x80 >> i)) ? kInk : kPaper;
    }
}

}  // namespace

void print_line(const std::string &line) {
    TextState &t = text();
    t.printed.push_back(line);
    if (std::FILE *trace = trace_stream()) std::fprintf(trace, "message: %s\n", line.c_str());
    if (!screen_is_open()) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return;
    }
    Image &screen = screen_image();
    // A line longer than the screen carries on in the next one; after the
    // last line the text starts again at the top.
    size_t at = 0;
    do {
        for (int32_t column = 0; column < kColumns && at < line.size(); ++column, ++at)
            draw_cell(screen, column, t.line, static_cast<unsigned char>(line[at]));
        t.line = (t.line + 1) % kLines;
    } while (at < line.size());
    mark_screen_changed();
}

const std::vector<std::string> &printed_lines() { return text().printed; }

}  // namespace zyn::scene
