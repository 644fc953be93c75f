#include "groups.h"

#include "effects.h"
#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "media/gain.h"
#include "row_tables.h"
#include "streaming/track_table.h"
#include "zyn.h"

#include <utility>

namespace zyn {
namespace {

constexpr int32_t kRowMask = kMaxGroups - 1;

int32_t fail_group_handle(const char *operation, int32_t handle) {
    if (engine().initialized.load(std::memory_order_relaxed) == 0) return fail_not_initialised();
    return fail("%s: no group with handle %d (destroyed, of an earlier ZYN_INIT, or never made)",
                operation, handle);
}

// Runs body on a live group's row under the lock; 0 for a handle of none.
template <typename Body>
int32_t with_group(const char *operation, int32_t handle, Body body) {
    EngineLock hold(engine().lock);
    GroupRow *row = live_group(operation, handle);
    if (row == nullptr) return 0;
    body(*row);
    return 1;
}

template <typename T, typename Read>
int32_t get_group_field(const char *operation, int32_t handle, T *out, Read read) {
    if (out == nullptr) return fail_null(operation, "the out-argument");
    return with_group(operation, handle, [&](const GroupRow &g) { *out = read(g); });
}

// A free row, or a new one while the table has room; -1 when full. Caller
// holds the lock.
int32_t take_group_row(GroupTable &t) {
    for (int32_t i = 0; i < t.count; ++i)
        if (t.rows[static_cast<size_t>(i)].generation == 0) return i;
    if (t.count >= kMaxGroups) return -1;
    t.rows.emplace_back();
    return t.count++;
}

}  // namespace

int32_t group_row(int32_t handle) {
    const EngineState &e = engine();
    if (handle <= 0 || e.initialized.load(std::memory_order_relaxed) == 0) return -1;
    const int32_t row = handle & kRowMask;
    const auto generation = static_cast<uint32_t>(handle) >> kGroupRowBits;
    if (row >= e.groups.count || generation == 0) return -1;
    return e.groups.rows[static_cast<size_t>(row)].generation == generation ? row : -1;
}

int32_t group_handle(int32_t row) {
    const uint32_t generation = engine().groups.rows[static_cast<size_t>(row)].generation;
    return static_cast<int32_t>(generation << kGroupRowBits) | row;
}

GroupRow *live_group(const char *operation, int32_t handle) {
    const int32_t row = group_row(handle);
    if (row < 0) {
        fail_group_handle(operation, handle);
        return nullptr;
    }
    return &engine().groups.rows[static_cast<size_t>(row)];
}

void begin_group_block(EngineState &e, int32_t frames) {
    for (int32_t i = 0; i < e.groups.count; ++i) {
        GroupRow &g = e.groups.rows[static_cast<size_t>(i)];
        g.bus_first = g.bus_last = -1;
        if (g.generation == 0) {
            e.groups.mix[static_cast<size_t>(i)].bus = false;
            continue;
        }
        const bool moving = g.level.moving();
        e.groups.mix[static_cast<size_t>(i)] = {g.level.value(), moving, g.muted != 0, g.paused != 0,
                                                g.fx.in_use()};
        if (!moving) continue;
        g.mix_level = g.level;
        // Moved on now, so that a fade set during this block starts from
        // the level the block ends on, and acts from the next one.
        if (g.paused == 0) g.level.skip(frames);
    }
}

Glide group_glide(const GroupTable &t, int32_t group, const GroupMix &mix, int32_t offset) {
    Glide g;
    if (group < 0 || !mix.moving) {
        g.hold(mix.level);
        return g;
    }
    g = t.rows[static_cast<size_t>(group)].mix_level;
    g.skip(offset);
    return g;
}

void release_groups() {
    EngineState &e = engine();
    std::deque<GroupRow> rows;  // made before the lock: a deque allocates even when empty
    {
        EngineLock hold(e.lock);
        e.groups.rows.swap(rows);
        e.groups.count = 0;
    }
}

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_CREATE_GROUP(int32_t *group) {
    if (group == nullptr) return fail_null("ZYN_CREATE_GROUP", "group");
    // A new row may grow the table, and the output thread never allocates.
    if (inside_fill()) return fail_in_callback("ZYN_CREATE_GROUP");
    // The block a group with a filter or a send mixes its members in
    // (effects.h), made once for all groups.
    make_group_bus();
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (e.initialized.load() == 0) return fail_not_initialised();
    const int32_t row = take_group_row(e.groups);
    if (row < 0) return fail("ZYN_CREATE_GROUP: all %d groups are in use", kMaxGroups);
    uint32_t generation = e.groups.last_generation + 1;
    if (generation >= kGroupGenerations) generation = 1;
    e.groups.last_generation = generation;
    GroupRow &g = e.groups.rows[static_cast<size_t>(row)];
    g = GroupRow{};
    g.generation = generation;
    *group = group_handle(row);
    return 1;
}

int32_t ZYN_DESTROY_GROUP(int32_t *group) {
    if (group == nullptr) return fail_null("ZYN_DESTROY_GROUP", "group");
    EngineState &e = engine();
    EngineLock hold(e.lock);
    const int32_t row = group_row(*group);
    if (row < 0) return fail_group_handle("ZYN_DESTROY_GROUP", *group);
    // Members play on, on their own.
    for (int32_t i = 0; i < e.sound_count; ++i) {
        SoundEntry &s = e.sounds[static_cast<size_t>(i)];
        if (s.group == row) s.group = -1;
    }
    TrackTable &tracks = track_table();
    for (int32_t i = 0; i < tracks.count; ++i) {
        TrackRow &t = tracks.rows[static_cast<size_t>(i)];
        if (t.group == row) t.group = -1;
    }
    e.groups.rows[static_cast<size_t>(row)].generation = 0;
    *group = -1;
    return 1;
}

int32_t ZYN_SET_SOUNDGROUP(int32_t sound, int32_t group) {
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    const int32_t row = group == -1 ? -1 : group_row(group);
    if (group != -1 && row < 0) return fail_group_handle("ZYN_SET_SOUNDGROUP", group);
    e.sounds[static_cast<size_t>(sound)].group = row;
    return 1;
}

int32_t ZYN_GET_SOUNDGROUP(int32_t sound, int32_t *group) {
    if (group == nullptr) return fail_null("ZYN_GET_SOUNDGROUP", "group");
    EngineState &e = engine();
    EngineLock hold(e.lock);
    if (!sound_handle_valid(sound)) return fail_sound_handle(sound);
    const int32_t row = e.sounds[static_cast<size_t>(sound)].group;
    *group = row < 0 ? -1 : group_handle(row);
    return 1;
}

int32_t ZYN_SET_TRACKGROUP(int32_t track, int32_t group) {
    EngineLock hold(engine().lock);
    TrackRow *t = track_row(track);
    if (t == nullptr) return 0;
    const int32_t row = group == -1 ? -1 : group_row(group);
    if (group != -1 && row < 0) return fail_group_handle("ZYN_SET_TRACKGROUP", group);
    t->group = row;
    return 1;
}

int32_t ZYN_GET_TRACKGROUP(int32_t track, int32_t *group) {
    if (group == nullptr) return fail_null("ZYN_GET_TRACKGROUP", "group");
    EngineLock hold(engine().lock);
    const TrackRow *t = track_row(track);
    if (t == nullptr) return 0;
    *group = t->group < 0 ? -1 : group_handle(t->group);
    return 1;
}

int32_t ZYN_SET_GROUPVOLUME(int32_t group, float volume) {
    const float stored = clamp_volume(volume, kSoundSilentBelow);
    return with_group("ZYN_SET_GROUPVOLUME", group, [&](GroupRow &g) {
        g.volume = stored;
        g.level.hold(stored);  // a fade ends here
    });
}

int32_t ZYN_GET_GROUPVOLUME(int32_t group, float *volume) {
    return get_group_field("ZYN_GET_GROUPVOLUME", group, volume, [](const GroupRow &g) { return g.volume; });
}

int32_t ZYN_SET_GROUPMUTED(int32_t group, int32_t muted) {
    return with_group("ZYN_SET_GROUPMUTED", group, [&](GroupRow &g) { g.muted = muted != 0 ? 1 : 0; });
}

int32_t ZYN_GET_GROUPMUTED(int32_t group, int32_t *muted) {
    return get_group_field("ZYN_GET_GROUPMUTED", group, muted, [](const GroupRow &g) { return g.muted; });
}

int32_t ZYN_SET_GROUPPAUSED(int32_t group, int32_t paused) {
    return with_group("ZYN_SET_GROUPPAUSED", group, [&](GroupRow &g) { g.paused = paused != 0 ? 1 : 0; });
}

int32_t ZYN_GET_GROUPPAUSED(int32_t group, int32_t *paused) {
    return get_group_field("ZYN_GET_GROUPPAUSED", group, paused, [](const GroupRow &g) { return g.paused; });
}

}  // extern "C"
