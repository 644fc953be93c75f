#include "walker.h"

#include "keys.h"

namespace zyn::scene {

WalkerDrawing Walker::turn_step(int32_t sheet, int32_t frames) {
    if (turning == 0) {
        frame = 0;
        turning = 1;
    }
    const WalkerDrawing drawing{sheet, frame, x, y, StepSound::none};
    ++frame;
    // A turn sheet without frames (it failed to load) ends the turn at once
    // rather than leaving the walker turning for ever.
    if (frame >= frames) {
        prev_state = STATE_NONE;
        turning = 0;
    }
    return drawing;
}

WalkerDrawing Walker::stand(int32_t walk_sheet, int32_t facing) {
    turning = 0;
    prev_state = facing;
    return WalkerDrawing{walk_sheet, 0, x, y, StepSound::none};
}

WalkerDrawing Walker::walk(int32_t direction) {
    const bool right = direction == WALK_RIGHT;
    const int32_t frames = right ? sheets_.n_walk_right : sheets_.n_walk_left;
    turning = 0;
    if (prev_state != direction) frame = 0;
    // The sound follows the frame about to be drawn, before the move.
    WalkerDrawing drawing{right ? sheets_.walk_right : sheets_.walk_left, 0, 0, y, StepSound::none};
    if (frame == 0) {
        drawing.sound = right ? StepSound::step_left : StepSound::step_right;
    } else if (frame == frames / 2) {
        drawing.sound = right ? StepSound::step_right : StepSound::step_left;
    }
    if (right) {
        if (x < kWalkerRightmost) ++x;
    } else {
        if (x > 0) --x;
    }
    drawing.x = x;
    drawing.frame = frame;
    // A sheet without frames keeps the counter at 0 instead of dividing by zero.
    frame = frames > 0 ? (frame + 1) % frames : 0;
    prev_state = direction;
    if (right && x + 29 >= 800) state = STAND_LEFT;
    if (!right && x < 1) state = STAND_RIGHT;
    return drawing;
}

WalkerDrawing Walker::step() {
    switch (state) {
        case STAND_RIGHT:
            if (prev_state & 1) return turn_step(sheets_.turn_right, sheets_.n_turn_right);
            return stand(sheets_.walk_right, STAND_RIGHT);
        case STAND_LEFT:
            if (prev_state & 2) return turn_step(sheets_.turn_left, sheets_.n_turn_left);
            return stand(sheets_.walk_left, STAND_LEFT);
        case WALK_RIGHT:
            if (prev_state & 1) return turn_step(sheets_.turn_right, sheets_.n_turn_right);
            return walk(WALK_RIGHT);
        case WALK_LEFT:
            if (prev_state & 2) return turn_step(sheets_.turn_left, sheets_.n_turn_left);
            return walk(WALK_LEFT);
        default:
            return WalkerDrawing{-1, 0, x, y, StepSound::none};
    }
}

void Walker::on_key(int32_t key) {
    if (key == KEY_RIGHT) {
        state = WALK_RIGHT;
    } else if (key == KEY_LEFT) {
        state = WALK_LEFT;
    }
}

}  // namespace zyn::scene
