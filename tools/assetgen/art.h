// The scene's pictures. Each maker returns a finished picture; magenta
// (kClear) is the transparent colour of props and the walker.
#pragma once

#include "picture.h"

namespace zyn::assets {

// A vertical gradient (every column alike): deep blue at the top to a pale
// sky at the horizon, row 239.
Picture make_sky();

// The five props, each standing on the ground line when drawn at its place.
Picture make_kennel();      // p_home, at (40, 200)
Picture make_town_house();  // t_home, at (160, 110)
Picture make_blue_house();  // s_home, at (300, 110)
Picture make_shop_sign();   // kk_sign, at (460, 20)
Picture make_kiosk();       // kk, at (560, 115)

// The walking child: sheets of 28 x 40 frames, one row each.
inline constexpr int kFrameWidth = 28;
inline constexpr int kFrameHeight = 40;
struct WalkerSheets {
    Picture walk_right;
    Picture turn_left;
    Picture walk_left;
    Picture turn_right;
};
WalkerSheets make_walker();

// A soap bubble on black, size x size; brightness becomes its opacity.
Picture make_bubble(int size);

}  // namespace zyn::assets
