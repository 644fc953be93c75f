// The generator's canvas: the operations every picture is built from.

#include <gtest/gtest.h>

#include "picture.h"
#include "prop_parts.h"

namespace zyn::assets {
namespace {

int count(const Picture& p, Rgb c) {
    int n = 0;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) n += p.at(x, y) == c;
    return n;
}

TEST(Drawing, OutlineRingsTheShapeWithoutTouchingIt) {
    Picture p(7, 7);
    p.set(3, 3, 0x112233);
    Picture diagonal = p;
    p.outline(0x000001);
    EXPECT_EQ(count(p, 0x000001), 4);
    EXPECT_EQ(p.at(3, 3), 0x112233u);
    EXPECT_EQ(p.at(2, 3), 0x000001u);
    EXPECT_EQ(p.at(2, 2), kClear);
    diagonal.outline(0x000001, true);
    EXPECT_EQ(count(diagonal, 0x000001), 8);
    // The contour is one pixel wide: it does not grow from its own new pixels.
    EXPECT_EQ(count(diagonal, kClear), 49 - 9);
}

TEST(Drawing, MirrorFlipsColumnsAndTwiceGivesTheOriginal) {
    Picture p(5, 2);
    p.set(0, 0, 0x010203);
    p.set(3, 1, 0x040506);
    const Picture m = p.mirrored();
    EXPECT_EQ(m.at(4, 0), 0x010203u);
    EXPECT_EQ(m.at(1, 1), 0x040506u);
    EXPECT_EQ(m.at(0, 0), kClear);
    const Picture back = m.mirrored();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(back.at(x, y), p.at(x, y));
}

TEST(Drawing, PolygonsCoverPixelCentresInside) {
    Picture square(10, 10);
    square.fill_polygon({{2.0, 3.0}, {6.0, 3.0}, {6.0, 8.0}, {2.0, 8.0}}, 0x00AA00);
    EXPECT_EQ(count(square, 0x00AA00), 4 * 5);
    EXPECT_EQ(square.at(2, 3), 0x00AA00u);
    EXPECT_EQ(square.at(6, 3), kClear);
    EXPECT_EQ(square.at(5, 7), 0x00AA00u);
    // A right triangle of legs 8 covers about half of the 8 x 8 square.
    Picture triangle(10, 10);
    triangle.fill_polygon({{0.0, 0.0}, {8.0, 0.0}, {0.0, 8.0}}, 0x00AA00);
    const int n = count(triangle, 0x00AA00);
    EXPECT_GE(n, 28);
    EXPECT_LE(n, 36);
    // Clipped to the canvas, never written outside it.
    Picture clipped(4, 4);
    clipped.fill_polygon({{-5.0, -5.0}, {20.0, -5.0}, {20.0, 20.0}, {-5.0, 20.0}}, 0x00AA00);
    EXPECT_EQ(count(clipped, 0x00AA00), 16);
}

TEST(Drawing, DiscsAreRoundAndCentred) {
    Picture p(11, 11);
    p.fill_disc(5.5, 5.5, 4.0, 0x0000FF);
    EXPECT_EQ(p.at(5, 5), 0x0000FFu);
    EXPECT_EQ(p.at(1, 5), 0x0000FFu);
    EXPECT_EQ(p.at(9, 5), 0x0000FFu);
    EXPECT_EQ(p.at(1, 1), kClear);
    EXPECT_EQ(p.at(9, 9), kClear);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 11; ++x) EXPECT_EQ(p.at(x, y), p.at(10 - x, y)) << x << "," << y;
}

TEST(Drawing, StampAndPasteLeaveUnpaintedPixelsAlone) {
    Picture p(4, 2, 0x777777);
    p.stamp({"ab.", ".b."}, {{'a', 0x0000AA}, {'b', 0x0000BB}}, 1, 0);
    EXPECT_EQ(p.at(0, 0), 0x777777u);
    EXPECT_EQ(p.at(1, 0), 0x0000AAu);
    EXPECT_EQ(p.at(2, 0), 0x0000BBu);
    EXPECT_EQ(p.at(3, 0), 0x777777u);
    EXPECT_EQ(p.at(1, 1), 0x777777u);
    Picture mirrored(3, 1, 0x777777);
    mirrored.stamp({"ab."}, {{'a', 0x0000AA}, {'b', 0x0000BB}}, 0, 0, true);
    EXPECT_EQ(mirrored.at(2, 0), 0x0000AAu);
    EXPECT_EQ(mirrored.at(0, 0), 0x777777u);

    Picture sprite(2, 1);
    sprite.set(1, 0, 0x123456);
    Picture target(3, 1, 0x777777);
    target.paste(sprite, 1, 0);
    EXPECT_EQ(target.at(1, 0), 0x777777u);
    EXPECT_EQ(target.at(2, 0), 0x123456u);
}

TEST(Drawing, EveryLetterOfTheSignsIsDrawnAndDistinct) {
    const std::string letters = "ABCDEFGHIKLMNOPRSTUWXY";
    std::vector<std::vector<Rgb>> glyphs;
    for (char c : letters) {
        Picture p(3, 5);
        EXPECT_EQ(tiny_text(p, 0, 0, std::string(1, c), 0x000000), 3);
        EXPECT_GE(count(p, 0x000000), 5) << c;
        std::vector<Rgb> cells;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 3; ++x) cells.push_back(p.at(x, y));
        for (std::size_t k = 0; k < glyphs.size(); ++k)
            EXPECT_NE(glyphs[k], cells) << c << " looks like " << letters[k];
        glyphs.push_back(cells);
    }
    // Scaled text: each cell becomes scale x scale pixels, letters 4 cells apart.
    Picture big(30, 10);
    EXPECT_EQ(tiny_text(big, 0, 0, "II", 0x000000, 2), 14);
    EXPECT_EQ(count(big, 0x000000), 2 * 9 * 4);  // "I" has 9 cells, each 2 x 2
    EXPECT_EQ(big.at(8, 0), 0x000000u);
    EXPECT_EQ(big.at(6, 0), kClear);
}

}  // namespace
}  // namespace zyn::assets
