// Playback of a wave whose format is not the device's: a wave keeps the rate
// and channel count it was made in, and a device re-opened in another format
// reads it through here. The voice path stays source -> resampler -> volume
// and pan; this is its first two stages for such a wave:
//  - rate: the ratio wave rate / device rate is folded into the step, so the
//    sound keeps its pitch, and the sound's resampler mode reads between the
//    wave's frames (nearest keeps the part of a frame it passes, too);
//  - channels: each frame read is brought to the device's layout, a mono
//    frame fed to both sides, a stereo frame averaged.
// The walk is the region walker's over the wave's own frames, so positions
// stay on them and never leave [start, end). A wave in the device's format
// never comes here: the playback kernels and the fused voices read it.
#pragma once

#include <cstdint>

namespace zyn {

// The speed at which a sound of the given speed travels through a wave of
// wave_rate Hz on a device of device_rate Hz (0 when either rate is not
// above 0: the caller then plays nothing).
double folded_speed(float speed, int32_t wave_rate, int32_t device_rate);

// Writes frames device frames (device_channels samples each) read from the
// region [start, end) of a wave of wave_channels channels, from *pos at the
// folded speed (backwards when negative) with the resampler mode (nearest
// for a mode whose tables are not prepared), into dst. Advances *pos,
// *loops and *fraction (the part of a frame the position passed, below
// 65536) as the interpolating playback does; silence after the last pass.
// False, touching nothing, for a missing argument, frames <= 0, channel
// counts other than 1 or 2, or a speed of 0 or not a number.
bool play_converted(int32_t mode, int32_t wave_channels, int32_t device_channels, int16_t *dst,
                    const int16_t *start, int16_t **pos, const int16_t *end, int32_t *loops,
                    uint32_t *fraction, double speed, int32_t frames);

// The same walk without reading a sample: a muted sound keeps its time.
bool advance_converted(int32_t wave_channels, const int16_t *start, int16_t **pos,
                       const int16_t *end, int32_t *loops, uint32_t *fraction, double speed,
                       int32_t frames);

}  // namespace zyn
