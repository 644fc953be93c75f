// Everything the mix needs to know about one positional sound for one
// block, worked out once per source per block from the listener, the
// Doppler settings and the sound's own position, velocity and distance
// model. A pure function: no allocation, no shared state; call it under the
// engine lock at the start of the sound's block.
//
// How the mixer uses it (one block of a positional sound):
//   SourcePlacement p = place_source(listener, doppler, model, position, velocity);
//   speed   = sound speed x p.pitch, held to the engine's speed range (the
//             magnitude scales, so backward play stays backward);
//   mono    = the block mixed to one channel with gain moving from the
//             previous block's p.gain x volume to this one's
//             (mono_from_block);
//   stereo device without HRTF: add_panned(out, mono, ..., previous
//             p.pan -> p.pan); with HRTF: render_hrtf(set, voice,
//             HrtfDirection{right, up, front} of p.direction, mono, ...)
//             into a float stereo block; mono device: the gain alone.
//   send    = add_to_bus(reverb bus, block, ..., send x p.gain x volume).
#pragma once

#include "direction_pan.h"
#include "distance_model.h"
#include "doppler.h"
#include "listener.h"

namespace zyn::space {

struct SourcePlacement {
    float gain = 1.0f;       // distance gain, 0..1
    StereoGains pan;         // equal-power gains for a stereo device
    float pitch = 1.0f;      // Doppler factor for the playback speed
    Direction direction;     // unit vector in the listener's frame (for HRTF)
    double distance = 0.0;   // metres
};

SourcePlacement place_source(const Listener &listener, const Doppler &doppler, const DistanceModel &model,
                             const Vec3 &position, const Vec3 &velocity);

}  // namespace zyn::space
