// The mixer: the engine's fill routine, run by the output plug-in per block.
#pragma once

#include "zyn_plugout.h"

namespace zyn {

// Writes record->buffer_size bytes of the next output block into record->buffer.
void fill_block(PlugoutRecord *record);

// On (the default), a stereo sound without an enabled callback is rendered,
// scaled, panned and summed into the output in one pass; off, every sound
// goes through its work buffer and the blocks are summed afterwards. Both
// give the same blocks and the same positions: the switch exists so tests
// can hold one against the other.
void set_fused_mixing(bool on);

}  // namespace zyn
