// kk: the sweet kiosk. A yellow wooden booth under a striped awning, a name
// board on top, a bear shopkeeper smiling over the counter between shelves
// of sweet jars, a poster, its door, and a bunch of balloons tied at the side.

#include <array>
#include <cmath>

#include "art.h"
#include "palette.h"
#include "prop_parts.h"

namespace zyn::assets {
namespace {

constexpr int kWidth = 200, kHeight = 130, kGround = kHeight - 1;
constexpr int kLeft = 10, kRight = 154;

void balloons(Picture& pic) {
    using namespace colours;
    struct Balloon {
        double x, y, r;
        Rgb colour;
    };
    const std::array<Balloon, 4> bunch{{
        {173, 26, 8.5, flower_red},
        {189, 38, 8.0, rgb(84, 150, 236)},
        {167, 50, 7.5, flower_yellow},
        {184, 60, 7.0, leaf},
    }};
    const int tie_x = kRight + 4, tie_y = 96;
    for (const auto& b : bunch) pic.line(tie_x, tie_y, int(b.x), int(b.y + b.r + 2), ink);
    for (const auto& b : bunch) {
        Picture one(pic.width(), pic.height());
        one.fill_disc(b.x, b.y, b.r, b.colour);
        one.fill_disc(b.x, b.y + b.r * 0.35, b.r * 0.92, b.colour);  // a little egg-shaped
        one.fill_polygon({{b.x - 2.0, b.y + b.r + 2.0}, {b.x + 2.0, b.y + b.r + 2.0}, {b.x, b.y + b.r - 1.0}},
                         b.colour);
        paint_over(one, int(b.x - b.r - 1), int(b.y - b.r - 1), int(2 * b.r + 3), int(2 * b.r + 6), b.colour,
                   [&](int x, int y) {
                       return (x - b.x) + (y - b.y) > b.r * 0.9 ? mix(b.colour, ink, 0.22) : b.colour;
                   });
        one.outline(ink);
        one.fill_rect(int(b.x - b.r * 0.45), int(b.y - b.r * 0.5), 2, 3, white);
        pic.paste(one, 0, 0);
    }
    pic.fill_rect(tie_x - 1, tie_y - 1, 3, 3, ink);
}

// The shopkeeper: a brown bear with a white apron, seen from the waist up.
void bear(Picture& pic, int cx, int top, int counter) {
    using namespace colours;
    const Rgb fur = rgb(176, 118, 74), fur_dark = rgb(130, 84, 52), muzzle = rgb(240, 210, 170);
    Picture b(pic.width(), pic.height());
    b.fill_disc(cx - 8, top + 3, 3.5, fur);
    b.fill_disc(cx + 8, top + 3, 3.5, fur);
    b.fill_rect(cx - 11, top + 17, 22, counter - top - 17, fur);
    b.fill_disc(cx, top + 10, 9.5, fur);
    b.outline(ink);
    b.fill_disc(cx - 8, top + 3, 1.5, muzzle);
    b.fill_disc(cx + 8, top + 3, 1.5, muzzle);
    // Apron with a pocket.
    b.fill_rect(cx - 7, top + 20, 14, counter - top - 20, white);
    b.frame_rect(cx - 7, top + 20, 14, counter - top - 20, white_shade);
    b.line(cx - 7, top + 20, cx - 9, top + 17, white);
    b.line(cx + 6, top + 20, cx + 8, top + 17, white);
    // Face.
    b.fill_disc(cx, top + 13, 4.5, muzzle);
    b.fill_rect(cx - 1, top + 11, 3, 2, ink);
    b.set(cx, top + 14, ink);
    b.set(cx - 2, top + 15, ink);
    b.set(cx + 2, top + 15, ink);
    b.fill_rect(cx - 5, top + 7, 2, 2, ink);
    b.fill_rect(cx + 4, top + 7, 2, 2, ink);
    b.set(cx - 5, top + 7, white);
    b.set(cx + 4, top + 7, white);
    b.set(cx - 7, top + 11, flower_pink);
    b.set(cx + 7, top + 11, flower_pink);
    b.fill_rect(cx - 11, top + 17, 2, counter - top - 17, fur_dark);
    pic.paste(b, 0, 0);
}

void jar_shelf(Picture& pic, int x0, int x1, int shelf_y, Noise& noise) {
    using namespace colours;
    const std::array<Rgb, 5> sweets{flower_red, flower_yellow, leaf_light, flower_pink, flower_violet};
    pic.fill_rect(x0, shelf_y, x1 - x0, 2, wood_light);
    pic.fill_rect(x0, shelf_y + 2, x1 - x0, 1, wood_dark);
    for (int x = x0 + 2; x + 6 <= x1; x += 8) {
        const int h = 7 + int(noise.unit() * 3);
        const int top = shelf_y - h;
        pic.fill_rect(x, top, 6, h, ink);
        pic.fill_rect(x + 1, top + 2, 4, h - 2, glass_light);
        pic.fill_rect(x + 1, top, 4, 1, roof_red);  // lid
        for (int k = 0; k < 5; ++k) {
            const Rgb sweet = sweets[std::size_t(noise.next() % sweets.size())];
            const int sy = top + 3 + int(noise.unit() * (h - 3));
            const int sx = x + 1 + int(noise.unit() * 4);
            pic.set(sx, sy, sweet);
        }
        pic.set(x + 4, top + 2, white);
    }
}

}  // namespace

Picture make_kiosk() {
    using namespace colours;
    Picture pic(kWidth, kHeight);
    Noise noise(53);

    balloons(pic);

    // Booth: yellow upright boards.
    const int wall_top = 50;
    Picture booth(kWidth, kHeight);
    booth.fill_rect(kLeft, wall_top, kRight - kLeft, kGround - wall_top + 1, sunny);
    paint_over(booth, kLeft, wall_top, kRight - kLeft, kGround - wall_top + 1, sunny, [&](int x, int y) {
        if (y > kGround - 4) return wood;
        return (x - kLeft) % 6 == 5 ? sunny_shade : sunny;
    });
    booth.outline(ink);
    pic.paste(booth, 0, 0);

    // The serving hatch with its shelves, the bear and the counter.
    const int hx = kLeft + 8, hy = 58, hw = 96, counter = 96;
    pic.fill_rect(hx, hy, hw, counter - hy, ink);
    pic.fill_rect(hx + 2, hy + 2, hw - 4, counter - hy - 2, rgb(120, 76, 70));
    pic.fill_rect(hx + 2, hy + 2, hw - 4, 3, rgb(90, 56, 56));
    jar_shelf(pic, hx + 2, hx + 34, hy + 17, noise);
    jar_shelf(pic, hx + 2, hx + 34, hy + 31, noise);
    jar_shelf(pic, hx + hw - 34, hx + hw - 2, hy + 17, noise);
    jar_shelf(pic, hx + hw - 34, hx + hw - 2, hy + 31, noise);
    bear(pic, hx + hw / 2, hy + 8, counter);
    // Counter board with lollipops in a pot and ice cream cones.
    pic.fill_rect(hx - 4, counter, hw + 8, 5, ink);
    pic.fill_rect(hx - 3, counter + 1, hw + 6, 2, wood_light);
    pic.fill_rect(hx - 3, counter + 3, hw + 6, 1, wood);
    pic.fill_rect(hx + 6, counter - 5, 8, 5, ink);
    pic.fill_rect(hx + 7, counter - 4, 6, 4, rgb(84, 150, 236));
    const std::array<Rgb, 3> pops{flower_red, flower_yellow, leaf_light};
    for (int k = 0; k < 3; ++k) {
        const int px = hx + 7 + k * 3, py = counter - 13 + (k == 1 ? -2 : 0);
        pic.line(px + 1, py + 3, hx + 10, counter - 5, white);
        pic.fill_disc(px + 1, py + 1, 2.6, ink);
        pic.fill_disc(px + 1, py + 1, 1.8, pops[std::size_t(k)]);
    }
    for (int k = 0; k < 2; ++k) {
        const int cx = hx + hw - 14 + k * 7;
        pic.fill_polygon({{cx - 2.5, counter - 6.0}, {cx + 2.5, counter - 6.0}, {cx + 0.0, counter + 0.0}},
                         rgb(232, 176, 96));
        pic.fill_disc(cx, counter - 8, 2.6, k ? rgb(168, 232, 196) : rgb(250, 160, 184));
    }

    // A poster under the counter: a smiling lolly.
    const int px = hx + 10, py = counter + 8;
    pic.fill_rect(px, py, 22, 18, ink);
    pic.fill_rect(px + 1, py + 1, 20, 16, white);
    pic.fill_disc(px + 11, py + 7, 5, flower_pink);
    pic.fill_disc(px + 11, py + 7, 2.5, flower_white);
    pic.fill_rect(px + 10, py + 12, 2, 4, wood);
    pic.fill_rect(px + 50, py, 34, 18, ink);
    pic.fill_rect(px + 51, py + 1, 32, 16, door_red);
    tiny_text(pic, px + 53, py + 4, "OPEN", white, 2);

    // The door.
    door(pic, kRight - 30, kGround - 2 - 40, 22, 40, sky_wall_shade, glass_dark, false);
    pic.fill_rect(kRight - 26, kGround - 38, 14, 10, ink);
    pic.fill_rect(kRight - 25, kGround - 37, 12, 8, glass);
    pic.set(kRight - 23, kGround - 32, glass_light);
    pic.set(kRight - 22, kGround - 33, glass_light);

    // The awning: red and white stripes with a scalloped hem.
    Picture awning(kWidth, kHeight);
    const int aw_top = 32, aw_bottom = 48;
    awning.fill_polygon({{kLeft - 6.0, aw_bottom + 0.0},
                         {kLeft + 0.0, aw_top + 0.0},
                         {kRight + 0.0, aw_top + 0.0},
                         {kRight + 6.0, aw_bottom + 0.0}},
                        white);
    for (int x = kLeft - 6; x < kRight + 6; x += 10) awning.fill_disc(x + 5, aw_bottom, 5, white);
    paint_over(awning, 0, aw_top, kWidth, aw_bottom - aw_top + 6, white, [&](int x, int y) {
        const int stripe = ((x - kLeft + 6) / 10 + 10) % 2;
        const bool shade = y >= aw_bottom - 1;
        if (stripe) return shade ? roof_red_dark : roof_red;
        return shade ? white_shade : white;
    });
    awning.outline(ink);
    pic.paste(awning, 0, 0);

    // Name board with a crest on top.
    Picture board(kWidth, kHeight);
    board.fill_rect(kLeft + 4, 12, kRight - kLeft - 8, 20, wood);
    board.fill_polygon({{(kLeft + kRight) / 2.0 - 16, 12.0},
                        {(kLeft + kRight) / 2.0, 1.0},
                        {(kLeft + kRight) / 2.0 + 16, 12.0}},
                       wood);
    board.outline(ink);
    pic.paste(board, 0, 0);
    pic.fill_rect(kLeft + 7, 15, kRight - kLeft - 14, 14, cream);
    pic.frame_rect(kLeft + 7, 15, kRight - kLeft - 14, 14, wood_dark);
    const int text_w = tiny_text_width("CANDY", 2);
    tiny_text(pic, (kLeft + kRight) / 2 - text_w / 2, 17, "CANDY", door_red, 2);
    // A star in the crest.
    const int sx = (kLeft + kRight) / 2;
    pic.fill_rect(sx - 1, 5, 3, 5, flower_yellow);
    pic.fill_rect(sx - 2, 6, 5, 2, flower_yellow);
    pic.set(sx, 4, flower_yellow);

    grass_tufts(pic, 2, kWidth - 2, kGround, noise);
    flower_bush(pic, kRight + 8, kGround, 22, 10, noise);
    return pic;
}

}  // namespace zyn::assets
