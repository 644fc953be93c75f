#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zyn::assets {

Rgb mix(Rgb a, Rgb b, double t) {
    auto channel = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return rgb(channel(red(a), red(b)), channel(green(a), green(b)), channel(blue(a), blue(b)));
}

Picture::Picture(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(std::size_t(width) * std::size_t(height), fill) {}

void Picture::set(int x, int y, Rgb c) {
    if (inside(x, y)) pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)] = c;
}

void Picture::fill_rect(int x, int y, int w, int h, Rgb c) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) set(i, j, c);
}

void Picture::frame_rect(int x, int y, int w, int h, Rgb c) {
    for (int i = x; i < x + w; ++i) {
        set(i, y, c);
        set(i, y + h - 1, c);
    }
    for (int j = y; j < y + h; ++j) {
        set(x, j, c);
        set(x + w - 1, j, c);
    }
}

void Picture::line(int x0, int y0, int x1, int y1, Rgb c) {
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        set(x0, y0, c);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void Picture::fill_disc(double cx, double cy, double r, Rgb c) {
    for (int y = int(std::floor(cy - r)); y <= int(std::ceil(cy + r)); ++y)
        for (int x = int(std::floor(cx - r)); x <= int(std::ceil(cx + r)); ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            if (dx * dx + dy * dy <= r * r) set(x, y, c);
        }
}

void Picture::fill_polygon(const std::vector<std::pair<double, double>>& points, Rgb c) {
    if (points.size() < 3) return;
    double top = points[0].second, bottom = top;
    for (const auto& p : points) {
        top = std::min(top, p.second);
        bottom = std::max(bottom, p.second);
    }
    for (int y = std::max(0, int(std::floor(top))); y <= std::min(height_ - 1, int(std::ceil(bottom))); ++y) {
        const double sy = y + 0.5;
        std::vector<double> crossings;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const auto& a = points[i];
            const auto& b = points[(i + 1) % points.size()];
            if ((a.second <= sy) != (b.second <= sy))
                crossings.push_back(a.first + (sy - a.second) * (b.first - a.first) / (b.second - a.second));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2)
            for (int x = int(std::ceil(crossings[i] - 0.5)); x + 0.5 <= crossings[i + 1]; ++x) set(x, y, c);
    }
}

void Picture::stamp(const std::vector<std::string_view>& rows, const std::vector<Ink>& palette, int x, int y,
                    bool mirrored) {
    for (std::size_t j = 0; j < rows.size(); ++j) {
        const auto& row = rows[j];
        for (std::size_t i = 0; i < row.size(); ++i) {
            for (const auto& ink : palette)
                if (ink.key == row[i]) {
                    const int px = mirrored ? x + int(row.size()) - 1 - int(i) : x + int(i);
                    set(px, y + int(j), ink.colour);
                }
        }
    }
}

void Picture::paste(const Picture& src, int x, int y) {
    for (int j = 0; j < src.height(); ++j)
        for (int i = 0; i < src.width(); ++i)
            if (src.at(i, j) != kClear) set(x + i, y + j, src.at(i, j));
}

void Picture::recolour_rect(int x, int y, int w, int h, Rgb where, Rgb c) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            if (inside(i, j) && at(i, j) == where) set(i, j, c);
}

void Picture::outline(Rgb c, bool diagonals) {
    std::vector<std::size_t> edge;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            if (at(x, y) != kClear) continue;
            bool touches = opaque(x - 1, y) || opaque(x + 1, y) || opaque(x, y - 1) || opaque(x, y + 1);
            if (diagonals)
                touches = touches || opaque(x - 1, y - 1) || opaque(x + 1, y - 1) || opaque(x - 1, y + 1) ||
                          opaque(x + 1, y + 1);
            if (touches) edge.push_back(std::size_t(y) * std::size_t(width_) + std::size_t(x));
        }
    for (auto i : edge) pixels_[i] = c;
}

Picture Picture::mirrored() const {
    Picture out(width_, height_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) out.set(width_ - 1 - x, y, at(x, y));
    return out;
}

}  // namespace zyn::assets
