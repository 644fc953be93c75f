// kk_sign: the kiosk's tall sign, a round board with a double ice cream on a
// candy-striped pole, a name board under it, a bird perched on top.

#include <cmath>

#include "art.h"
#include "palette.h"
#include "prop_parts.h"

namespace zyn::assets {
namespace {

constexpr int kWidth = 90, kHeight = 225, kGround = kHeight - 1;

// The ice cream: a waffle cone under a strawberry scoop and a mint scoop with
// a cherry, centred on (cx, cy) = the middle of the round board.
void ice_cream(Picture& pic, int cx, int cy) {
    using namespace colours;
    const Rgb waffle = rgb(232, 176, 96), waffle_dark = rgb(184, 124, 60);
    const Rgb strawberry = rgb(250, 160, 184), strawberry_dark = rgb(222, 112, 150);
    const Rgb mint = rgb(168, 232, 196), mint_dark = rgb(100, 190, 150);
    Picture art(pic.width(), pic.height());
    art.fill_polygon({{cx - 12.0, cy + 2.0}, {cx + 12.0, cy + 2.0}, {cx + 0.5, cy + 32.0}}, waffle);
    paint_over(art, cx - 13, cy, 26, 34, waffle, [&](int x, int y) {
        return (x + y) % 5 == 0 || (x - y + 100) % 5 == 0 ? waffle_dark : waffle;
    });
    art.outline(ink);
    pic.paste(art, 0, 0);

    Picture scoops(pic.width(), pic.height());
    scoops.fill_disc(cx + 0.5, cy - 16, 9.5, mint);
    scoops.fill_disc(cx - 2.5, cy - 19, 3, rgb(214, 250, 228));
    scoops.fill_disc(cx + 0.5, cy - 2, 12, strawberry);
    // Drips over the cone's rim.
    for (int k = -9; k <= 9; k += 6)
        scoops.fill_disc(cx + 0.5 + k, cy + 9.0 + (k % 4 ? 1 : 0), 2.4, strawberry);
    scoops.fill_disc(cx - 4.5, cy - 6, 3.5, rgb(255, 204, 218));
    scoops.outline(ink);
    paint_over(scoops, cx - 14, cy - 8, 29, 22, strawberry,
               [&](int x, int y) { return x - cx + (y - cy) > 9 ? strawberry_dark : strawberry; });
    paint_over(scoops, cx - 11, cy - 27, 23, 20, mint,
               [&](int x, int y) { return x - cx + (y - cy + 16) > 7 ? mint_dark : mint; });
    // Sprinkles.
    const Rgb bits[] = {flower_yellow, glass, flower_violet, white};
    for (int k = 0; k < 9; ++k) scoops.set(cx - 7 + (k * 5) % 15, cy - 20 + (k * 7) % 12, bits[k % 4]);
    pic.paste(scoops, 0, 0);

    Picture cherry(pic.width(), pic.height());
    cherry.fill_disc(cx + 1, cy - 27, 3.5, flower_red);
    cherry.outline(ink);
    cherry.line(cx + 2, cy - 31, cx + 5, cy - 35, leaf_dark);
    cherry.set(cx, cy - 28, white);
    pic.paste(cherry, 0, 0);
}

}  // namespace

Picture make_shop_sign() {
    using namespace colours;
    Picture pic(kWidth, kHeight);
    Noise noise(41);
    const int cx = kWidth / 2;

    // The pole, striped like a stick of rock, rounder with a shaded side.
    Picture pole(kWidth, kHeight);
    pole.fill_rect(cx - 4, 80, 8, kGround - 80, white);
    paint_over(pole, cx - 4, 80, 8, kGround - 80, white, [&](int x, int y) {
        const bool stripe = ((x + y) / 4) % 2 == 0;
        const bool shaded = x >= cx + 2;
        if (stripe) return shaded ? roof_red_dark : roof_red;
        return shaded ? white_shade : white;
    });
    pole.outline(ink);
    pic.paste(pole, 0, 0);

    // A stone foot set in the grass.
    Picture foot(kWidth, kHeight);
    foot.fill_rect(cx - 12, kGround - 9, 24, 10, stone);
    foot.fill_rect(cx - 12, kGround - 9, 24, 2, rgb(206, 200, 196));
    foot.fill_rect(cx + 6, kGround - 7, 6, 8, stone_dark);
    foot.outline(ink);
    pic.paste(foot, 0, 0);

    // The round board: a red rim round a cream face.
    const int cy = 48;
    pic.fill_disc(cx, cy, 41, ink);
    pic.fill_disc(cx, cy, 40, roof_red);
    pic.fill_disc(cx - 1, cy - 1, 36.5, roof_red_light);
    pic.fill_disc(cx, cy, 35, ink);
    pic.fill_disc(cx, cy, 34, cream);
    pic.fill_disc(cx + 3, cy + 3, 31, rgb(246, 226, 186));
    pic.fill_disc(cx, cy, 30, cream);
    // Rivets on the rim.
    for (int k = 0; k < 8; ++k) {
        const double a = k * 3.14159265358979 / 4.0;
        pic.set(int(cx + 38 * std::cos(a)), int(cy + 38 * std::sin(a)), white);
    }
    ice_cream(pic, cx, cy + 2);

    // A bluebird on top of the board.
    Picture bird(kWidth, kHeight);
    bird.stamp({"..bb...", ".bkbb..", "obbbbb.", ".bwwbbb", "..wwb..", "..o.o.."},
               {{'b', rgb(74, 140, 224)}, {'w', white}, {'o', roof_orange}, {'k', ink}}, cx + 10, 1);
    bird.outline(ink);
    pic.paste(bird, 0, 0);

    // The name board, hung on the pole below the round board.
    const int board_y = 100, text_w = tiny_text_width("KIOSK", 2);
    Picture board(kWidth, kHeight);
    board.fill_rect(cx - text_w / 2 - 6, board_y, text_w + 12, 20, sunny);
    board.fill_rect(cx - text_w / 2 - 6, board_y + 17, text_w + 12, 3, sunny_shade);
    board.outline(ink);
    pic.paste(board, 0, 0);
    pic.frame_rect(cx - text_w / 2 - 4, board_y + 2, text_w + 8, 14, white);
    tiny_text(pic, cx - text_w / 2, board_y + 4, "KIOSK", door_red, 2);
    pic.set(cx - text_w / 2 - 3, board_y + 9, wood_dark);
    pic.set(cx + text_w / 2 + 2, board_y + 9, wood_dark);

    flower_bush(pic, cx - 22, kGround, 12, 8, noise);
    flower_bush(pic, cx + 12, kGround, 12, 7, noise);
    grass_tufts(pic, 8, kWidth - 8, kGround, noise);
    return pic;
}

}  // namespace zyn::assets
