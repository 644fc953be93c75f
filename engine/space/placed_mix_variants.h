// The inner loop of a positional sound's placement on a stereo device, in
// several instruction-set variants. Included by the files compiled with
// -msse2 / -mavx2, so declarations and plain data only (see
// dsp/kernel_variants.h for why).
//
// For each frame i of a run, into a float accumulator (16-bit units):
//   m  = 0.5f x (float(in[2i]) + float(in[2i + 1]))
//   gl = left_from + left_step x float(i + 1), gr likewise
//   acc[2i] += m x gl,  acc[2i + 1] += m x gr
// Single-precision operations in exactly that order, with no fused
// multiply-add, so every variant gives the plain results bit for bit.
//
// The linear loop reads a stereo wave itself instead (a sound at another
// speed, nothing between its playback and its place): frame j of a run is
// at origin +- (fraction + j x step) / 65536 source frames, split into frame
// k and fraction t (0..65535 towards higher addresses, as the resampler's
// locate), and with a = L + R of frame k, b = L + R of frame k + 1,
// t14 = t >> 2, in integers and then single precision:
//   v  = a x (16384 - t14) + b x t14
//   m  = float(v) x 2^-15          (the mix-down of both channels at once)
//   gl = left_from + left_step x float(at + j + 1), gr likewise
//   acc[2(at + j)] += m x gl,  acc[2(at + j) + 1] += m x gr
// Callers guarantee both frames of every j lie inside the wave, and that
// low .. high (frames from the origin) lie inside it too: a vector loop may
// read any of them.
#pragma once

#include <cstdint>

namespace zyn {

struct PlacedRun {
    float *acc;         // stereo
    const int16_t *in;  // stereo
    float left_from, right_from, left_step, right_step;
};

// Frames first .. frames - 1 of a run.
using PlacedStereoVariant = void (*)(const PlacedRun &run, int32_t first, int32_t frames);

struct PlacedLinearRun {
    float *acc;             // stereo, at the placed block's first frame
    const int16_t *origin;  // a stereo wave frame
    uint32_t fraction;      // below 65536
    uint32_t step;
    bool forward;
    int64_t low, high;  // the frames (from origin, high included) a loop may read: the wave's
    int32_t at;         // the run's first frame in the placed block
    float left_from, right_from, left_step, right_step;
};

// Frames j = first .. frames - 1 of a linear run.
using PlacedLinearVariant = void (*)(const PlacedLinearRun &run, int32_t first, int32_t frames);

struct PlacedVariants {
    const char *name;
    PlacedStereoVariant stereo;
    PlacedLinearVariant linear;
};

void placed_stereo_plain(const PlacedRun &run, int32_t first, int32_t frames);
void placed_linear_plain(const PlacedLinearRun &run, int32_t first, int32_t frames);
#if defined(ZYN_X86_KERNELS)
void placed_stereo_sse2(const PlacedRun &run, int32_t first, int32_t frames);
void placed_stereo_avx2(const PlacedRun &run, int32_t first, int32_t frames);
void placed_linear_avx2(const PlacedLinearRun &run, int32_t first, int32_t frames);
#endif

// The set the mix runs (follows the bound kernel set, ZYN_FORCE_PLAIN included).
const PlacedVariants &bound_placed_variants();
// Every set this processor can run, the plain one first.
int32_t available_placed_variants(const PlacedVariants **sets);

}  // namespace zyn
