// The colours shared by every prop and the walker, so that the scene reads as
// one picture book: warm walls, red and orange roofs, a single dark ink for
// every contour.
#pragma once

#include "picture.h"

namespace zyn::assets::colours {

inline constexpr Rgb ink = rgb(52, 34, 46);  // contours

inline constexpr Rgb cream = rgb(252, 236, 200);
inline constexpr Rgb cream_shade = rgb(226, 200, 160);
inline constexpr Rgb rose = rgb(246, 190, 178);
inline constexpr Rgb rose_shade = rgb(222, 154, 148);
inline constexpr Rgb sky_wall = rgb(168, 210, 240);
inline constexpr Rgb sky_wall_shade = rgb(128, 172, 214);
inline constexpr Rgb sunny = rgb(252, 214, 92);
inline constexpr Rgb sunny_shade = rgb(228, 172, 60);

inline constexpr Rgb roof_red = rgb(214, 74, 60);
inline constexpr Rgb roof_red_dark = rgb(156, 46, 42);
inline constexpr Rgb roof_red_light = rgb(238, 120, 96);
inline constexpr Rgb roof_orange = rgb(236, 134, 58);
inline constexpr Rgb roof_orange_dark = rgb(180, 88, 36);
inline constexpr Rgb roof_orange_light = rgb(250, 176, 100);

inline constexpr Rgb wood = rgb(178, 112, 62);
inline constexpr Rgb wood_dark = rgb(124, 74, 44);
inline constexpr Rgb wood_light = rgb(212, 150, 90);
inline constexpr Rgb brick = rgb(188, 92, 70);
inline constexpr Rgb brick_dark = rgb(138, 62, 52);
inline constexpr Rgb stone = rgb(176, 170, 168);
inline constexpr Rgb stone_dark = rgb(128, 120, 122);

inline constexpr Rgb glass = rgb(110, 176, 226);
inline constexpr Rgb glass_dark = rgb(70, 124, 188);
inline constexpr Rgb glass_light = rgb(222, 244, 255);
inline constexpr Rgb white = rgb(255, 253, 246);
inline constexpr Rgb white_shade = rgb(214, 214, 222);
inline constexpr Rgb lamp = rgb(255, 226, 130);

inline constexpr Rgb door_green = rgb(86, 164, 96);
inline constexpr Rgb door_green_dark = rgb(56, 116, 70);
inline constexpr Rgb door_red = rgb(206, 64, 70);
inline constexpr Rgb door_red_dark = rgb(150, 40, 52);
inline constexpr Rgb brass = rgb(250, 206, 70);

inline constexpr Rgb leaf = rgb(108, 186, 84);
inline constexpr Rgb leaf_dark = rgb(64, 138, 70);
inline constexpr Rgb leaf_light = rgb(164, 216, 110);
inline constexpr Rgb flower_red = rgb(232, 72, 80);
inline constexpr Rgb flower_yellow = rgb(252, 214, 64);
inline constexpr Rgb flower_pink = rgb(246, 146, 186);
inline constexpr Rgb flower_violet = rgb(150, 112, 206);
inline constexpr Rgb flower_white = rgb(255, 250, 240);

inline constexpr Rgb smoke = rgb(236, 236, 244);
inline constexpr Rgb smoke_shade = rgb(204, 208, 224);

}  // namespace zyn::assets::colours
