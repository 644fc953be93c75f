// The mixer: the engine's fill routine, run by the output plug-in per block.
#pragma once

#include "zyn_plugout.h"

namespace zyn {

// Writes record->buffer_size bytes of the next output block into record->buffer.
void fill_block(PlugoutRecord *record);

}  // namespace zyn
