/*
 * zyn_kernels.h - the sample loops the zyn engine mixes with, and the
 * processor queries, exported by libzyn.so for use on your own buffers.
 *
 * Kept apart from zyn.h so that short upper-case names such as ZERO, COPY or
 * MHZ never collide with a program's own macros and functions: include this
 * header only where you call them.
 *
 * Conventions:
 *  - Kernels touch only the memory they are given, never the engine's state,
 *    and may be called from any thread at any time, callbacks included.
 *  - Each checks its arguments and silently does nothing when the check
 *    fails (a null pointer, a byte count that is not positive or not a whole
 *    number of samples or frames, a speed of the wrong sign).
 *  - Suffix 16: one-channel frames (2 bytes); suffix 32: two-channel frames
 *    (4 bytes). Samples are signed 16-bit, native byte order, interleaved.
 *  - Playback kernels read the region [start, end) from *pos, count *loops
 *    down at each pass end and write silence after the last pass. A position
 *    outside the region starts at its first frame (its last when backward),
 *    an overshoot wraps modulo the region, an empty region plays silence.
 *  - None of them blocks or allocates.
 *
 * Usable from C99 and C++.
 */
#ifndef ZYN_KERNELS_H
#define ZYN_KERNELS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef ZYN_EXPORT
#if defined(__GNUC__)
#define ZYN_EXPORT __attribute__((visibility("default")))
#else
#define ZYN_EXPORT
#endif
#endif

/* ---- Buffer kernels ------------------------------------------------------ */

/* bytes zero bytes at dst (bytes > 1). */
ZYN_EXPORT void ZERO(void *dst, int32_t bytes);
/* bytes zero bytes into the ring [ring, ring_end) from *pos, wrapping; *pos moves on. */
ZYN_EXPORT void ZEROBUFFER(void *ring, void **pos, void *ring_end, int32_t bytes);
/* Copies bytes ascending (a copy to a lower overlapping address is fine). */
ZYN_EXPORT void COPY(void *dst, const void *src, int32_t bytes);
/* dst = saturate(a + b) per sample. */
ZYN_EXPORT void MIX16(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes);
/* dst = saturate(floor(src x round(65536 x factor) / 65536)) per sample; NaN gives silence. */
ZYN_EXPORT void SCALE16(int16_t *dst, const int16_t *src, float factor, int32_t bytes);
/* Scales the right channel by right when left is 1.0, else the left by left
 * when right is 1.0; copies the other channel. */
ZYN_EXPORT void PAN16(int16_t *dst, const int16_t *src, float left, float right, int32_t bytes);

/* ---- Playback kernels ------------------------------------------------------ */

/* Forward playback at speed 1. */
ZYN_EXPORT void COPYRIGHT16(int16_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                            int32_t *loops, int32_t bytes);
ZYN_EXPORT void COPYRIGHT32(int16_t *dst, const int16_t *start, int16_t **pos, const int16_t *end,
                            int32_t *loops, int32_t bytes);
/* Advance pos and loops exactly as COPYRIGHT would, writing nothing. */
ZYN_EXPORT void MOVERIGHT16(const int16_t *start, int16_t **pos, const int16_t *end,
                            int32_t *loops, int32_t bytes);
ZYN_EXPORT void MOVERIGHT32(const int16_t *start, int16_t **pos, const int16_t *end,
                            int32_t *loops, int32_t bytes);
/* Forward playback at speed > 0 (16.16 fixed-point step, nearest source frame). */
ZYN_EXPORT void COPYSLICERIGHT16(int16_t *dst, const int16_t *start, int16_t **pos,
                                 const int16_t *end, int32_t *loops, float speed, int32_t bytes);
ZYN_EXPORT void COPYSLICERIGHT32(int16_t *dst, const int16_t *start, int16_t **pos,
                                 const int16_t *end, int32_t *loops, float speed, int32_t bytes);
/* Backward playback at speed < 0. */
ZYN_EXPORT void COPYSLICELEFT16(int16_t *dst, const int16_t *start, int16_t **pos,
                                const int16_t *end, int32_t *loops, float speed, int32_t bytes);
ZYN_EXPORT void COPYSLICELEFT32(int16_t *dst, const int16_t *start, int16_t **pos,
                                const int16_t *end, int32_t *loops, float speed, int32_t bytes);
/* Advance as the matching COPYSLICE kernel would, writing nothing. */
ZYN_EXPORT void MOVESLICERIGHT16(const int16_t *start, int16_t **pos, const int16_t *end,
                                 int32_t *loops, float speed, int32_t bytes);
ZYN_EXPORT void MOVESLICERIGHT32(const int16_t *start, int16_t **pos, const int16_t *end,
                                 int32_t *loops, float speed, int32_t bytes);
ZYN_EXPORT void MOVESLICELEFT16(const int16_t *start, int16_t **pos, const int16_t *end,
                                int32_t *loops, float speed, int32_t bytes);
ZYN_EXPORT void MOVESLICELEFT32(const int16_t *start, int16_t **pos, const int16_t *end,
                                int32_t *loops, float speed, int32_t bytes);

/* ---- MPEG frame kernels ---------------------------------------------------- */

/* Copies bytes / 4 four-byte units from src into the ring from *pos, wrapping. */
ZYN_EXPORT void COPYMP3FRAME(void *ring, void **pos, void *ring_end, const void *src,
                             int32_t bytes);
/* Resamples src (nearest frame, step = speed) into bytes of the ring, wrapping. */
ZYN_EXPORT void COPYSLICEMP3FRAME16(void *ring, void **pos, void *ring_end, const void *src,
                                    float speed, int32_t bytes);
ZYN_EXPORT void COPYSLICEMP3FRAME32(void *ring, void **pos, void *ring_end, const void *src,
                                    float speed, int32_t bytes);
/* Decoder fixed point (28 fractional bits) to 16 bits: stereo to stereo. */
ZYN_EXPORT void SCALEMP3FRAME_22_16(int16_t *dst, const int32_t *left, const int32_t *right,
                                    int32_t count);
/* Stereo to mono: (left + right) / 4 after converting each. */
ZYN_EXPORT void SCALEMP3FRAME_21_16(int16_t *dst, const int32_t *left, const int32_t *right,
                                    int32_t count);
/* Mono to stereo (each sample written twice). */
ZYN_EXPORT void SCALEMP3FRAME_12_16(int16_t *dst, const int32_t *src, int32_t count);
/* Mono to mono. */
ZYN_EXPORT void SCALEMP3FRAME_11_16(int16_t *dst, const int32_t *src, int32_t count);

/* ---- Processor queries (any thread, any time) --------------------------- */

ZYN_EXPORT int32_t ISFPU(void);    /* floating-point unit (always 1) */
ZYN_EXPORT int32_t ISTSC(void);    /* time-stamp counter */
ZYN_EXPORT int32_t ISCMOV(void);   /* conditional moves */
ZYN_EXPORT int32_t ISMMX(void);    /* MMX */
ZYN_EXPORT int32_t ISMMX2(void);   /* extended MMX (extended feature leaf) */
ZYN_EXPORT int32_t ISSSE(void);    /* SSE */
ZYN_EXPORT int32_t ISSSE2(void);   /* SSE2 */
ZYN_EXPORT int32_t IS3DNOW(void);  /* 3DNow! */
ZYN_EXPORT int32_t IS3DNOW2(void); /* extended 3DNow! */
/* Processor clock in MHz. Blocks: the first call measures it, busy for
 * about one second; later calls answer at once. */
ZYN_EXPORT int32_t MHZ(void);
/* Processor cycle counter; never decreases. */
ZYN_EXPORT uint64_t CPUCOUNTER(void);

#ifdef __cplusplus
}
#endif

#endif /* ZYN_KERNELS_H */
