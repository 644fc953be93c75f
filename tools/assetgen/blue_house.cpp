// s_home: a wide sky-blue cottage under an orange roof with a dormer, a red
// door, a bay of windows with shutters, a television aerial with a bird on
// it, and sunflowers taller than the walker by the wall.

#include <cmath>

#include "art.h"
#include "palette.h"
#include "prop_parts.h"

namespace zyn::assets {
namespace {

constexpr int kWidth = 146, kHeight = 135, kGround = kHeight - 1;

void shutters(Picture& pic, int x, int y, int w, int h) {
    using namespace colours;
    for (int side = 0; side < 2; ++side) {
        const int sx = side ? x + w + 1 : x - 8;
        pic.fill_rect(sx, y, 7, h, ink);
        pic.fill_rect(sx + 1, y + 1, 5, h - 2, door_green);
        for (int j = y + 3; j < y + h - 2; j += 3) pic.fill_rect(sx + 2, j, 3, 1, door_green_dark);
    }
}

void sunflower(Picture& pic, int x, int top) {
    using namespace colours;
    Picture plant(pic.width(), pic.height());
    plant.fill_rect(x, top + 4, 2, kGround - top - 3, leaf_dark);
    // Leaves alternate up the stalk.
    for (int k = 0; k < 3; ++k) {
        const int ly = top + 14 + k * 9;
        const int dir = k % 2 ? 1 : -1;
        const double stalk = x + 1.0;
        plant.fill_polygon({{stalk, ly + 0.0}, {stalk + dir * 7.0, ly - 3.0}, {stalk + dir * 4.0, ly + 2.0}},
                           leaf);
    }
    for (int k = 0; k < 12; ++k) {
        const double a = k * 3.14159265358979 / 6.0;
        plant.fill_disc(x + 1 + 4.2 * std::cos(a), top + 1 + 4.2 * std::sin(a), 2.0, flower_yellow);
    }
    plant.fill_disc(x + 1, top + 1, 3.2, rgb(150, 92, 46));
    plant.outline(ink);
    plant.set(x, top, rgb(190, 128, 64));
    plant.set(x + 2, top + 2, rgb(110, 66, 36));
    pic.paste(plant, 0, 0);
}

// A little blue bird, 7 x 6, facing left.
void bird(Picture& pic, int x, int y) {
    using namespace colours;
    static const std::vector<std::string_view> kBird{
        ".bb....",
        "kbbb...",
        "obwbbbb",
        ".bwwbb.",
        "..ww...",
        "..o.o..",
    };
    Picture b(pic.width(), pic.height());
    b.stamp(kBird, {{'b', rgb(74, 140, 224)}, {'w', white}, {'o', roof_orange}, {'k', ink}}, x, y);
    b.outline(ink);
    pic.paste(b, 0, 0);
}

}  // namespace

Picture make_blue_house() {
    using namespace colours;
    Picture pic(kWidth, kHeight);
    Noise noise(37);
    const int left = 10, right = 136, eaves = 66;

    // Aerial and its bird, behind the roof.
    pic.fill_rect(104, 12, 1, 26, ink);
    pic.fill_rect(96, 16, 17, 1, ink);
    pic.fill_rect(99, 21, 11, 1, ink);
    bird(pic, 95, 9);

    // Chimney, then the roof over its foot.
    Picture chimney(kWidth, kHeight);
    brick_wall(chimney, 30, 16, 11, 22, brick, brick_dark);
    chimney.fill_rect(28, 13, 15, 3, stone);
    chimney.outline(ink);
    pic.paste(chimney, 0, 0);

    // Walls: sky-blue clapboard with white corner boards.
    Picture walls(kWidth, kHeight);
    plank_wall(walls, left, eaves, right - left, kGround - eaves + 1, sky_wall, sky_wall_shade, 5, noise);
    walls.fill_rect(left, eaves, right - left, 3, sky_wall_shade);
    walls.fill_rect(left, eaves, 3, kGround - eaves + 1, white);
    walls.fill_rect(right - 3, eaves, 3, kGround - eaves + 1, white);
    walls.fill_rect(left, kGround - 4, right - left, 5, stone);
    walls.fill_rect(left, kGround - 4, right - left, 1, stone_dark);
    walls.outline(ink);
    pic.paste(walls, 0, 0);

    // A roof with a hipped, slightly curved line: steep sides, flat top.
    tiled_roof(pic,
               {{left - 10.0, eaves + 4.0}, {left + 6.0, 30.0}, {left + 22.0, 24.0}, {right - 22.0, 24.0},
                {right - 6.0, 30.0}, {right + 10.0, eaves + 4.0}},
               {roof_orange, roof_orange_dark, roof_orange_light, 6, 5}, ink);

    // The dormer: a little gabled box with a window.
    Picture dormer(kWidth, kHeight);
    dormer.fill_rect(60, 34, 26, 26, sky_wall);
    dormer.fill_rect(60, 34, 26, 2, sky_wall_shade);
    dormer.outline(ink);
    pic.paste(dormer, 0, 0);
    const Tiles small_tiles{roof_orange, roof_orange_dark, roof_orange_light, 5, 4};
    tiled_roof(pic, {{55.0, 37.0}, {73.0, 18.0}, {91.0, 37.0}}, small_tiles, ink);
    window(pic, 65, 38, 16, 18, flower_pink);

    // The bay: two windows with shutters and a long flower box.
    window(pic, 22, 78, 22, 24, kClear);
    shutters(pic, 22, 78, 22, 24);
    window(pic, 112, 78, 14, 24, kClear);
    flower_box(pic, 19, 102, 28, noise);

    // A red door under a little porch roof.
    door(pic, 78, kGround - 2 - 40, 22, 40, door_red, door_red_dark, false);
    tiled_roof(pic, {{72.0, 92.0}, {76.0, 85.0}, {102.0, 85.0}, {106.0, 92.0}}, small_tiles, ink);
    // A letter box on the wall between the bay and the door.
    pic.fill_rect(56, 96, 12, 9, ink);
    pic.fill_rect(57, 97, 10, 7, flower_yellow);
    pic.fill_rect(57, 97, 10, 2, sunny_shade);
    pic.fill_rect(59, 100, 6, 1, ink);

    // Sunflowers by the left corner, a bush by the right one.
    sunflower(pic, 4, 86);
    sunflower(pic, 12, 96);
    flower_bush(pic, 108, kGround, 30, 13, noise);
    grass_tufts(pic, 2, kWidth - 2, kGround, noise);
    return pic;
}

}  // namespace zyn::assets
