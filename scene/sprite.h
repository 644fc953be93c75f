// Sprites: figures made of sheets of frames cut from BMP files, drawn over a
// saved background so they can move without the background being redrawn.
#pragma once

#include "blit.h"
#include "image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zyn::scene {

constexpr int32_t DRAW_COPY = -1;
constexpr int32_t DRAW_TRANS = 0;
constexpr int32_t DRAW_BLEND = 0x100;  // + alpha 0..255

// Every draw saves this much of the screen, the walking figure's frame size.
constexpr int32_t kSaveWidth = 28;
constexpr int32_t kSaveHeight = 40;

struct Frame {
    ImagePtr image;
};

struct Sheet {
    int32_t frame_count = 0;
    std::vector<Frame> frames;  // in cutting order: row by row, left to right
};

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

class Sprite {
  public:
    // Cuts the file into fw x fh frames (the whole image when fw or fh < 1).
    // The index of the new sheet, or -1 after reporting a missing screen or
    // file. A file that yields no frame is fatal: reported, exit code 1.
    int32_t add_sheet(const std::string &file_name, int32_t fw, int32_t fh);
    int32_t frame_count(int32_t sheet) const;
    int32_t sheet_count() const { return static_cast<int32_t>(sheets_.size()); }

    // Puts back the area saved by the latest draw of any sprite, saves the
    // 28 x 40 area at (x, y), then draws the frame. One screen batch.
    void draw(int32_t sheet, int32_t frame, int32_t x, int32_t y, int32_t mode);

    const Image *save_buffer() const { return save_buffer_.get(); }

  private:
    ImagePtr save_buffer_;
    std::vector<Sheet> sheets_;  // a failed cut leaves an empty slot behind
};

// Draws frame f of the sheet; beeps (and draws nothing) when it has no such frame.
void draw_frame(const Sheet &sheet, Image &screen, int32_t f, int32_t x, int32_t y, int32_t mode);

// Where the latest draw of any sprite happened; (0, 0) at start.
Point last_drawn();
void reset_last_drawn();  // tests only

}  // namespace zyn::scene
