// zynplay's master callback, on the engine's output thread: the pitch shift
// of the final mix, the peak level that feeds the status line's meter, and a
// count of the blocks handed to the output with the block in which the
// watched sound or stream ended (renders cut the file by it).
#pragma once

#include <cstdint>

namespace zynplay {

// Installs the callback on the open engine and enables it. pitch 0 leaves
// the mix unshifted.
bool install_master_tap(float pitch);

// Highest absolute sample seen since the last call (0..32768); resets it.
int32_t take_peak();

// Blocks seen since the last reset. Reset only while output is stopped.
int64_t blocks_out();
void reset_blocks_out();

// Watches one sound (handle) or the stream for its end; end_block() is -1
// until the last block holding it has been mixed, then that block's number.
void watch_sound(int32_t sound);
void watch_stream();
void watch_nothing();
int64_t end_block();

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
