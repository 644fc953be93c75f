// The scene's sounds, synthesised.
#pragma once

#include "wav_file.h"

namespace zyn::assets {

// A cheerful 8-second tune (four bars at 120 bpm) that repeats seamlessly:
// every note's decay and the reverb tail wrap round to the start.
Pcm16 make_background_loop();

// A short soft footstep; the right foot is pitched a little higher.
enum class Foot { left, right };
Pcm16 make_step(Foot foot);

}  // namespace zyn::assets
