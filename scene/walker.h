// The walking figure's state machine: what it is asked to do (state), the
// branch that last ran to its end (prev_state), turns and the animation
// counter. It decides what to draw and which step sound to play; the scene
// does the drawing and the playing.
#pragma once

#include <cstdint>

namespace zyn::scene {

// Bit 0 facing left, bit 1 facing right, bit 2 walking.
enum WalkerState : int32_t {
    STATE_NONE = 0,
    STAND_LEFT = 1,
    STAND_RIGHT = 2,
    WALK_LEFT = 5,
    WALK_RIGHT = 6,
};

enum class StepSound { none, step_left, step_right };

// Sheet indices (from add_sheet, -1 when missing) and their frame counts.
struct WalkerSheets {
    int32_t walk_right = -1, turn_left = -1, walk_left = -1, turn_right = -1;
    int32_t n_walk_right = 0, n_turn_left = 0, n_walk_left = 0, n_turn_right = 0;
};

// One frame's drawing: frame `frame` of sheet `sheet` at (x, y).
struct WalkerDrawing {
    int32_t sheet = -1;
    int32_t frame = 0;
    int32_t x = 0, y = 0;
    StepSound sound = StepSound::none;
};

// The walker stays within x = 0 .. kWalkerRightmost so that its 28 x 40
// background can always be saved, even with an arrow key held at the edge.
constexpr int32_t kWalkerRightmost = 771;

class Walker {
  public:
    explicit Walker(const WalkerSheets &sheets) : sheets_(sheets) {}

    // Runs the branch of the current state for one frame.
    WalkerDrawing step();
    // The frame's key: an arrow asks for a walk; other keys change nothing.
    void on_key(int32_t key);

    int32_t state = STAND_RIGHT;
    int32_t prev_state = STAND_RIGHT;
    int32_t turning = 0;
    int32_t frame = 0;
    int32_t x = 360;
    int32_t y = 240;

  private:
    WalkerDrawing turn_step(int32_t sheet, int32_t frames);
    WalkerDrawing stand(int32_t walk_sheet, int32_t facing);
    WalkerDrawing walk(int32_t direction);

    WalkerSheets sheets_;
};

}  // namespace zyn::scene
