// A gain that moves to a new value over a number of frames instead of
// jumping (a track's, a sound's or a group's volume, see fades.h): along a straight line (a fade), or along a quarter sine (the
// equal-power curves of a crossfade, on which two uncorrelated signals, one
// falling on cos and one rising on sin, keep the loudness of their sum:
// cos^2 + sin^2 = 1). The sine is carried from frame to frame by a rotation
// (sin and cos of the angle turned by one step each frame), so the mix pays
// no library call per frame; the sines are taken once, when a glide starts.
#pragma once

#include <cstdint>

namespace zyn {

class Glide {
  public:
    // Stands still at value.
    void hold(float value);
    // From the value now to target, in a straight line over frames frames
    // (at once when frames < 1).
    void linear(float target, int64_t frames);
    // amplitude x sin(angle), the angle moving evenly from from_angle to
    // to_angle (radians) over frames frames; ends at exactly
    // amplitude x sin(to_angle) rounded to float.
    void sine(float amplitude, double from_angle, double to_angle, int64_t frames);

    bool moving() const { return left_ > 0; }
    int64_t frames_left() const { return left_; }
    // The gain of the next frame.
    float value() const;
    // Where it ends up.
    float target() const { return target_; }

    // Lets frames frames go by unheard, exactly as that many next() would.
    void skip(int64_t frames) {
        for (; frames > 0 && left_ > 0; --frames) next();
    }

    // The gain of the next frame, then one frame on.
    float next() {
        if (left_ <= 0) return target_;
        float now;
        if (shape_ == Shape::line) {
            now = static_cast<float>(value_);
            value_ += step_;
        } else {
            now = static_cast<float>(amplitude_ * sin_);
            const double s = sin_ * cos_step_ + cos_ * sin_step_;
            cos_ = cos_ * cos_step_ - sin_ * sin_step_;
            sin_ = s;
        }
        if (--left_ == 0) value_ = target_;
        return now;
    }

  private:
    enum class Shape : uint8_t { line, sine };
    // First: a mix that asks only whether it moves reads the glide's first bytes.
    int64_t left_ = 0;
    float target_ = 1.0f;
    Shape shape_ = Shape::line;
    double value_ = 1.0;
    double step_ = 0.0;
    double amplitude_ = 0.0;
    double sin_ = 0.0, cos_ = 1.0;
    double sin_step_ = 0.0, cos_step_ = 1.0;
};

}  // namespace zyn
