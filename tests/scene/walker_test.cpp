// The walker's state table: walks, turns, step sounds and the screen edges.
#include "keys.h"
#include "walker.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zyn::scene;

namespace {

constexpr int32_t kWalkRight = 0, kTurnLeft = 1, kWalkLeft = 2, kTurnRight = 3;

WalkerSheets sheets(int32_t n_walk = 8, int32_t n_turn = 3) {
    WalkerSheets s;
    s.walk_right = kWalkRight, s.turn_left = kTurnLeft, s.walk_left = kWalkLeft, s.turn_right = kTurnRight;
    s.n_walk_right = s.n_walk_left = n_walk;
    s.n_turn_left = s.n_turn_right = n_turn;
    return s;
}

// One frame as the scene runs it: the branch, then the frame's key.
WalkerDrawing frame(Walker &w, int32_t key = 0) {
    WalkerDrawing d = w.step();
    w.on_key(key);
    return d;
}

}  // namespace

TEST(Walker, StandsFacingRightAtStart) {
    Walker w(sheets());
    for (int i = 0; i < 3; ++i) {
        const WalkerDrawing d = frame(w);
        EXPECT_EQ(d.sheet, kWalkRight);
        EXPECT_EQ(d.frame, 0);
        EXPECT_EQ(d.x, 360);
        EXPECT_EQ(d.y, 240);
        EXPECT_EQ(d.sound, StepSound::none);
    }
}

// The walk to the right edge, the turn and the step sounds of every cycle
// are checked on the real program's trace (scene_run_test.cpp).

TEST(Walker, WalkingLeftStartsWithTheRightFootThenTurnsBack) {
    Walker w(sheets(6, 4));
    w.state = w.prev_state = WALK_LEFT;
    for (int i = 0; i < 6; ++i) {
        const WalkerDrawing d = frame(w);
        EXPECT_EQ(d.sound, i == 0 ? StepSound::step_right : i == 3 ? StepSound::step_left : StepSound::none) << i;
    }
    frame(w, KEY_RIGHT);
    EXPECT_EQ(frame(w).sheet, kTurnRight);
}

TEST(Walker, WalkingLeftToZeroThenTurningRight) {
    Walker w(sheets(8, 2));
    w.state = WALK_LEFT;
    w.prev_state = WALK_LEFT;  // already walking left
    w.x = 3;
    for (int i = 0; i < 3; ++i) frame(w);
    EXPECT_EQ(w.x, 0);
    EXPECT_EQ(w.state, STAND_RIGHT);
    EXPECT_EQ(frame(w).sheet, kTurnRight);
    EXPECT_EQ(frame(w).sheet, kTurnRight);
    const WalkerDrawing d = frame(w);
    EXPECT_EQ(d.sheet, kWalkRight);
    EXPECT_EQ(d.x, 0);
}

// A held arrow keeps asking for the walk at the edge; the walker stays
// within 0..771 so that its background can always be saved.
TEST(Walker, HeldArrowsNeverPassTheEdges) {
    Walker w(sheets(8, 3));
    w.state = w.prev_state = WALK_RIGHT;
    w.x = 765;
    for (int i = 0; i < 100; ++i) {
        const WalkerDrawing d = frame(w, KEY_RIGHT);
        ASSERT_LE(d.x, kWalkerRightmost);
    }
    EXPECT_EQ(w.x, kWalkerRightmost);
    w.state = w.prev_state = WALK_LEFT;
    w.x = 4;
    for (int i = 0; i < 100; ++i) {
        const WalkerDrawing d = frame(w, KEY_LEFT);
        ASSERT_GE(d.x, 0);
    }
    EXPECT_EQ(w.x, 0);
}

TEST(Walker, SameArrowDuringATurnResumesTheWalk) {
    Walker w(sheets(4, 6));
    w.state = w.prev_state = WALK_RIGHT;
    w.x = 500;
    frame(w, KEY_LEFT);  // walk-right frame 0, counter now 1
    frame(w);            // turn-left frame 0
    frame(w);            // frame 1
    frame(w, KEY_RIGHT); // frame 2, then the right arrow again
    // prev_state still names the walk, so the counter the turn reached (3)
    // is kept, then wraps.
    WalkerDrawing d = frame(w);
    EXPECT_EQ(d.sheet, kWalkRight);
    EXPECT_EQ(d.frame, 3);
    d = frame(w);
    EXPECT_EQ(d.frame, 0);
}

TEST(Walker, SheetsWithoutFramesDoNotStopIt) {
    WalkerSheets s = sheets(0, 0);
    s.walk_right = s.turn_left = -1;
    Walker w(s);
    frame(w, KEY_RIGHT);
    for (int i = 0; i < 5; ++i) {
        const WalkerDrawing d = frame(w);
        EXPECT_EQ(d.frame, 0);  // the counter stays 0 instead of a division by zero
        EXPECT_EQ(d.sheet, -1);
    }
    // A turn sheet without frames ends its turn at once.
    frame(w, KEY_LEFT);
    EXPECT_EQ(frame(w).sheet, -1);
    EXPECT_EQ(w.prev_state, STATE_NONE);
    EXPECT_EQ(frame(w).sheet, kWalkLeft);
}
