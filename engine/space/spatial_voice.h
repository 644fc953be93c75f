// What a positional sound keeps beside its row: where it is, how fast it
// moves, how it fades with distance, and the gains and binaural state its
// last block ended on, so the next block moves on from them without a step.
//
// Made on an application thread the first time a sound is given a
// position, velocity or distance model, and kept with the row (as its work
// buffer is) until ZYN_EXIT: the output thread never allocates one.
// Fields are read and written under the engine lock.
#pragma once

#include "dsp/hrtf.h"
#include "space/distance_model.h"
#include "space/vec3.h"

namespace zyn {

struct SoundEntry;

struct SpatialVoice {
    space::Vec3 position;
    space::Vec3 velocity;
    space::DistanceModel model;
    // The placement gains (distance x direction, without the volume) the
    // last block ended on; primed false: the next block starts on its own.
    bool primed = false;
    bool binaural = false;  // the last block went through the HRTF
    float left = 0.0f;
    float right = 0.0f;
    float gain = 0.0f;      // the distance gain alone (mono device, HRTF)
    HrtfVoice hrtf;

    // Back to a sound that was never placed: at the origin, still, the
    // default model.
    void clear() {
        position = space::Vec3{};
        velocity = space::Vec3{};
        model = space::DistanceModel{};
        primed = false;
        binaural = false;
    }
};

// A new sound in the row starts plain, with the default settings. Engine
// lock held.
void forget_place(SoundEntry &row);

}  // namespace zyn
