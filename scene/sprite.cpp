#include "sprite.h"

#include "beep.h"
#include "image_loader.h"
#include "program_exit.h"
#include "screen.h"

namespace zyn::scene {
namespace {

// Shared by every sprite: the restore step puts a save buffer back where the
// latest draw of any sprite was.
Point g_last_drawn;

}  // namespace

Point last_drawn() { return g_last_drawn; }
void reset_last_drawn() { g_last_drawn = Point{}; }

int32_t Sprite::add_sheet(const std::string &file_name, int32_t fw, int32_t fh) {
    ImagePtr source;
    int32_t w = 0, h = 0;
    if (!open_picture(file_name, &source, &w, &h)) return -1;
    sheets_.emplace_back();
    if (fw < 1 || fh < 1) {
        fw = w;
        fh = h;
    }
    // A header with a negative or zero size leaves no frame to cut (and no source image).
    const int32_t cols = fw >= 1 && w >= 1 ? w / fw : 0;
    const int32_t rows = fh >= 1 && h >= 1 ? h / fh : 0;
    const int64_t n = int64_t{cols} * rows;
    if (n < 1 || !source) {
        report("error: wrong number of frames  !");
        end_program(1);
    }
    Sheet &sheet = sheets_.back();
    for (int32_t j = 0; j < rows; ++j) {
        for (int32_t i = 0; i < cols; ++i) {
            Frame frame{create_image(fw, fh)};
            if (frame.image) grab(*source, double(i) * fw, double(j) * fh, fw, fh, frame.image.get());
            sheet.frames.push_back(std::move(frame));
            ++sheet.frame_count;
        }
    }
    return sheet_count() - 1;
}

int32_t Sprite::frame_count(int32_t sheet) const {
    if (sheet < 0 || sheet >= sheet_count()) return 0;
    return sheets_[static_cast<size_t>(sheet)].frame_count;
}

void Sprite::draw(int32_t sheet, int32_t frame, int32_t x, int32_t y, int32_t mode) {
    if (sheets_.empty() || sheet < 0 || sheet >= sheet_count() || !screen_is_open()) {
        beep();
        return;
    }
    Image &screen = screen_image();
    lock_screen();
    if (!save_buffer_) {
        save_buffer_ = make_image(kSaveWidth, kSaveHeight);
        if (save_buffer_) grab(screen, x, y, kSaveWidth, kSaveHeight, save_buffer_.get());
    } else {
        put(screen, g_last_drawn.x, g_last_drawn.y, save_buffer_.get(), PUT_COPY);
    }
    // Off the screen's edge the grab keeps what the buffer held.
    if (save_buffer_) grab(screen, x, y, kSaveWidth, kSaveHeight, save_buffer_.get());
    draw_frame(sheets_[static_cast<size_t>(sheet)], screen, frame, x, y, mode);
    g_last_drawn = Point{x, y};
    unlock_screen();
}

void draw_frame(const Sheet &sheet, Image &screen, int32_t f, int32_t x, int32_t y, int32_t mode) {
    if (sheet.frame_count < 1 || f < 0 || f >= sheet.frame_count) {
        beep();
        return;
    }
    const Image *image = sheet.frames[static_cast<size_t>(f)].image.get();
    if (mode == DRAW_COPY) {
        put(screen, x, y, image, PUT_COPY);
    } else if (mode == DRAW_TRANS) {
        put(screen, x, y, image, PUT_TRANS);
    } else if (mode & DRAW_BLEND) {
        put(screen, x, y, image, PUT_BLEND, mode & 0xFF);
    }
}

}  // namespace zyn::scene
