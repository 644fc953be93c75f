// Fifty translucent bubbles that rise over the scene. Each keeps the screen
// area under it and puts it back before it moves, so the background is never
// redrawn. A bubble's alpha comes from its image's brightness.
#pragma once

#include "image.h"

#include <array>
#include <functional>
#include <string>

namespace zyn::scene {

struct Bubble {
    float prev_x = 0, prev_y = 0;  // where it was last drawn (its save_buffer's area)
    float x = 0, y = 0;            // where it is drawn next
    float rise_speed = 0;          // pixels per frame, [0.5, 2.5)
    int32_t size = 0;              // the image's width; the saved area is size x size
    int32_t image_index = 0;
    ImagePtr save_buffer;          // null for a bubble whose image failed to load
};

// Each pixel's alpha becomes its brightness: 0 when red + green + blue < 24,
// else the sum / 3 rounded. Colours are kept.
void alpha_from_brightness(Image &image);

class BubbleField {
  public:
    static constexpr int kBubbles = 50;

    // name1 is required; an empty name2 or name3 fills no slot. A screen
    // showing the background must be open: the areas under the bubbles are saved.
    // The numbers come from random_unit unless another source is given.
    BubbleField(const std::string &name1, const std::string &name2, const std::string &name3,
                std::function<double()> random = {});

    // Once per frame: one screen batch.
    void update();

    int32_t image_count() const { return image_count_; }
    const Image *image(int32_t slot) const { return images_[static_cast<size_t>(slot)].get(); }
    Bubble &bubble(int i) { return bubbles_[static_cast<size_t>(i)]; }
    const Bubble &bubble(int i) const { return bubbles_[static_cast<size_t>(i)]; }

  private:
    void place_at_bottom(Bubble &b);

    std::function<double()> random_;
    int32_t image_count_ = 0;
    std::array<ImagePtr, 3> images_;
    std::array<Bubble, kBubbles> bubbles_;
};

}  // namespace zyn::scene
