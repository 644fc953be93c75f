// The engine's clock: frames mixed since the engine was opened, counted in
// 64 bits (at 768 kHz it would take 380,000 years to wrap). Each fill
// advances it by its block once the block is mixed, so during a fill it
// names the block's first frame. ZYN_EXIT sets it back to 0; a ZYN_INIT or
// ZYN_INIT_RENDER that re-opens an open engine keeps counting, as it keeps
// the sounds that wait for a frame.
#pragma once

#include <cstdint>

namespace zyn {

// The first frame a sound started now can have: the next block's first
// frame, or inside a fill the first frame after the block being mixed.
// Caller holds the engine lock.
int64_t next_block_frame();

// ZYN_EXIT. Caller holds the engine lock.
void reset_clock();

}  // namespace zyn
