// A track in the mix (output thread, engine lock held): its next frames
// taken from its ring, shaped by its gain stage and added into the block.
// Nothing here decodes, allocates or waits: a ring that has run dry makes
// the track silent for the frames it lacks, and they are counted.
//
// A track whose last pass ends inside a block ends at that frame, and the
// track queued after it starts on the next frame of the same block.
#pragma once

#include <cstdint>

namespace zyn {

struct GroupTable;
struct RoutineSlots;
struct TrackRow;

// Adds playing tracks into out (frames frames of the device's channels),
// which holds the mix so far, and answers how many were added. A track in a
// group (groups.h) is held while the group is paused, plays on unheard
// while it is muted, and has its level times the group's. With bus_group
// -1, the tracks of groups without a bus (effects.h), first in each block;
// else only the tracks of that group row, into its bus.
int32_t mix_tracks(const RoutineSlots &slots, const GroupTable &groups, int16_t *out, int32_t channels,
                   int32_t frames, int32_t bus_group = -1);

// Row changes shared by the fill and the calls (engine lock held).
// Starts the track from where its ring stands.
void start_row(TrackRow &row);
// Stops it and asks for the rewind to frame 0; a fade that was to stop it
// gives back the volume it had before.
void stop_row(TrackRow &row);

}  // namespace zyn
