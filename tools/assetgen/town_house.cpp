// t_home: a tall pink town house with a red tiled roof, a smoking chimney, a
// round attic window, flower boxes, a green arched door, and the family cat
// sitting on the ridge.

#include "art.h"
#include "palette.h"
#include "prop_parts.h"

namespace zyn::assets {
namespace {

constexpr int kWidth = 132, kHeight = 135, kGround = kHeight - 1;

const std::vector<Ink> kCatInks{
    {'c', rgb(96, 96, 118)},   {'C', rgb(70, 68, 90)}, {'w', colours::white},
    {'g', rgb(196, 232, 90)},  {'n', colours::flower_pink}, {'k', colours::ink},
};

// A grey cat with a white bib, sitting, its tail curled round to the right.
const std::vector<std::string_view> kCat{
    "c.....c...",
    "cc...cc...",
    "ccccccc...",
    "cgkccgkc..",
    "cccncccc..",
    ".ccwwcc...",
    "ccwwwwcc..",
    "ccwwwwCc.c",
    "ccwwwwCc.c",
    "CcwwwwCccc",
    "CwwCCwwCc.",
};

void chimney_smoke(Picture& pic, double x, double y) {
    using namespace colours;
    Picture puffs(pic.width(), pic.height());
    const double r[] = {2.6, 3.4, 4.2};
    for (int k = 0; k < 3; ++k) {
        const double px = x + k * 6.5, py = y - k * 4.5;
        puffs.fill_disc(px, py, r[k], smoke_shade);
        puffs.fill_disc(px - 0.7, py - 0.7, r[k] - 1.0, smoke);
    }
    puffs.outline(rgb(160, 168, 196));
    pic.paste(puffs, 0, 0);
}

}  // namespace

Picture make_town_house() {
    using namespace colours;
    Picture pic(kWidth, kHeight);
    Noise noise(23);
    const int left = 12, right = 120, eaves = 60;
    const double apex_x = (left + right) / 2.0, apex_y = 16;

    // Chimney first: the roof covers its foot.
    Picture chimney(kWidth, kHeight);
    brick_wall(chimney, 92, 24, 13, 22, brick, brick_dark);
    chimney.fill_rect(90, 20, 17, 4, stone);
    chimney.fill_rect(90, 23, 17, 1, stone_dark);
    chimney.outline(ink);
    pic.paste(chimney, 0, 0);
    chimney_smoke(pic, 100, 15);

    // Walls: pink plaster with a speckle, a stone plinth, shade under the eaves.
    Picture walls(kWidth, kHeight);
    walls.fill_rect(left, eaves, right - left, kGround - eaves + 1, rose);
    paint_over(walls, left, eaves, right - left, kGround - eaves + 1, rose, [&](int x, int y) {
        if (y < eaves + 4) return rose_shade;
        if (y > kGround - 6) return (x + (y / 3) * 2) % 7 == 0 || y == kGround - 3 ? stone_dark : stone;
        return (x * 7 + y * 13) % 37 == 0 ? rose_shade : rose;
    });
    // Corner boards give the walls a little depth.
    walls.fill_rect(left, eaves, 3, kGround - eaves - 5, rose_shade);
    walls.fill_rect(right - 3, eaves, 3, kGround - eaves - 5, rose_shade);
    walls.outline(ink);
    pic.paste(walls, 0, 0);

    tiled_roof(pic, {{left - 10.0, eaves + 4.0}, {apex_x, apex_y - 2}, {right + 10.0, eaves + 4.0}},
               {roof_red, roof_red_dark, roof_red_light, 8, 6}, ink);
    // A gable board and a round attic window.
    round_window(pic, int(apex_x), 44, 8);

    // The cat on the ridge.
    Picture cat(kWidth, kHeight);
    cat.stamp(kCat, kCatInks, int(apex_x) - 4, int(apex_y) - 13);
    cat.outline(ink);
    pic.paste(cat, 0, 0);

    // Ground floor: the door on the left, a wide window on the right.
    door(pic, 24, kGround - 2 - 42, 22, 42, door_green, door_green_dark, true);
    // A lamp beside the door.
    pic.fill_rect(51, 96, 1, 2, ink);
    pic.fill_rect(49, 98, 5, 7, ink);
    pic.fill_rect(50, 99, 3, 5, lamp);
    pic.set(50, 99, white);
    pic.fill_rect(48, 105, 7, 1, ink);
    window(pic, 68, 96, 36, 26, kClear);
    flower_box(pic, 66, 122, 40, noise);

    // Upper floor: two windows with curtains and flower boxes.
    window(pic, 24, 68, 24, 24, flower_red);
    flower_box(pic, 22, 92, 28, noise);
    window(pic, 76, 68, 24, 24, flower_yellow);
    flower_box(pic, 74, 92, 28, noise);

    flower_bush(pic, 104, kGround, 26, 12, noise);
    grass_tufts(pic, 4, kWidth - 4, kGround, noise);
    return pic;
}

}  // namespace zyn::assets
