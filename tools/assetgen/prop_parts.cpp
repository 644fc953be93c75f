#include "prop_parts.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "palette.h"

namespace zyn::assets {

void tiled_roof(Picture& pic, const Outline& outline, const Tiles& tiles, Rgb ink) {
    Picture shape(pic.width(), pic.height());
    shape.fill_polygon(outline, tiles.base);
    int top = pic.height(), left = pic.width();
    for (int y = 0; y < shape.height(); ++y)
        for (int x = 0; x < shape.width(); ++x)
            if (shape.opaque(x, y)) {
                top = std::min(top, y);
                left = std::min(left, x);
            }
    for (int y = 0; y < shape.height(); ++y)
        for (int x = 0; x < shape.width(); ++x) {
            if (!shape.opaque(x, y)) continue;
            const int course = (y - top) / tiles.height;
            const int in_course = (y - top) % tiles.height;
            const int shift = (course % 2) * (tiles.width / 2);
            const int in_tile = (x - left + shift) % tiles.width;
            Rgb c = tiles.base;
            if (in_course == tiles.height - 1)
                c = tiles.dark;
            else if (in_tile == 0)
                c = tiles.dark;
            else if (in_course == 0 || in_tile == 1)
                c = tiles.light;
            // The contour of the roof is drawn in ink.
            const bool edge = !shape.opaque(x - 1, y) || !shape.opaque(x + 1, y) || !shape.opaque(x, y - 1) ||
                              !shape.opaque(x, y + 1);
            pic.set(x, y, edge ? ink : c);
        }
}

void plank_wall(Picture& pic, int x, int y, int w, int h, Rgb base, Rgb shade, int board, Noise& noise) {
    pic.fill_rect(x, y, w, h, base);
    for (int j = y + board - 1; j < y + h; j += board)
        for (int i = x; i < x + w; ++i) pic.set(i, j, shade);
    // Knots and the odd board end, placed by the fixed noise sequence.
    for (int j = y; j + board <= y + h; j += board) {
        const int end = x + 4 + int(noise.unit() * std::max(1, w - 8));
        pic.set(end, j + board / 2 - 1, shade);
        pic.set(end, j + board / 2, shade);
        const int knot = x + 2 + int(noise.unit() * std::max(1, w - 4));
        pic.set(knot, j + board / 2 - 1, mix(base, shade, 0.6));
    }
}

void brick_wall(Picture& pic, int x, int y, int w, int h, Rgb base, Rgb mortar) {
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int course = j / 4;
            const bool joint = j % 4 == 3 || (i + (course % 2) * 4) % 8 == 0;
            pic.set(x + i, y + j, joint ? mortar : base);
        }
}

void window(Picture& pic, int x, int y, int w, int h, Rgb curtain) {
    using namespace colours;
    pic.fill_rect(x, y, w, h, ink);
    pic.fill_rect(x + 1, y + 1, w - 2, h - 2, white);
    const int gx = x + 3, gy = y + 3, gw = w - 6, gh = h - 6;
    pic.fill_rect(gx, gy, gw, gh, glass);
    // Darker at the top where the eaves shade the glass.
    pic.fill_rect(gx, gy, gw, 2, glass_dark);
    // A diagonal glint in each pane.
    for (int k = 0; k < std::min(gw, gh) / 2; ++k) {
        pic.set(gx + 2 + k, gy + gh - 3 - k, glass_light);
        pic.set(gx + 3 + k, gy + gh - 3 - k, glass_light);
    }
    if (curtain != kClear) {
        const Rgb fold = mix(curtain, ink, 0.25);
        const int cw = gw / 3;
        for (int j = 0; j < gh; ++j) {
            // Tied-back curtains: wide at the top, narrowing to a tie, then
            // flaring slightly below it.
            const double t = double(j) / gh;
            const int reach = t < 0.6 ? int(cw * (1.0 - t * 1.2)) + 1 : int(cw * 0.35) + 1;
            for (int i = 0; i < reach; ++i) {
                pic.set(gx + i, gy + j, i == reach - 1 ? fold : curtain);
                pic.set(gx + gw - 1 - i, gy + j, i == reach - 1 ? fold : curtain);
            }
        }
    }
    // Window bars.
    pic.fill_rect(x + w / 2 - 1, y + 1, 2, h - 2, white);
    pic.fill_rect(x + 1, y + h / 2 - 1, w - 2, 2, white);
    pic.fill_rect(x + w / 2 - 1, y + h / 2 + 1, 2, 1, white_shade);
    // Sill.
    pic.fill_rect(x - 2, y + h - 1, w + 4, 3, ink);
    pic.fill_rect(x - 1, y + h, w + 2, 1, white);
}

void round_window(Picture& pic, int cx, int cy, int r) {
    using namespace colours;
    pic.fill_disc(cx, cy, r, ink);
    pic.fill_disc(cx, cy, r - 1, white);
    pic.fill_disc(cx, cy, r - 3, glass);
    pic.fill_rect(cx - r + 2, cy - 1, 2 * r - 4, 2, white);
    pic.fill_rect(cx - 1, cy - r + 2, 2, 2 * r - 4, white);
    pic.set(cx - r / 2, cy + r / 2 - 1, glass_light);
    pic.set(cx - r / 2 + 1, cy + r / 2 - 2, glass_light);
}

void door(Picture& pic, int x, int y, int w, int h, Rgb colour, Rgb shade, bool arched) {
    using namespace colours;
    if (arched) {
        pic.fill_disc(x + w / 2.0, y + w / 2.0, w / 2.0, ink);
        pic.fill_rect(x, y + w / 2, w, h - w / 2, ink);
        pic.fill_disc(x + w / 2.0, y + w / 2.0, w / 2.0 - 1, colour);
        pic.fill_rect(x + 1, y + w / 2, w - 2, h - w / 2 - 1, colour);
        // A fan light in the arch.
        pic.fill_disc(x + w / 2.0, y + w / 2.0, w / 2.0 - 4, lamp);
        pic.fill_rect(x + 3, y + w / 2, w - 6, w / 2 - 2, colour);
        pic.fill_rect(x + w / 2, y + 4, 1, w / 2 - 4, colour);
    } else {
        pic.fill_rect(x, y, w, h, ink);
        pic.fill_rect(x + 1, y + 1, w - 2, h - 2, colour);
    }
    const int top = arched ? y + w / 2 + 2 : y + 4;
    const int panel_w = (w - 8) / 2;
    const int panel_h = (y + h - 6 - top) / 2 - 2;
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 2; ++col) {
            const int px = x + 3 + col * (panel_w + 2);
            const int py = top + row * (panel_h + 3);
            pic.frame_rect(px, py, panel_w, panel_h, shade);
            pic.fill_rect(px + 1, py + panel_h - 1, panel_w - 1, 1, mix(colour, white, 0.35));
        }
    // Knob and letter slot.
    pic.fill_rect(x + w - 5, y + h / 2 + 2, 2, 2, brass);
    pic.set(x + w - 5, y + h / 2 + 2, white);
    pic.fill_rect(x + w / 2 - 3, y + h / 2 - 1, 6, 1, ink);
    // A stone step.
    pic.fill_rect(x - 3, y + h - 1, w + 6, 3, ink);
    pic.fill_rect(x - 2, y + h, w + 4, 1, stone);
}

void flower_box(Picture& pic, int x, int y, int w, Noise& noise) {
    using namespace colours;
    const std::array<Rgb, 4> petals{flower_red, flower_yellow, flower_pink, flower_white};
    for (int i = x + 1; i < x + w - 1; ++i) {
        const int tall = 2 + int(noise.unit() * 3);
        for (int j = 0; j < tall; ++j) pic.set(i, y - 1 - j, (i + j) % 3 ? leaf : leaf_dark);
    }
    for (int i = x + 2; i < x + w - 2; i += 3) {
        const Rgb p = petals[std::size_t(noise.next() % petals.size())];
        const int fy = y - 4 - int(noise.unit() * 2);
        pic.set(i, fy, p);
        pic.set(i - 1, fy + 1, p);
        pic.set(i + 1, fy + 1, p);
        pic.set(i, fy + 2, p);
        pic.set(i, fy + 1, flower_yellow == p ? roof_orange : flower_yellow);
    }
    pic.fill_rect(x, y, w, 4, ink);
    pic.fill_rect(x + 1, y + 1, w - 2, 2, wood);
    pic.fill_rect(x + 1, y + 1, w - 2, 1, wood_light);
}

void flower_bush(Picture& pic, int x, int ground, int w, int h, Noise& noise) {
    using namespace colours;
    const std::array<Rgb, 4> petals{flower_red, flower_pink, flower_white, flower_violet};
    Picture bush(pic.width(), pic.height());
    // Overlapping leaf clumps, lit from the upper left.
    const int clumps = std::max(3, w / 5);
    for (int k = 0; k < clumps; ++k) {
        const double cx = x + w * (k + 0.5) / clumps + noise.bipolar();
        const double r = h * (0.45 + 0.15 * noise.unit());
        const double cy = ground - r + 1;
        bush.fill_disc(cx, cy, r, leaf_dark);
        bush.fill_disc(cx - 0.8, cy - 0.8, r - 1.3, leaf);
        bush.fill_disc(cx - r * 0.35, cy - r * 0.4, r * 0.35, leaf_light);
    }
    bush.outline(ink);
    pic.paste(bush, 0, 0);
    // Blossoms sit on the lit leaves.
    for (int k = 0; k < w / 4; ++k) {
        const int fx = x + 2 + int(noise.unit() * (w - 4));
        const int fy = ground - 2 - int(noise.unit() * (h - 3));
        if (!bush.opaque(fx, fy) || bush.at(fx, fy) == ink) continue;
        const Rgb p = petals[std::size_t(noise.next() % petals.size())];
        pic.set(fx, fy, flower_yellow);
        pic.set(fx - 1, fy, p);
        pic.set(fx + 1, fy, p);
        pic.set(fx, fy - 1, p);
        pic.set(fx, fy + 1, p);
    }
}

void grass_tufts(Picture& pic, int x0, int x1, int ground, Noise& noise) {
    using namespace colours;
    for (int x = x0; x < x1; x += 3 + int(noise.unit() * 5)) {
        const int tall = 2 + int(noise.unit() * 3);
        for (int j = 0; j < tall; ++j) pic.set(x, ground - j, j == tall - 1 ? leaf_light : leaf);
        pic.set(x - 1, ground, leaf_dark);
        pic.set(x + 1, ground - 1, leaf);
        pic.set(x + 1, ground, leaf_dark);
    }
}

namespace {

// 3 x 5 glyphs, drawn row by row.
struct Glyph {
    char c;
    std::array<const char*, 5> rows;
};
constexpr Glyph kGlyphs[] = {
    {'A', {".#.", "#.#", "###", "#.#", "#.#"}},
    {'B', {"##.", "#.#", "##.", "#.#", "##."}},
    {'C', {".##", "#..", "#..", "#..", ".##"}},
    {'D', {"##.", "#.#", "#.#", "#.#", "##."}},
    {'E', {"###", "#..", "##.", "#..", "###"}},
    {'F', {"###", "#..", "##.", "#..", "#.."}},
    {'G', {".##", "#..", "#.#", "#.#", ".##"}},
    {'H', {"#.#", "#.#", "###", "#.#", "#.#"}},
    {'I', {"###", ".#.", ".#.", ".#.", "###"}},
    {'K', {"#.#", "#.#", "##.", "#.#", "#.#"}},
    {'L', {"#..", "#..", "#..", "#..", "###"}},
    {'M', {"#.#", "###", "###", "#.#", "#.#"}},
    {'N', {"##.", "#.#", "#.#", "#.#", "#.#"}},
    {'O', {".#.", "#.#", "#.#", "#.#", ".#."}},
    {'P', {"##.", "#.#", "##.", "#..", "#.."}},
    {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
    {'S', {".##", "#..", ".#.", "..#", "##."}},
    {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
    {'U', {"#.#", "#.#", "#.#", "#.#", "###"}},
    {'W', {"#.#", "#.#", "###", "###", "#.#"}},
    {'X', {"#.#", "#.#", ".#.", "#.#", "#.#"}},
    {'Y', {"#.#", "#.#", ".#.", ".#.", ".#."}},
    {'!', {".#.", ".#.", ".#.", "...", ".#."}},
    {' ', {"...", "...", "...", "...", "..."}},
};

}  // namespace

int tiny_text_width(std::string_view text, int scale) {
    return text.empty() ? 0 : (int(text.size()) * 4 - 1) * scale;
}

int tiny_text(Picture& pic, int x, int y, std::string_view text, Rgb c, int scale) {
    int at = x;
    for (char ch : text) {
        for (const auto& g : kGlyphs)
            if (g.c == ch)
                for (int row = 0; row < 5; ++row)
                    for (int col = 0; col < 3; ++col)
                        if (g.rows[std::size_t(row)][col] == '#')
                            pic.fill_rect(at + col * scale, y + row * scale, scale, scale, c);
        at += 4 * scale;
    }
    return tiny_text_width(text, scale);
}

}  // namespace zyn::assets
