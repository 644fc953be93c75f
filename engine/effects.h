// Effects in the mix: sound, group and track filters, the group bus and the
// one shared reverb. The fixed graph of a block:
//
//   sound: playback -> filter -> volume, pan -> (callback) --+--> group bus or master
//                                                            '--> x send --> reverb input
//   group bus: sum of its members (volume folded into each) -> filter --+--> master
//                                                                       '--> x send --> reverb input
//   master: sum + reverb return x wet -> master volume, EQ, callback
//
// Every stage is skipped by whatever has nothing to do at it, and so are the
// float blocks: a sound without a filter or a send, in a group without
// either, is mixed exactly as before (fused where it was fused), and with
// every send at 0 the reverb never runs, so the output is bit for bit what
// it was without effects. The mix stays 16-bit fixed point with saturating
// sums; only the reverb's input and return are float (dsp/float_block.h).
//
// A group whose filter or send is in use gets a bus for the block: its
// members render through their work buffers and are listed on the group
// row as the walk meets them; after the tracks, each such group's members
// (and tracks) are summed into the one bus block, the group's filter runs
// once on the sum, and the sum goes to the master and, times the send, to
// the reverb. Groups without either keep the folded-gain path.
//
// The reverb (dsp/reverb.h: Schroeder-Moorer, RT60 = 0.25 s x 40^room_size)
// runs once per block, only when a send fed it in that block or its tail
// still rings.
//
// Everything here runs under the engine lock; nothing on the output thread
// allocates: the reverb's lines and the bus block are made on an
// application thread when first wanted, for the device open then
// (make_reverb, make_group_bus, effects_follow_device); filters and sends
// live in the rows. A mix that uses neither never holds their memory.
#pragma once

#include "dsp/reverb.h"
#include "voice_effects.h"

#include <cstdint>
#include <vector>

namespace zyn {

struct EngineState;
struct SoundEntry;

struct EffectsState {
    Reverb reverb;             // configured for the open device's rate and block
    ReverbSettings settings;   // as ZYN_SET_REVERB last set them, also without a device
    std::vector<int16_t> bus;  // one block of the device: a group's members summed
    int32_t rate = 0;          // of the device the filters and the reverb are made for
    int32_t frames = 0;        // its largest block
    int32_t channels = 0;
    bool fed = false;          // the reverb's input holds this block's sends
    // Each sound row's filter and send, by row: apart from the rows, which
    // a block walks through every one of, and grown with them (in steps
    // that double, so that its memory never lies between theirs).
    std::vector<VoiceEffects> sounds;
};

// The device (rate, channels, frames per block) the mix now runs for: the
// reverb (while its wet level is above 0) and the group bus (while any
// group exists) are made again for it, allocated outside the lock, and
// every filter moves to the new rate. App thread, no lock held; called
// where the work buffers follow the device.
void effects_follow_device(int32_t rate, int32_t channels, int32_t frames);
// The reverb's memory for the open device, when it has none yet: made by
// the first ZYN_SET_REVERB that makes it heard. App thread, no lock held;
// false when there is no memory for it.
bool make_reverb();
// The group bus for the open device, when there is none yet: made by
// ZYN_CREATE_GROUP. App thread, no lock held.
void make_group_bus();
// ZYN_EXIT: the reverb's memory, the bus and the sounds' effects go; the
// reverb settings stay.
void release_effects();
// A new sound row: the effects table grows with it. Engine lock held.
void sound_rows_grew(EngineState &e);

// --- The fill's part (engine lock held) ---

// At a block's start.
void begin_effects_block(EngineState &e);

// A sound's filter on its freshly rendered frames, before its gain stages.
inline void filter_voice(VoiceEffects &fx, int16_t *samples, int32_t frames, int32_t channels) {
    if (!fx.filter.bypassed()) fx.filter.process(samples, frames, channels);
}

// Adds frames of a voice's finished block (what it adds to its
// destination), which start at frame offset of the block of block_frames
// being mixed, times its send into the reverb's input; the send glides
// across them from where the last block left it.
void send_to_reverb(EngineState &e, VoiceEffects &fx, const int16_t *block, int32_t frames, int32_t channels,
                    int32_t offset, int32_t block_frames);

// Lists sound row `row` (rendered into its work buffer) as a member of the
// bus of group row `group` (the one it was in when the block reached it: its
// callback may have moved it since) for this block.
void join_group_bus(EngineState &e, int32_t row, int32_t group);

// Each group with a bus: its members and tracks summed, filtered, into out
// and the reverb; then the reverb's return into out. After the tracks,
// before the master stage.
void finish_effects_block(EngineState &e, int16_t *out, int32_t channels, int32_t frames);

// The effects of sound row `row`, whose flag is set, when they still have
// something to do; else null (the flag cleared).
VoiceEffects *sound_effects(EngineState &e, int32_t row);

}  // namespace zyn

