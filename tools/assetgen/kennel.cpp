// p_home: a dog's kennel with a red tiled roof and a name board, its puppy
// sitting beside it with a bowl and a bone.

#include "art.h"
#include "palette.h"
#include "prop_parts.h"

namespace zyn::assets {
namespace {

constexpr int kWidth = 108, kHeight = 45, kGround = kHeight - 1;

void puppy(Picture& pic, int x) {
    using namespace colours;
    const Rgb fur = rgb(250, 246, 236);
    const Rgb fur_shade = rgb(216, 206, 196);
    const Rgb patch = rgb(196, 128, 70);
    const Rgb patch_dark = rgb(146, 88, 50);
    Picture dog(pic.width(), pic.height());
    // Tail first, so that the body overlaps its root.
    dog.fill_disc(x + 26, kGround - 8, 2, fur);
    dog.fill_disc(x + 27, kGround - 11, 2, fur);
    dog.fill_disc(x + 27.5, kGround - 14, 1.8, patch);
    // Haunch, body and chest.
    dog.fill_disc(x + 19, kGround - 7, 7.5, fur);
    dog.fill_disc(x + 13, kGround - 10, 6.5, fur);
    dog.fill_rect(x + 12, kGround - 5, 16, 5, fur);
    // Front legs and paws.
    dog.fill_rect(x + 7, kGround - 11, 4, 11, fur);
    dog.fill_rect(x + 12, kGround - 9, 3, 9, fur);
    dog.fill_rect(x + 6, kGround - 1, 5, 2, fur);
    // Head and muzzle.
    dog.fill_disc(x + 10, kGround - 22, 7.5, fur);
    dog.fill_disc(x + 4, kGround - 19, 4, fur);
    dog.outline(ink);
    // Shading: the body's lower right turns away from the light.
    paint_over(dog, x, kGround - 30, 32, 31, fur, [&](int i, int j) {
        const int dx = i - (x + 19), dy = j - (kGround - 7);
        return dx + dy > 7 ? fur_shade : fur;
    });
    // A brown patch on the back and the floppy ear.
    paint_over(dog, x + 14, kGround - 15, 10, 7, fur, [&](int i, int j) {
        return (i - (x + 19)) * (i - (x + 19)) + (j - (kGround - 12)) * (j - (kGround - 12)) < 14 ? patch
                                                                                                  : fur;
    });
    dog.fill_polygon({{x + 10.0, kGround - 29.0},
                      {x + 17.0, kGround - 26.0},
                      {x + 16.0, kGround - 17.0},
                      {x + 12.5, kGround - 19.0}},
                     patch);
    dog.line(x + 16, kGround - 25, x + 15, kGround - 18, patch_dark);
    dog.line(x + 11, kGround - 29, x + 16, kGround - 27, ink);
    // Face: nose, eye with a shine, a smile and the tongue.
    dog.fill_rect(x, kGround - 21, 2, 2, ink);
    dog.fill_rect(x + 6, kGround - 25, 2, 2, ink);
    dog.set(x + 6, kGround - 25, white);
    dog.line(x + 2, kGround - 17, x + 5, kGround - 17, ink);
    dog.fill_rect(x + 3, kGround - 16, 2, 2, flower_pink);
    dog.set(x + 2, kGround - 18, flower_pink);
    // Collar with a tag.
    dog.line(x + 6, kGround - 14, x + 14, kGround - 16, flower_red);
    dog.line(x + 6, kGround - 13, x + 14, kGround - 15, flower_red);
    dog.fill_rect(x + 8, kGround - 12, 2, 2, brass);
    // Paw toes.
    dog.set(x + 8, kGround, fur_shade);
    dog.set(x + 13, kGround, fur_shade);
    pic.paste(dog, 0, 0);
}

void bowl(Picture& pic, int x) {
    using namespace colours;
    Picture bits(pic.width(), pic.height());
    // A blue bowl heaped with kibble.
    bits.fill_disc(x + 6, kGround - 4, 4.5, rgb(200, 120, 70));
    bits.fill_rect(x, kGround - 4, 13, 5, rgb(80, 140, 220));
    bits.fill_rect(x + 1, kGround - 3, 11, 1, rgb(140, 190, 244));
    bits.outline(ink);
    bits.set(x + 4, kGround - 6, rgb(150, 84, 50));
    bits.set(x + 8, kGround - 7, rgb(150, 84, 50));
    bits.set(x + 6, kGround - 5, rgb(230, 160, 100));
    pic.paste(bits, 0, 0);
}

void bone(Picture& pic, int x) {
    using namespace colours;
    Picture bits(pic.width(), pic.height());
    bits.fill_rect(x + 1, kGround - 2, 7, 2, white);
    for (double end : {x + 0.5, x + 8.5})
        for (double row : {kGround - 2.5, kGround - 0.5}) bits.fill_disc(end, row, 1.6, white);
    bits.outline(ink);
    pic.paste(bits, 0, 0);
}

}  // namespace

Picture make_kennel() {
    using namespace colours;
    Picture pic(kWidth, kHeight);
    Noise noise(11);

    // The kennel: planked walls under a steep tiled roof.
    const int left = 6, right = 52, eaves = 17;
    Picture house(kWidth, kHeight);
    plank_wall(house, left, eaves, right - left, kGround - eaves + 1, wood_light, wood, 4, noise);
    house.fill_rect(left, eaves, right - left, 2, wood);  // shadow under the eaves
    house.outline(ink);
    pic.paste(house, 0, 0);
    tiled_roof(pic, {{left - 6.0, eaves + 3.0}, {(left + right) / 2.0, 0.0}, {right + 6.0, eaves + 3.0}},
               {roof_red, roof_red_dark, roof_red_light, 6, 4}, ink);

    // Arched doorway with a blanket glimpsed inside.
    const int dx = (left + right) / 2 - 9, dw = 18;
    pic.fill_disc(dx + dw / 2.0, 28, dw / 2.0 + 1, ink);
    pic.fill_rect(dx - 1, 28, dw + 2, kGround - 28 + 1, ink);
    pic.fill_disc(dx + dw / 2.0, 28, dw / 2.0 - 1, rgb(78, 52, 56));
    pic.fill_rect(dx + 1, 28, dw - 2, kGround - 28, rgb(78, 52, 56));
    pic.fill_rect(dx + 1, kGround - 3, dw - 2, 3, rgb(120, 150, 220));
    for (int i = dx + 1; i < dx + dw - 1; i += 3) pic.set(i, kGround - 2, rgb(240, 240, 250));

    // The name board nailed to the gable.
    const int bw = tiny_text_width("REX") + 6;
    const int bx = (left + right) / 2 - bw / 2;
    pic.fill_rect(bx, 10, bw, 8, ink);
    pic.fill_rect(bx + 1, 11, bw - 2, 6, white);
    tiny_text(pic, bx + 3, 11, "REX", door_red);

    puppy(pic, 60);
    bowl(pic, 92);
    bone(pic, 10);
    grass_tufts(pic, 2, kWidth - 2, kGround, noise);
    pic.set(4, kGround - 3, flower_yellow);
    pic.set(56, kGround - 4, flower_red);
    return pic;
}

}  // namespace zyn::assets
