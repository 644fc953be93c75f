#include "preview.h"

#include <cstdint>

#include "art.h"
#include "noise.h"

namespace zyn::assets {
namespace {

constexpr int kScreenWidth = 800, kScreenHeight = 480;

void put_trans(Picture& screen, const Picture& image, int x, int y, int src_x = 0, int src_w = -1) {
    if (src_w < 0) src_w = image.width();
    for (int j = 0; j < image.height(); ++j)
        for (int i = 0; i < src_w; ++i) {
            const Rgb c = image.at(src_x + i, j);
            if (c != kClear) screen.set(x + i, y + j, c);
        }
}

// Brightness as opacity, then d + floor((s - d) * a / 256) per channel.
void put_bubble(Picture& screen, const Picture& bubble, int x, int y) {
    for (int j = 0; j < bubble.height(); ++j)
        for (int i = 0; i < bubble.width(); ++i) {
            if (!screen.inside(x + i, y + j)) continue;
            const Rgb s = bubble.at(i, j);
            const int sum = red(s) + green(s) + blue(s);
            const int a = sum < 24 ? 0 : (sum + 1) / 3;
            const Rgb d = screen.at(x + i, y + j);
            auto blend = [a](int sc, int dc) {
                const int diff = (sc - dc) * a;
                return dc + (diff >= 0 ? diff / 256 : -((-diff + 255) / 256));
            };
            screen.set(x + i, y + j,
                       rgb(blend(red(s), red(d)), blend(green(s), green(d)), blend(blue(s), blue(d))));
        }
}

}  // namespace

Picture compose_preview(const AssetSet& assets) {
    Picture screen(kScreenWidth, kScreenHeight, 0x000000);
    const Picture& sky = assets.picture("sky_264.bmp");
    for (int y = 0; y < sky.height() && y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x) screen.set(x, y, sky.at(0, y));
    for (int y = 240; y <= 480; ++y) {
        const std::int32_t g = (y - 480) / 2;
        const std::uint32_t colour =
            0xFF000000u | (std::uint32_t(g) << 16) | (std::uint32_t(g / 2) << 8) | std::uint32_t(g);
        for (int x = 0; x < kScreenWidth; ++x) screen.set(x, y, colour & 0xFFFFFF);
    }
    put_trans(screen, assets.picture("p_home.bmp"), 40, 200);
    put_trans(screen, assets.picture("t_home.bmp"), 160, 110);
    put_trans(screen, assets.picture("s_home.bmp"), 300, 110);
    put_trans(screen, assets.picture("kk_sign.bmp"), 460, 20);
    put_trans(screen, assets.picture("kk.bmp"), 560, 115);

    // Every frame of every sheet, in rows under one another, so the whole
    // animation can be read at a glance; the standing figure where it starts.
    const char* sheets[] = {"s_walk_right.bmp", "s_turn_left.bmp", "s_walk_left.bmp", "s_turn_right.bmp"};
    put_trans(screen, assets.picture("s_walk_right.bmp"), 360, 240, 0, kFrameWidth);
    for (int s = 0; s < 4; ++s) {
        const Picture& sheet = assets.picture(sheets[s]);
        for (int f = 0; f * kFrameWidth < sheet.width(); ++f)
            put_trans(screen, sheet, 20 + f * 32, 290 + s * 46, f * kFrameWidth,
                      kFrameWidth);
    }

    // Bubbles where they rise, and one of each size over every kind of
    // background (deep sky, pale sky, a roof, the ground).
    Noise noise(7);
    const char* bubbles[] = {"bubble_8.bmp", "bubble_16.bmp", "bubble_24.bmp"};
    for (int i = 0; i < 30; ++i) {
        const Picture& b = assets.picture(bubbles[i % 3]);
        const int x = int(noise.unit() * (799 - b.width()));
        const int y = int(noise.unit() * 440);
        put_bubble(screen, b, x, y);
    }
    const int spots[][2] = {{600, 20}, {620, 190}, {200, 150}, {600, 420}};
    for (const auto& spot : spots)
        for (int k = 0; k < 3; ++k) put_bubble(screen, assets.picture(bubbles[k]), spot[0] + k * 30, spot[1]);
    return screen;
}

}  // namespace zyn::assets
