#include "bubble_field.h"

#include "blit.h"
#include "image_loader.h"
#include "random_unit.h"
#include "screen.h"

#include <cmath>

namespace zyn::scene {

void alpha_from_brightness(Image &image) {
    for (int32_t y = 0; y < image.height(); ++y) {
        uint32_t *row = image.row(y);
        for (int32_t x = 0; x < image.width(); ++x) {
            const uint32_t p = row[x];
            const uint32_t sum = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
            const uint32_t alpha = sum < 24 ? 0 : (sum + 1) / 3;  // sum / 3 to nearest: thirds never tie
            row[x] = alpha << 24 | (p & 0xFFFFFF);
        }
    }
}

BubbleField::BubbleField(const std::string &name1, const std::string &name2, const std::string &name3,
                         std::function<double()> random)
    : random_(random ? std::move(random) : std::function<double()>(random_unit)) {
    images_[0] = load_image(name1);
    image_count_ = 1;
    for (const std::string *name : {&name2, &name3}) {
        if (name->empty()) continue;
        images_[static_cast<size_t>(image_count_)] = load_image(*name);
        ++image_count_;
    }
    for (ImagePtr &image : images_)
        if (image) alpha_from_brightness(*image);

    Image *screen = screen_is_open() ? &screen_image() : nullptr;
    for (Bubble &b : bubbles_) {
        // nearbyint rounds halves to even under the default rounding mode.
        int32_t index = static_cast<int32_t>(std::nearbyint(random_() * image_count_));
        b.image_index = std::min(index, image_count_ - 1);
        const Image *picture = images_[static_cast<size_t>(b.image_index)].get();
        // A slot whose load failed counts, but its bubbles have no size and are never drawn.
        b.size = picture != nullptr ? picture->width() : 0;
        b.x = static_cast<float>(random_() * (799 - b.size));
        b.y = static_cast<float>(240 - b.size);
        b.rise_speed = static_cast<float>(random_() * 2 + 0.5);
        if (picture != nullptr) {
            b.save_buffer = create_image(b.size, b.size);
            if (b.save_buffer && screen != nullptr) grab(*screen, b.x, b.y, b.size, b.size, b.save_buffer.get());
        }
        b.prev_x = b.x;
        b.prev_y = b.y;
    }
}

void BubbleField::place_at_bottom(Bubble &b) {
    b.y = static_cast<float>(479 - b.size);
    b.x = static_cast<float>(random_() * (799 - b.size));
    b.rise_speed = static_cast<float>(random_() * 2 + 0.5);
}

void BubbleField::update() {
    if (!screen_is_open()) return;
    Image &screen = screen_image();
    lock_screen();
    // Erase in reverse so that overlapping bubbles restore the true background.
    for (int i = kBubbles - 1; i >= 0; --i) {
        const Bubble &b = bubbles_[static_cast<size_t>(i)];
        put(screen, b.prev_x, b.prev_y, b.save_buffer.get(), PUT_COPY);
    }
    for (Bubble &b : bubbles_) {
        if (b.save_buffer) {
            grab(screen, b.x, b.y, b.size, b.size, b.save_buffer.get());
            put(screen, b.x, b.y, images_[static_cast<size_t>(b.image_index)].get(), PUT_ALPHA);
        }
        b.prev_x = b.x;
        b.prev_y = b.y;
        // Drift: the first number is added before the second is drawn.
        const double drift = static_cast<double>(b.x) + random_();
        b.x = static_cast<float>(drift - random_());
        if (b.x < 1) {
            b.x = 1;
        } else if (b.x + b.size >= 800) {
            b.x = static_cast<float>(799 - b.size);
        }
        b.y -= b.rise_speed;
        if (b.y < 0) place_at_bottom(b);
    }
    unlock_screen();
}

}  // namespace zyn::scene
