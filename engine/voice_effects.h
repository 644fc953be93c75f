// What a sound, a group or a track carries of the effects: its filter and
// its send into the shared reverb. Kept inside the row itself (rows never
// move), so that setting either, also from a callback on the output thread,
// never allocates.
#pragma once

#include "dsp/biquad.h"

namespace zyn {

struct VoiceEffects {
    BiquadFilter filter;      // a fresh one is bypassed (NONE)
    float send = 0.0f;        // as set, 0..1
    float send_applied = 0.0f;  // what the end of the last block mixed fed the reverb

    // Whether the mix has anything to do for it: a filter that is not (or
    // not yet) a plain copy, or a send that is, or is still gliding, above 0.
    bool in_use() const { return !filter.bypassed() || send != 0.0f || send_applied != 0.0f; }
};

}  // namespace zyn
