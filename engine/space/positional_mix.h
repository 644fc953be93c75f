// The mix of a positional sound, one block at a time (the fill calls it for
// a row with a position, under the engine lock).
//
// Once per block the sound's place is worked out (space/source_placement.h):
// its distance gain, its equal-power gains (stereo), its direction (HRTF)
// and its Doppler factor. The sound is played into its work buffer at its
// speed times that factor (held to the speed range, its sign kept, so
// backward play stays backward), with every resampler mode; its ramps,
// fades and group factor shape it there as they shape any sound (its pan
// is not used), and its callback sees that block. Then one pass mixes the
// block down to mono and adds it into the output with the place's gains,
// moving in a straight line across the block from those the last block
// ended on, so a source that moves block by block never steps. With an
// HRTF set loaded for the device's rate a stereo device hears it binaurally
// instead (dsp/hrtf.h); a mono device gets the distance gain alone. The sum
// joins the block after the plain sounds, rounded and saturated once.
//
// A stereo sound read between frames by the linear resampler, with nothing
// between its playback and its place (no filter, callback, moving gain or
// HRTF, into the sum), skips the work buffer: space/placed_playback.h reads
// it, mixes it down and places it in one pass.
#pragma once

#include "dsp/glide.h"

#include <cstdint>

namespace zyn {

struct EngineState;
struct SoundEntry;

struct PlacedBlock {
    int16_t *out;
    int32_t frames;
    int32_t channels;
    int32_t rate;
    int32_t offset;  // frames before the sound's start (silence)
};

struct VoiceEffects;

// fx: the sound's filter, run on its frames before they are placed (null:
// none). own: null to add the placed block to the positional sum; else the
// sound's own buffer, which then holds its whole placed block (silent before
// its start) for the fill to send into the reverb or list for its group's bus.
void mix_positional(const EngineState &e, SoundEntry &row, const PlacedBlock &b, Glide group, bool group_moving,
                    bool first, VoiceEffects *fx, int16_t *own);

// On (the default), a sound that needs nothing between its playback and its
// place is read straight into the positional sum (space/placed_playback.h);
// off, every positional sound is played into its work buffer first. The
// switch exists so tests can hold one path against the other.
void set_direct_placing(bool on);

// A muted positional sound moves on by bytes at the speed it would be heard at.
void advance_positional(const EngineState &e, SoundEntry &row, int32_t bytes, int32_t channels, int32_t rate);

// After the walk over the rows: the block's positional sounds, summed in
// floating point, added into out (samples values) with saturation. Nothing
// when none was mixed into the sum.
void add_space_bus(int16_t *out, int32_t samples);

// App thread, no lock held: makes the positional sum hold samples values
// (frames x channels of the device's block) when it holds fewer; only when
// it exists already unless make. Until then (a device re-opened with larger
// blocks) the mix adds positional sounds chunk by chunk.
void prepare_space_bus(int32_t samples, bool make);

}  // namespace zyn
