// Opening and closing tracks, and the tracks' part of the engine's own
// lifecycle: a new device re-makes every track's road and ring for its
// format, at the same place in the file; ZYN_EXIT closes them all.
#pragma once

#include <cstdint>

namespace zyn {

// ZYN_INIT, once a device is open (no fill runs yet on it). Tracks whose
// road cannot be made for the new format stay open and silent, and count
// their silent frames.
void tracks_follow_device(int32_t rate, int32_t channels, int32_t block_frames);

// ZYN_EXIT: stops the decoding pool and closes every track. Not inside a fill.
void close_all_tracks();

}  // namespace zyn
