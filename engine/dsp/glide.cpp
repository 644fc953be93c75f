#include "glide.h"

#include <cmath>

namespace zyn {

void Glide::hold(float value) {
    shape_ = Shape::line;
    value_ = value;
    target_ = value;
    step_ = 0.0;
    left_ = 0;
}

float Glide::value() const {
    if (left_ <= 0) return target_;
    return static_cast<float>(shape_ == Shape::line ? value_ : amplitude_ * sin_);
}

void Glide::linear(float target, int64_t frames) {
    const double from = value();
    if (frames < 1) {
        hold(target);
        return;
    }
    shape_ = Shape::line;
    value_ = from;
    target_ = target;
    step_ = (static_cast<double>(target) - from) / static_cast<double>(frames);
    left_ = frames;
}

void Glide::sine(float amplitude, double from_angle, double to_angle, int64_t frames) {
    const auto end = static_cast<float>(amplitude * std::sin(to_angle));
    if (frames < 1) {
        hold(end);
        return;
    }
    shape_ = Shape::sine;
    amplitude_ = amplitude;
    sin_ = std::sin(from_angle);
    cos_ = std::cos(from_angle);
    const double step = (to_angle - from_angle) / static_cast<double>(frames);
    sin_step_ = std::sin(step);
    cos_step_ = std::cos(step);
    target_ = end;
    left_ = frames;
}

}  // namespace zyn
