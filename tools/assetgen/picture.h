// A small RGB canvas with the drawing operations the scene's art is made of.
// Colours are 0xRRGGBB; kClear (magenta) is the transparent colour that the
// scene skips when it draws a prop or the walker.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace zyn::assets {

using Rgb = std::uint32_t;

inline constexpr Rgb kClear = 0xFF00FF;

constexpr Rgb rgb(int r, int g, int b) {
    return (Rgb(r & 255) << 16) | (Rgb(g & 255) << 8) | Rgb(b & 255);
}
constexpr int red(Rgb c) { return int(c >> 16) & 255; }
constexpr int green(Rgb c) { return int(c >> 8) & 255; }
constexpr int blue(Rgb c) { return int(c) & 255; }

// Linear mix of two colours, t = 0 gives a, t = 1 gives b.
Rgb mix(Rgb a, Rgb b, double t);

// One entry of a character grid's palette: the character and its colour.
struct Ink {
    char key;
    Rgb colour;
};

class Picture {
public:
    Picture(int width, int height, Rgb fill = kClear);

    int width() const { return width_; }
    int height() const { return height_; }
    Rgb at(int x, int y) const { return pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)]; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    bool opaque(int x, int y) const { return inside(x, y) && at(x, y) != kClear; }

    void set(int x, int y, Rgb c);
    void fill_rect(int x, int y, int w, int h, Rgb c);
    void frame_rect(int x, int y, int w, int h, Rgb c);
    void line(int x0, int y0, int x1, int y1, Rgb c);
    // Pixels whose centre lies within radius r of (cx, cy).
    void fill_disc(double cx, double cy, double r, Rgb c);
    // Even-odd scanline fill over pixel centres.
    void fill_polygon(const std::vector<std::pair<double, double>>& points, Rgb c);
    // Rows of characters; a character missing from the palette (such as '.')
    // leaves the pixel as it is.
    void stamp(const std::vector<std::string_view>& rows, const std::vector<Ink>& palette, int x, int y,
               bool mirrored = false);
    // Copies every opaque pixel of src with its top-left corner at (x, y).
    void paste(const Picture& src, int x, int y);
    // Recolours only pixels already painted in `where` (for shading within a shape).
    void recolour_rect(int x, int y, int w, int h, Rgb where, Rgb c);
    // Paints every clear pixel that touches a painted one (4-neighbourhood, or
    // 8 with diagonals) with c: the dark contour that picture-book art has.
    void outline(Rgb c, bool diagonals = false);

    Picture mirrored() const;

private:
    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

}  // namespace zyn::assets
