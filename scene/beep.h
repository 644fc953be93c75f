// The beep: 1000 Hz for 250 ms; the caller waits.
#pragma once

#include <functional>

namespace zyn::scene {

void beep();

// Test seam: every beep calls hook instead (no sound, no wait); null restores
// the sound.
void set_beep_hook(std::function<void()> hook);

}  // namespace zyn::scene
