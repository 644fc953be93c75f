// What a track plays from a given start, and where in its file a frame of
// the ring lies.
//
// A track plays passes: the first from where it stands to the loop's end,
// every later one from the loop's start to its end. The ring holds that
// sequence converted to the device's rate, from the frame the decoding
// last started at (a seek, a rewind, a change of plan). So a ring frame's
// place in the file follows from its count since that start alone: one
// description per start, however short the loop and however many passes
// the ring holds.
#pragma once

#include <cstdint>

namespace zyn {

// Passes that never run out.
constexpr int64_t kEndlessPasses = -1;

struct PlayPlan {
    int64_t loop_start = 0;
    int64_t loop_end = -1;  // -1: the file's end, until the decoding finds it
    int64_t passes = 1;     // left, the current one included; kEndlessPasses
};

// The decoding's start: the file frame its first ring frame holds, the
// plan from there, and the file's frames per device frame.
struct RingStart {
    int64_t first = 0;
    PlayPlan plan;
    double source_per_device = 1.0;
};

struct FilePlace {
    int64_t frame = 0;   // in the file, at its own rate
    int64_t passes = 1;  // left, the current one included (kEndlessPasses)
};

// The file frame (and the passes left) at ring frame `played` (counted
// from the start). The end of the last pass reads as the loop's end.
inline FilePlace place_in_file(const RingStart &start, int64_t played) {
    const auto into = static_cast<int64_t>(static_cast<double>(played) * start.source_per_device);
    const int64_t frame = start.first + into;
    const PlayPlan &plan = start.plan;
    if (plan.loop_end < 0 || frame < plan.loop_end) return {frame, plan.passes};
    const int64_t length = plan.loop_end - plan.loop_start;
    if (length <= 0) return {plan.loop_end, 1};
    const int64_t past = frame - plan.loop_end;
    const int64_t wraps = past / length + 1;
    if (plan.passes != kEndlessPasses && wraps >= plan.passes) return {plan.loop_end, 1};
    const int64_t passes = plan.passes == kEndlessPasses ? kEndlessPasses : plan.passes - wraps;
    return {plan.loop_start + past % length, passes};
}

}  // namespace zyn
