// Groups: sounds scaled, muted or paused together ("music", "effects").
//
// A group is a row of a flat table; every group feeds the master. A member
// keeps its own volume and pan, and its level is its volume times its
// group's: the mixer folds the group's factor into the member's own volume
// stage, so a member of a group at volume 1 costs nothing more than a sound
// without one.
//
// Handles carry the row and a generation taken from a counter that never
// goes back (not even at ZYN_EXIT), so a handle kept across ZYN_DESTROY_GROUP
// or ZYN_EXIT is refused rather than reaching the group that reuses its row.
//
// The mix reads only GroupTable::mix, which the fill takes from the settings
// at the start of each block: a change made by a callback during a block
// acts from the next one, as a change from the application does.
#pragma once

#include "dsp/glide.h"
#include "voice_effects.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>

namespace zyn {

struct EngineState;

constexpr int32_t kGroupRowBits = 10;
constexpr int32_t kMaxGroups = 1 << kGroupRowBits;
// Generations run 1 .. 2^21 - 1, so a handle is a positive int32.
constexpr uint32_t kGroupGenerations = 1u << (31 - kGroupRowBits);

struct GroupRow {
    uint32_t generation = 0;  // 0: a free row
    // As the application set them; the getters answer these.
    float volume = 1.0f;  // what the level stands at or glides to
    int32_t muted = 0;
    int32_t paused = 0;
    Glide level;  // the volume now, moved on at each block's start (fades.h)
    // The level as it stood at the start of the block being mixed, for the
    // members to step through frame by frame while it moves.
    Glide mix_level;
    // A filter on the members' sum and its send into the reverb; while
    // either is in use the members mix into the group's bus (effects.h),
    // whose members in the block being mixed are listed from bus_first on
    // (SoundEntry::bus_next; -1 ends it).
    VoiceEffects fx;
    int32_t bus_first = -1;
    int32_t bus_last = -1;
};

// How the block being mixed treats a member of a group (or a sound without
// one): a factor on its own volume (when moving, the row's mix_level gives
// it frame by frame), and whether it is heard and advances.
struct GroupMix {
    float level = 1.0f;
    bool moving = false;
    bool muted = false;
    bool paused = false;
    bool bus = false;  // members mix into the group's bus (a filter or a send)
};

struct GroupTable {
    std::deque<GroupRow> rows;  // rows never move
    int32_t count = 0;          // rows made so far
    uint32_t last_generation = 0;
    // What the block being mixed applies, by row: taken from the settings at
    // the start of each block, and flat, so a member finds it at one index.
    std::array<GroupMix, kMaxGroups> mix{};
};

// The row a handle names, or -1 for a handle of no live group. Caller holds
// the engine lock.
int32_t group_row(int32_t handle);
// The handle of a live row. Caller holds the engine lock.
int32_t group_handle(int32_t row);

// The fill's part, at the start of a block of frames frames: every live
// group's settings become what the block applies, and a moving level moves
// on past the block (a paused group's waits). Engine lock held.
void begin_group_block(EngineState &e, int32_t frames);

// The group's factor frame by frame from frame offset of the block being
// mixed on (a level that stands still gives it at every frame). Engine lock
// held.
Glide group_glide(const GroupTable &t, int32_t group, const GroupMix &mix, int32_t offset);

// A live group's row, or null (the reason recorded, naming operation).
// Engine lock held.
GroupRow *live_group(const char *operation, int32_t handle);

// How the block treats a sound in group row group (-1: none). Engine lock held.
inline GroupMix group_mix(const GroupTable &t, int32_t group) {
    return group < 0 ? GroupMix{} : t.mix[static_cast<size_t>(group)];
}

// ZYN_EXIT: every group goes (their handles stay refused).
void release_groups();

}  // namespace zyn
