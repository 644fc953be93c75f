// zynplay's master callback, on the engine's output thread (the player's
// own while it renders): the pitch shift of the final mix and the peak level
// that feeds the status line's meter.
#pragma once

#include <cstdint>

namespace zynplay {

// Installs the callback on the open engine and enables it. pitch 0 leaves
// the mix unshifted.
bool install_master_tap(float pitch);

// Highest absolute sample seen since the last call (0..32768); resets it.
int32_t take_peak();

// Meter state on the application's thread: rises at once, falls by a fixed
// number of decibels per second.
class LevelMeter {
  public:
    // Feeds the peak of the last interval; returns the level to show in dBFS.
    double update(int32_t peak, double seconds_elapsed);

  private:
    double level_db_ = -90.0;
};

}  // namespace zynplay
