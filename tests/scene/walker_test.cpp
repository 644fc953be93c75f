// The walker's state table: walks, turns, step sounds and the screen edges.
#include "screen.h"
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

TEST(Walker, WalksRightToTheEdgeThenTurnsAndStandsFacingLeft) {
    const int32_t n = 8;
    Walker w(sheets(n, 3));
    frame(w, KEY_RIGHT);
    std::vector<int> left_steps, right_steps;
    for (int i = 0; i < 411; ++i) {
        const WalkerDrawing d = frame(w);
        ASSERT_EQ(d.sheet, kWalkRight);
        ASSERT_EQ(d.x, 361 + i);
        ASSERT_EQ(d.frame, i % n);
        if (d.sound == StepSound::step_left) left_steps.push_back(i);
        if (d.sound == StepSound::step_right) right_steps.push_back(i);
    }
    EXPECT_EQ(w.x, 771);
    EXPECT_EQ(w.state, STAND_LEFT);
    // A step at frame 0 and at n / 2 of every cycle, the first at once.
    ASSERT_FALSE(left_steps.empty());
    for (size_t k = 0; k < left_steps.size(); ++k) EXPECT_EQ(left_steps[k], static_cast<int>(k) * n);
    for (size_t k = 0; k < right_steps.size(); ++k) EXPECT_EQ(right_steps[k], static_cast<int>(k) * n + n / 2);
    EXPECT_EQ(left_steps.size(), (411u + n - 1) / n);
    // The turn to the left: three frames in place, then standing facing left.
    for (int f = 0; f < 3; ++f) {
        const WalkerDrawing d = frame(w);
        EXPECT_EQ(d.sheet, kTurnLeft);
        EXPECT_EQ(d.frame, f);
        EXPECT_EQ(d.x, 771);
    }
    EXPECT_EQ(w.prev_state, STATE_NONE);
    const WalkerDrawing stand = frame(w);
    EXPECT_EQ(stand.sheet, kWalkLeft);
    EXPECT_EQ(stand.frame, 0);
    EXPECT_EQ(stand.x, 771);
    EXPECT_EQ(w.prev_state, STAND_LEFT);
}

TEST(Walker, TurnsBeforeWalkingTheOtherWay) {
    Walker w(sheets(6, 4));
    frame(w, KEY_LEFT);  // standing facing right
    for (int f = 0; f < 4; ++f) {
        const WalkerDrawing d = frame(w);
        EXPECT_EQ(d.sheet, kTurnLeft);
        EXPECT_EQ(d.frame, f);
        EXPECT_EQ(d.x, 360);
        EXPECT_EQ(d.sound, StepSound::none);
    }
    WalkerDrawing d = frame(w);
    EXPECT_EQ(d.sheet, kWalkLeft);
    EXPECT_EQ(d.frame, 0);
    EXPECT_EQ(d.x, 359);
    EXPECT_EQ(d.sound, StepSound::step_right);  // walking left starts with the right foot's sound
    for (int i = 1; i < 6; ++i) {
        d = frame(w);
        EXPECT_EQ(d.sound, i == 3 ? StepSound::step_left : StepSound::none) << i;
    }
    // Back to the right: the turn-right sheet first.
    frame(w, KEY_RIGHT);
    d = frame(w);
    EXPECT_EQ(d.sheet, kTurnRight);
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
