// Building blocks shared by the props: roofs laid with tiles, windows, doors,
// planked walls, flowers and lettering, all with the scene's palette and ink.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "noise.h"
#include "picture.h"

namespace zyn::assets {

using Outline = std::vector<std::pair<double, double>>;

struct Tiles {
    Rgb base, dark, light;
    int width = 7;   // tile width
    int height = 5;  // tile course height, the last row of each course is a shadow
};

// Fills the outline with rows of overlapping tiles, each course shifted half a
// tile, lit along its upper edge; the outline gets an ink contour.
void tiled_roof(Picture& pic, const Outline& outline, const Tiles& tiles, Rgb ink);

// Horizontal boards with a shadow line under each, and a few knots.
void plank_wall(Picture& pic, int x, int y, int w, int h, Rgb base, Rgb shade, int board, Noise& noise);

// Bricks in running bond.
void brick_wall(Picture& pic, int x, int y, int w, int h, Rgb base, Rgb mortar);

// A window with a white frame, four panes, a glint, optional curtains
// (curtain == kClear for none) and a sill.
void window(Picture& pic, int x, int y, int w, int h, Rgb curtain);
// A round window (port-hole style) with a cross bar.
void round_window(Picture& pic, int cx, int cy, int r);

// A panelled door with a knob, a little step, and a round light if `arched`.
void door(Picture& pic, int x, int y, int w, int h, Rgb colour, Rgb shade, bool arched);

// A box of flowers (on a sill), and a bush with flowers standing on `ground`.
void flower_box(Picture& pic, int x, int y, int w, Noise& noise);
void flower_bush(Picture& pic, int x, int ground, int w, int h, Noise& noise);
void grass_tufts(Picture& pic, int x0, int x1, int ground, Noise& noise);

// Capital letters, 3 x 5 cells of `scale` pixels with one cell between
// letters; returns the width written.
int tiny_text(Picture& pic, int x, int y, std::string_view text, Rgb c, int scale = 1);
int tiny_text_width(std::string_view text, int scale = 1);

// Repaints, inside the box, every pixel that holds `where`, with the colour
// that `paint(x, y)` gives (shading and texture rules).
template <typename Paint>
void paint_over(Picture& pic, int x, int y, int w, int h, Rgb where, Paint paint) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            if (pic.inside(i, j) && pic.at(i, j) == where) pic.set(i, j, paint(i, j));
}

}  // namespace zyn::assets
