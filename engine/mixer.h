// The mixer: the engine's fill routine, run by the output plug-in per block.
#pragma once

#include "zyn_plugout.h"

namespace zyn {

struct RoutineSlots;
struct SoundEntry;

// Writes record->buffer_size bytes of the next output block into record->buffer.
void fill_block(PlugoutRecord *record);

// On (the default), a stereo sound without an enabled callback is rendered,
// scaled, panned and summed into the output in one pass; off, every sound
// goes through its work buffer and the blocks are summed afterwards. Both
// give the same blocks and the same positions: the switch exists so tests
// can hold one against the other.
void set_fused_mixing(bool on);

// The sound's next bytes of frames into dst at its speed, in the device's
// layout, with none of its gain stages; positions and loops move on.
// Engine lock held (the fill's part; positional mixing plays through it).
void play_sound_frames(const RoutineSlots &slots, SoundEntry &row, int16_t *dst, int32_t bytes,
                       int32_t channels, int32_t rate);
// A muted sound keeps its timing: it advances exactly as if it were heard.
void advance_sound(const RoutineSlots &slots, SoundEntry &row, int32_t bytes, int32_t channels,
                   int32_t rate);

}  // namespace zyn
