// The walker: a child in a red cap, a yellow scarf and a blue jacket.
//
// Heads and the jacket are hand-drawn character grids; arms and legs are
// drawn from the pose of each frame, so the walking cycle is one formula:
// sixteen frames, each foot planted for eight of them while the body moves one
// pixel a frame over it (so the planted foot stays put on the screen), then
// swinging forward, lifted, for the other eight. Frames 0 and 8 are the two
// heel contacts, where the scene plays the step sounds; frame 0 doubles as
// the standing pose. Every part is drawn on its own layer with an ink contour,
// so overlapping limbs stay readable at this small size.

#include <array>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "art.h"
#include "palette.h"

namespace zyn::assets {
namespace {

constexpr Rgb kInk = rgb(40, 28, 44);
constexpr Rgb kCap = rgb(226, 58, 60);
constexpr Rgb kCapDark = rgb(164, 36, 50);
constexpr Rgb kCapLight = rgb(252, 132, 112);
constexpr Rgb kHair = rgb(118, 70, 42);
constexpr Rgb kHairDark = rgb(84, 48, 32);
constexpr Rgb kSkin = rgb(255, 214, 178);
constexpr Rgb kSkinShade = rgb(232, 170, 136);
constexpr Rgb kCheek = rgb(248, 146, 138);
constexpr Rgb kScarf = rgb(255, 204, 58);
constexpr Rgb kScarfShade = rgb(224, 148, 34);
constexpr Rgb kJacket = rgb(72, 150, 232);
constexpr Rgb kJacketDark = rgb(44, 100, 186);
constexpr Rgb kJacketLight = rgb(140, 200, 252);
constexpr Rgb kTrousers = rgb(70, 80, 142);
constexpr Rgb kTrousersDark = rgb(48, 54, 104);
constexpr Rgb kShoe = rgb(156, 80, 52);
constexpr Rgb kShoeDark = rgb(108, 52, 40);
constexpr Rgb kSole = rgb(236, 226, 210);

const std::vector<Ink> kInks{
    {'k', kInk},       {'r', kCap},      {'R', kCapDark},     {'w', kCapLight},    {'h', kHair},
    {'H', kHairDark},  {'s', kSkin},     {'S', kSkinShade},   {'p', kCheek},       {'y', kScarf},
    {'Y', kScarfShade}, {'b', kJacket},  {'B', kJacketDark},  {'l', kJacketLight}, {'W', colours::white},
};

using Grid = std::vector<std::string_view>;

// Heads, 18 x 16, the side and three-quarter views facing right.
const Grid kHeadSide{
    "......rrrrrr......",
    "....rrrrrrrwwr....",
    "...rrrrrrrrrwwr...",
    "..rrrrrrrrrrrrrr..",
    "..RRRRRRRRRRRRRRRR",
    ".hhhhhhsssssssRRR.",
    ".hhhhhssssssssss..",
    ".hhhhhsssssskWss..",
    ".hhhSSssssssksss..",
    "..hhsSsssssskssss.",
    "..hhSSssssssssss..",
    "...hhssssspppsss..",
    "....sssssssppsks..",
    ".....ssssssssss...",
    ".......sssssss....",
};
const Grid kHeadQuarter{
    ".....rrrrrrr......",
    "...rrrrrrrrwwr....",
    "..rrrrrrrrrrwwr...",
    ".rrrrrrrrrrrrrrr..",
    ".RRRRRRRRRRRRRRRR.",
    ".hRRRRRRRRRRRRRRRR",
    ".hhhhsssssssssshs.",
    ".hhhssskWsssskWs..",
    ".hSSssskssssskss..",
    ".hSsssssssssssss..",
    "..hssppsssssspps..",
    "...ssssssskkssss..",
    "....sssssssssss...",
    ".....sssssssss....",
    ".......sssss......",
};
const Grid kHeadFront{
    "......rrrrrr......",
    "....rrrrrwwrrr....",
    "...rrrrrrrwwrrr...",
    "..rrrrrrrrrrrrrr..",
    "..RRRRRRRRRRRRRR..",
    ".RRRRRRRRRRRRRRRR.",
    ".hhhsssssssssshhh.",
    ".hhsssssssssssshh.",
    ".hsssWkssssWksssh.",
    ".Sssskksssskkssss.",
    ".Ssppssssssssppss.",
    "..ssssskssksssss..",
    "...ssssskksssss...",
    "....ssssssssss....",
    "......ssssss......",
};

// Jackets, side 12 x 11 and front 10 x 11; row 0 is the scarf round the neck.
const Grid kBodySide{
    "...yyyyyy...",
    "..yyyyyyYy..",
    "..bbbbbbbb..",
    "..bbbbbbbbb.",
    "..Bbbbbbbbl.",
    "..Bbbbbbbbl.",
    "..Bbbbbbbbl.",
    "..Bbbbbbbbb.",
    "..Bbbbbbbbb.",
    "..BBBBBBBBB.",
    "..BbbbbbbbB.",
};
const Grid kBodyFront{
    ".yyyyyyyy.",
    "yyyyyYyyyy",
    "bbbbyYbbbb",
    "bbbbyYbbbl",
    "Bbbbyybbbl",
    "Bbbbyybbbl",
    "BbbbbBbbbl",
    "BbbbbBbbbb",
    "BbbbbBbbbb",
    "BBBBBBBBBB",
    "BbbbbBbbbB",
};

struct Pose {
    enum class View { side, quarter, front } view = View::side;
    int bob = 0;        // 0 or -1 (up)
    int near_foot = 0;  // foot offset from the hip, + is forward
    int far_foot = 0;
    int near_lift = 0;  // pixels the foot is off the ground
    int far_lift = 0;
    int near_hand = 0;  // hand offset from the shoulder, + is forward
    int far_hand = 0;
    int scarf = 0;      // which of the scarf-tail shapes flutters behind
};

constexpr int kHipY = 28, kSoleY = 38;
// A foot lands this far ahead of the hip and leaves as far behind it.
constexpr int kStride = 4;

Picture layer() { return Picture(kFrameWidth, kFrameHeight); }

// A leg seen from the side: trousers from the hip to the ankle, then a shoe
// pointing forward.
Picture side_leg(int hip_x, int foot, int lift, int bob, bool near) {
    Picture leg = layer();
    const Rgb cloth = near ? kTrousers : kTrousersDark;
    const Rgb shoe = near ? kShoe : kShoeDark;
    const int top = kHipY + bob, ankle = kSoleY - 3 - lift;
    for (int y = top; y <= ankle; ++y) {
        const double t = double(y - top) / std::max(1, ankle - top);
        const int cx = hip_x + int(std::lround(foot * t));
        leg.fill_rect(cx - 1, y, 4, 1, cloth);
        if (near) leg.set(cx - 1, y, kTrousersDark);
    }
    const int fx = hip_x + foot;
    leg.fill_rect(fx - 1, ankle + 1, 5, 2, shoe);
    leg.fill_rect(fx + 3, ankle + 2, 1, 1, shoe);
    leg.fill_rect(fx - 1, ankle + 3, 6, 1, kSole);
    leg.outline(kInk);
    return leg;
}

// An arm from the shoulder swinging to `hand`: a sleeve with a mitten.
Picture side_arm(int shoulder_x, int shoulder_y, int hand, bool near) {
    Picture arm = layer();
    const Rgb sleeve = near ? kJacket : kJacketDark;
    const int hand_y = shoulder_y + 7 - (std::abs(hand) > 2 ? 1 : 0);
    for (int y = shoulder_y; y <= hand_y; ++y) {
        const double t = double(y - shoulder_y) / (hand_y - shoulder_y);
        const int cx = shoulder_x + int(std::lround(hand * t));
        arm.fill_rect(cx - 1, y, 3, 1, sleeve);
        if (near) arm.set(cx + 1, y, kJacketLight);
    }
    const int hx = shoulder_x + hand;
    arm.fill_rect(hx - 1, hand_y + 1, 3, 2, near ? kSkin : kSkinShade);
    arm.outline(kInk);
    return arm;
}

Picture grid_layer(const Grid& g, int x, int y, bool mirrored = false) {
    Picture part = layer();
    part.stamp(g, kInks, x, y, mirrored);
    part.outline(kInk);
    return part;
}

// The scarf's loose end fluttering behind the neck.
Picture scarf_tail(int x, int y, int shape) {
    Picture tail = layer();
    static const std::array<Grid, 2> kShapes{{
        {"yyyy.", "YyyyY", "..YYy", "....y"},
        {"yyyy..", "YYyyy.", "...yYy", "......"},
    }};
    tail.stamp(kShapes[std::size_t(shape % 2)], kInks, x, y);
    tail.outline(kInk);
    return tail;
}

Picture side_frame(const Pose& p) {
    Picture frame = layer();
    const int bob = p.bob;
    const int hip_x = 13;
    frame.paste(side_arm(12, 19 + bob, p.far_hand, false), 0, 0);
    frame.paste(side_leg(hip_x, p.far_foot, p.far_lift, bob, false), 0, 0);
    frame.paste(side_leg(hip_x, p.near_foot, p.near_lift, bob, true), 0, 0);
    frame.paste(scarf_tail(4, 17 + bob, p.scarf), 0, 0);
    frame.paste(grid_layer(kBodySide, 7, 17 + bob), 0, 0);
    frame.paste(grid_layer(kHeadSide, 5, 2 + bob), 0, 0);
    frame.paste(side_arm(13, 19 + bob, p.near_hand, true), 0, 0);
    return frame;
}

// Facing the player (or three-quarters to the right): arms hanging, feet
// together. The front view is centred on the frame like the side view.
Picture front_frame(bool quarter) {
    Picture frame = layer();
    const int shift = quarter ? 1 : 0;
    for (int side = 0; side < 2; ++side) {
        Picture leg = layer();
        const int x = (side ? 15 : 9) + shift;
        const int toe = quarter ? x : (side ? x : x - 1);  // shoes splay a little, or point right
        leg.fill_rect(x, kHipY, 4, kSoleY - 2 - kHipY, side ? kTrousers : kTrousersDark);
        leg.fill_rect(toe, kSoleY - 2, 5, 2, kShoe);
        leg.fill_rect(toe, kSoleY, 5, 1, kSole);
        leg.outline(kInk);
        frame.paste(leg, 0, 0);
    }
    for (int side = 0; side < 2; ++side) {
        Picture arm = layer();
        // In three-quarter view the far arm hides half behind the body.
        const int x = side ? 19 + shift : 6 + shift + (quarter ? 1 : 0);
        arm.fill_rect(x, 19, 3, 7, side ? kJacket : kJacketDark);
        arm.fill_rect(x, 26, 3, 2, side ? kSkin : kSkinShade);
        arm.outline(kInk);
        frame.paste(arm, 0, 0);
    }
    frame.paste(grid_layer(kBodyFront, 9 + shift, 17), 0, 0);
    frame.paste(grid_layer(quarter ? kHeadQuarter : kHeadFront, 5 + shift, 2), 0, 0);
    return frame;
}

// The walking pose of frame f of n (n even): see the comment at the top.
Pose walk_pose(int f, int n) {
    const int half = n / 2;
    auto foot = [&](int k) {  // offset and lift of a foot whose stance starts at frame 0
        k %= n;
        if (k <= half) return std::pair{kStride - k * 2 * kStride / half, 0};
        const int s = k - half;
        static constexpr std::array<int, 6> kLift{0, 1, 2, 2, 1, 0};
        return std::pair{-kStride + s * 2 * kStride / half, kLift[std::size_t(s * 6 / half)]};
    };
    const auto [near_x, near_lift] = foot(f);
    const auto [far_x, far_lift] = foot(f + half);
    Pose p;
    // Highest while passing over the planted foot, lowest at the contacts.
    const int in_step = f % half;
    p.bob = in_step > half / 4 && in_step < half - half / 4 ? -1 : 0;
    p.near_foot = near_x;
    p.near_lift = near_lift;
    p.far_foot = far_x;
    p.far_lift = far_lift;
    p.near_hand = -near_x * 3 / 4;  // arms swing against the legs
    p.far_hand = -far_x * 3 / 4;
    p.scarf = (f / 2) % 2;
    return p;
}

Picture sheet(const std::vector<Picture>& frames) {
    Picture out(kFrameWidth * int(frames.size()), kFrameHeight);
    for (std::size_t i = 0; i < frames.size(); ++i) out.paste(frames[i], int(i) * kFrameWidth, 0);
    return out;
}

}  // namespace

WalkerSheets make_walker() {
    constexpr int kWalkFrames = 16;
    std::vector<Picture> right, left;
    for (int f = 0; f < kWalkFrames; ++f) {
        right.push_back(side_frame(walk_pose(f, kWalkFrames)));
        left.push_back(right.back().mirrored());
    }
    const Picture quarter = front_frame(true);
    std::vector<Picture> turn{right[0], quarter, front_frame(false), quarter.mirrored(), left[0]};
    std::vector<Picture> turn_back(turn.rbegin(), turn.rend());
    return WalkerSheets{sheet(right), sheet(turn), sheet(left), sheet(turn_back)};
}

}  // namespace zyn::assets
