// The listener, the Doppler settings and the loaded HRTF set: one of each
// for the whole engine, read by the mix under the engine lock.
//
// The HRTF set is published and detached under the lock and freed after it
// is released (ZYN_SET_HRTF, ZYN_EXIT), so the mix never reads a freed one.
#pragma once

#include "dsp/hrtf.h"
#include "space/doppler.h"
#include "space/listener.h"

#include <memory>
#include <vector>

namespace zyn {

struct SpaceSettings {
    space::Listener listener;
    space::Doppler doppler;
    std::unique_ptr<HrtfSet> hrtf;  // null: positional sounds are panned
    // The block's positional sounds summed (space/positional_mix.h); sized
    // on application threads, never by the mix.
    std::vector<float> bus;
    bool bus_used = false;  // the block being mixed has written it
};

// The engine's settings. Engine lock held.
SpaceSettings &space_settings();

// ZYN_EXIT: the listener and Doppler back to their defaults, the HRTF set
// freed. Takes the engine lock itself; frees after releasing it.
void release_space();

}  // namespace zyn
