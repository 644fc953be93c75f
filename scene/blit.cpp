#include "blit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zyn::scene {
namespace {

void copy_row(uint32_t *d, const uint32_t *s, int32_t n) { std::memcpy(d, s, sizeof(uint32_t) * n); }

void trans_row(uint32_t *d, const uint32_t *s, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        if (!is_mask(s[i])) d[i] = s[i] & 0xFFFFFF;
}

void alpha_row(uint32_t *d, const uint32_t *s, int32_t n) {
    for (int32_t i = 0; i < n; ++i) d[i] = blend_pixel(s[i], d[i], static_cast<int32_t>(s[i] >> 24));
}

void blend_row(uint32_t *d, const uint32_t *s, int32_t n, int32_t weight) {
    for (int32_t i = 0; i < n; ++i)
        if (!is_mask(s[i])) d[i] = blend_pixel(s[i], d[i], weight);
}

}  // namespace

void put(Image &target, double x, double y, const Image *image, PutMode mode, int32_t alpha) {
    if (image == nullptr) return;
    if (mode == PUT_BLEND && (alpha & 0xFF) == 0) return;
    const int32_t left = round_coordinate(x), top = round_coordinate(y);
    const int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{left} + image->width(), target.width());
    const int64_t y1 = std::min<int64_t>(int64_t{top} + image->height(), target.height());
    if (x0 >= x1 || y0 >= y1) return;
    const int32_t n = static_cast<int32_t>(x1 - x0);
    const int32_t sx = static_cast<int32_t>(x0 - left);
    for (int64_t ty = y0; ty < y1; ++ty) {
        uint32_t *d = target.row(static_cast<int32_t>(ty)) + x0;
        const uint32_t *s = image->row(static_cast<int32_t>(ty - top)) + sx;
        switch (mode) {
            case PUT_COPY: copy_row(d, s, n); break;
            case PUT_TRANS: trans_row(d, s, n); break;
            case PUT_ALPHA: alpha_row(d, s, n); break;
            case PUT_BLEND: blend_row(d, s, n, (alpha & 0xFF) + 1); break;
        }
    }
}

bool grab(const Image &source, double x, double y, int32_t w, int32_t h, Image *target) {
    if (target == nullptr || w < 1 || h < 1) return false;
    const int64_t left = round_coordinate(x), top = round_coordinate(y);
    if (left < 0 || top < 0 || left + w > source.width() || top + h > source.height()) return false;
    if (target == &source) return false;
    if (target->width() != w || target->height() != h) target->reshape(w, h);
    for (int32_t row = 0; row < h; ++row)
        copy_row(target->row(row), source.row(static_cast<int32_t>(top) + row) + left, w);
    return true;
}

void draw_line(Image &target, double x1, double y1, double x2, double y2, uint32_t colour) {
    int64_t ax = round_coordinate(x1), ay = round_coordinate(y1);
    const int64_t bx = round_coordinate(x2), by = round_coordinate(y2);
    const int64_t w = target.width(), h = target.height();
    // Bresenham over the whole line; points off the target are skipped, and
    // a line that cannot touch the target is left at once.
    if ((ax < 0 && bx < 0) || (ay < 0 && by < 0) || (ax >= w && bx >= w) || (ay >= h && by >= h)) return;
    const int64_t dx = std::llabs(bx - ax), dy = -std::llabs(by - ay);
    const int64_t step_x = ax < bx ? 1 : -1, step_y = ay < by ? 1 : -1;
    int64_t err = dx + dy;
    bool entered = false;
    for (;;) {
        if (ax >= 0 && ay >= 0 && ax < w && ay < h) {
            target.row(static_cast<int32_t>(ay))[ax] = colour;
            entered = true;
        } else if (entered) {
            break;  // a straight line that has left the target never comes back
        }
        if (ax == bx && ay == by) break;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) { err += dy; ax += step_x; }
        if (e2 <= dx) { err += dx; ay += step_y; }
    }
}

}  // namespace zyn::scene
