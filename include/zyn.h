/*
 * zyn.h - the public C interface of the zyn sound engine (libzyn.so).
 *
 * zyn mixes any number of sounds in 16-bit PCM and hands every block to an
 * output plug-in (PulseAudio, ALSA, a WAV file or a silent real-time clock).
 * There is one engine per process; every function works on it.
 *
 * Conventions:
 *  - ZYN_ operations return 1 for success and 0 for failure unless they are
 *    queries (they return the value) or conversions. Results go back through
 *    pointer arguments, which are tested for null first.
 *  - Out-of-range parameters are clamped, never refused.
 *  - Samples are signed 16-bit, native byte order, interleaved (left first),
 *    at the rate and channel count of the open device. Sizes are in bytes.
 *  - Threads: ZYN_ operations may be called from any one application thread;
 *    they are serialised against the mixer by the engine. Callbacks run on
 *    the output thread inside the mix: they may use the sound, stream and
 *    master setters and getters and ZYN_PITCHSHIFT, but must not start,
 *    stop or shut down the engine, nor create or destroy waves and sounds.
 *  - Kernels (ZERO ... SCALEMP3FRAME_11_16) touch only the memory they are
 *    given and may be called from any thread at any time.
 *
 * Usable from C99 and C++.
 */
#ifndef ZYN_H
#define ZYN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ZYN_EXPORT __attribute__((visibility("default")))
#else
#define ZYN_EXPORT
#endif

/* A routine that sees (and may change) one block: samples, channel count of
 * the device, frames in the block. Called on the output thread. */
typedef void (*ZynSampleCallback)(int16_t *samples, int32_t channels, int32_t frames);

/* Loop count that plays without end. */
#define ZYN_LOOP_FOREVER 2147483647

/* ---- Settings and lifecycle ------------------------------------------- */

/* Folder searched for output plug-ins, used verbatim (no separator added).
 * Default: the running executable's folder followed by '/'. */
ZYN_EXPORT void ZYN_SET_PLUGPATH(const char *path);
/* Copy of the plug-in folder; valid until the next call of this function. */
ZYN_EXPORT const char *ZYN_GET_PLUGPATH(void);
/* Most blocks mixed into one output block, clamped to 1..256 (default 128). Always 1. */
ZYN_EXPORT int32_t ZYN_SET_MAXCHANNELS(int32_t channels);
/* Writes the channel limit to *channels; 0 when channels is null. */
ZYN_EXPORT int32_t ZYN_GET_MAXCHANNELS(int32_t *channels);
/* Finds the plug-ins (first call), opens the first that accepts the format and
 * starts it. Returns the start result (1 = running) or 0 when no plug-in could
 * be opened. Calling it again reopens the device; loaded waves are kept. */
ZYN_EXPORT int32_t ZYN_INIT(int32_t rate, int32_t channels, int32_t buffers, int32_t frames,
                            int32_t device);
/* Starts output of the open plug-in; 0 when none is open, else its result. */
ZYN_EXPORT int32_t ZYN_START(void);
/* Stops output; 1 when nothing runs, else the plug-in's result. */
ZYN_EXPORT int32_t ZYN_STOP(void);
/* Stops and closes the device, ends the stream, releases every wave and sound
 * buffer. Settings (plug-in folder, channel limit, master volume, filters,
 * master callback) survive. Always 1. Also run automatically at process end. */
ZYN_EXPORT int32_t ZYN_EXIT(void);

/* ---- Device queries (0 or "" while no device is open) ------------------ */

/* Number of plug-ins found by the last discovery (also when none is open). */
ZYN_EXPORT int32_t ZYN_GET_NUMOFPLUGOUTS(void);
/* The open plug-in's last error text. */
ZYN_EXPORT const char *ZYN_GET_PLUGERROR(void);
/* The open plug-in's name, e.g. "PulseAudio". */
ZYN_EXPORT const char *ZYN_GET_PLUGNAME(void);
/* The device the open plug-in plays to. */
ZYN_EXPORT const char *ZYN_GET_PLUGDEVICE(void);
/* Bytes in one output block. */
ZYN_EXPORT int32_t ZYN_GET_PLUGBUFFERSIZE(void);
/* Number of device buffers requested. */
ZYN_EXPORT int32_t ZYN_GET_PLUGBUFFERS(void);
/* Bytes per frame (2 x channels). */
ZYN_EXPORT int32_t ZYN_GET_PLUGFRAMESIZE(void);
/* Frames per block requested. */
ZYN_EXPORT int32_t ZYN_GET_PLUGFRAMES(void);
/* Sample rate in Hz. */
ZYN_EXPORT int32_t ZYN_GET_PLUGRATE(void);
/* Bits per sample (16). */
ZYN_EXPORT int32_t ZYN_GET_PLUGBITS(void);
/* Channel count of the device. */
ZYN_EXPORT int32_t ZYN_GET_PLUGCHANNELS(void);
/* 1 when the device takes signed samples. */
ZYN_EXPORT int32_t ZYN_GET_PLUGSIGNED(void);
/* 1 while output runs (also answered when no device is open). */
ZYN_EXPORT int32_t ZYN_GET_PLUGRUNNING(void);

/* ---- Playback counters -------------------------------------------------- */

/* Sounds mixed in the last block, 0 while output is stopped. */
ZYN_EXPORT int32_t ZYN_GET_PLAYINGSOUNDS(void);
/* 1 when the MP3 stream gave data at the last block, 0 while output is stopped. */
ZYN_EXPORT int32_t ZYN_GET_PLAYINGSTREAMS(void);
/* Bytes delivered since the process started (wraps as signed 32-bit). 0 while not initialised. */
ZYN_EXPORT int32_t ZYN_GET_PLAYEDBYTES(void);
/* Frames delivered: ZYN_GET_PLAYEDBYTES / frame size, 0 when that is 0 or negative. */
ZYN_EXPORT int32_t ZYN_GET_PLAYEDSAMPLES(void);
/* Seconds delivered: ZYN_GET_PLAYEDSAMPLES / rate, 0.0 when that is 0 or less. */
ZYN_EXPORT double ZYN_GET_PLAYTIME(void);

/* ---- Keyboard ----------------------------------------------------------- */

/* Next queued key, 0 when none; never blocks. A character key gives its code
 * (Escape 27), an extended key 256 + its PC scan code (left 331, right 333),
 * a window's close button 363. Without a window the terminal is read. */
ZYN_EXPORT int32_t ZYN_GET_KEYCODE(void);
/* For a host window: queue one key text of 1 or 2 bytes (255 then the scan
 * code for extended keys). The queue holds 15 keys; the oldest is dropped.
 * 0 when text is null or bytes is not 1 or 2. Any thread. */
ZYN_EXPORT int32_t ZYN_PUSH_KEYTEXT(const char *text, int32_t bytes);
/* For a host window: 1 says a window feeds the key queue (the terminal is no
 * longer read), 0 gives the terminal back. Always 1. */
ZYN_EXPORT int32_t ZYN_SET_KEYWINDOW(int32_t attached);

/* ---- Waves -------------------------------------------------------------- */

/* A silent wave of frames frames in the device format. Writes its handle and
 * sample address; 0 (handle -1) when no device is open, frames < 1 or no memory. */
ZYN_EXPORT int32_t ZYN_CREATE_WAVE(int32_t frames, int32_t *wave, int16_t **samples);
/* Releases the wave and frees every sound that plays it; *wave becomes -1. */
ZYN_EXPORT int32_t ZYN_DESTROY_WAVE(int32_t *wave);
/* Duration of the wave at the device rate in milliseconds. */
ZYN_EXPORT int32_t ZYN_GET_WAVELENGTH(int32_t wave, int32_t *milliseconds);
/* First sample, one past the last byte and the device channel count; each out may be null. */
ZYN_EXPORT int32_t ZYN_GET_WAVEPOINTERS(int32_t wave, int16_t **start, int16_t **end,
                                        int32_t *channels);

/* ---- Loaders (converted once to the device's rate and channels) -------- */

/* Loads a PCM WAV file (8 or 16 bits, 1 or 2 channels) as a new wave. 0 and
 * handle -1 on any failure. */
ZYN_EXPORT int32_t ZYN_LOAD_WAVFILE(const char *file, int32_t *wave);
/* Loads an MPEG audio file as a new wave through a temporary WAV file:
 * temp_file when non-empty (used unchanged), else a fresh file in TMPDIR.
 * Refused unless three frames follow each other within 64 KiB after any ID3v2
 * tag (or one or two whole frames are all the file holds); decoded from there.
 * An existing temp_file fails the load and is left untouched. */
ZYN_EXPORT int32_t ZYN_LOAD_MP3FILE(const char *file, int32_t *wave, const char *temp_file);
/* Loads an Ogg Vorbis file as a new wave, like ZYN_LOAD_MP3FILE. An existing
 * temp_file fails the load and is left untouched. */
ZYN_EXPORT int32_t ZYN_LOAD_OGGFILE(const char *file, int32_t *wave, const char *temp_file);

/* ---- Sounds ------------------------------------------------------------- */

/* Starts a new sound on a wave. loops < 1 plays without end; speed is clamped
 * to +-16383 (0 means 1.0, negative plays backwards); pan to -1..+1. With a
 * non-null sound the handle is written and the sound stays after it ends;
 * without, its row is freed when it ends. */
ZYN_EXPORT int32_t ZYN_PLAY_WAVE(int32_t wave, int32_t loops, float speed, float volume, float pan,
                                 int32_t *sound);
/* A stopped sound on a wave (loops 0, speed 1, volume 1, pan 0); handle required. */
ZYN_EXPORT int32_t ZYN_CREATE_SOUND(int32_t wave, int32_t *sound);
/* Rewinds the sound to the wave's start (its end when it plays backwards) and
 * plays it loops times (< 1: endless). */
ZYN_EXPORT int32_t ZYN_PLAY_SOUND(int32_t sound, int32_t loops);
/* Frees the sound's row and work buffer; *sound becomes -1. */
ZYN_EXPORT int32_t ZYN_DESTROY_SOUND(int32_t *sound);
/* Speed factor, clamped to +-16383; 0 becomes 1.0; negative plays backwards. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDSPEED(int32_t sound, float speed);
ZYN_EXPORT int32_t ZYN_GET_SOUNDSPEED(int32_t sound, float *speed);
/* Volume factor: above 2.0 becomes 2.0, below 0.0001 becomes 0.0. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDVOLUME(int32_t sound, float volume);
ZYN_EXPORT int32_t ZYN_GET_SOUNDVOLUME(int32_t sound, float *volume);
/* Pan -1 (left) .. +1 (right); applied on two-channel devices only. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDPAN(int32_t sound, float pan);
ZYN_EXPORT int32_t ZYN_GET_SOUNDPAN(int32_t sound, float *pan);
/* Passes still to play: 0 stops, below 0 plays without end. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDLOOPS(int32_t sound, int32_t loops);
ZYN_EXPORT int32_t ZYN_GET_SOUNDLOOPS(int32_t sound, int32_t *loops);
/* Muted sounds advance in time but are not heard (any non-zero value mutes). */
ZYN_EXPORT int32_t ZYN_SET_SOUNDMUTED(int32_t sound, int32_t muted);
ZYN_EXPORT int32_t ZYN_GET_SOUNDMUTED(int32_t sound, int32_t *muted);
/* Paused sounds neither advance nor are heard (any non-zero value pauses). */
ZYN_EXPORT int32_t ZYN_SET_SOUNDPAUSED(int32_t sound, int32_t paused);
ZYN_EXPORT int32_t ZYN_GET_SOUNDPAUSED(int32_t sound, int32_t *paused);
/* Play range and position inside the wave; each may be null (left unchanged).
 * Values are clamped into the wave; start and end are swapped when reversed. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDPOINTERS(int32_t sound, int16_t *start, int16_t *position,
                                         int16_t *end);
/* Play range start, position and end; each out may be null. */
ZYN_EXPORT int32_t ZYN_GET_SOUNDPOINTERS(int32_t sound, int16_t **start, int16_t **position,
                                         int16_t **end);
/* Duration of the play range at the sound's speed, times its loops, in ms. */
ZYN_EXPORT int32_t ZYN_GET_SOUNDLENGTH(int32_t sound, int32_t *milliseconds);

/* ---- MP3 stream (one at a time) ----------------------------------------- */

/* Opens an MPEG audio file for streaming; nothing plays yet. 0 when not
 * initialised, a stream is active or the file cannot be opened. A file that
 * ZYN_LOAD_MP3FILE would refuse as not MPEG audio is refused and closed. */
ZYN_EXPORT int32_t ZYN_CREATE_MP3STREAM(const char *file);
/* Sets volume and pan and starts decoding; the stream is heard from the next block. */
ZYN_EXPORT int32_t ZYN_PLAY_MP3STREAM(float volume, float pan);
/* Stops decoding and ends the stream. Always 1. */
ZYN_EXPORT int32_t ZYN_END_MP3STREAM(void);
/* The ring position of the next stream block, the channel count and the frames per block. */
ZYN_EXPORT int32_t ZYN_GET_STREAMBUFFER(int16_t **block, int32_t *channels, int32_t *frames);
/* Stream volume: above 2.0 becomes 2.0, below 0.0001 becomes 0.0. */
ZYN_EXPORT int32_t ZYN_SET_STREAMVOLUME(float volume);
ZYN_EXPORT int32_t ZYN_GET_STREAMVOLUME(float *volume);
/* Stream pan -1..+1. */
ZYN_EXPORT int32_t ZYN_SET_STREAMPAN(float pan);
ZYN_EXPORT int32_t ZYN_GET_STREAMPAN(float *pan);

/* ---- Master stage ------------------------------------------------------- */

/* Factor on the final mix: below 0.001 (or NaN) becomes 0.0, above 2.0 becomes 2.0.
 * 0 when not initialised. */
ZYN_EXPORT int32_t ZYN_SET_MASTERVOLUME(float volume);
ZYN_EXPORT int32_t ZYN_GET_MASTERVOLUME(float *volume);
/* Designs peaking band index (0..9) for the device rate: centre in Hz, gain in
 * dB (the centre gets twice this), bandwidth in octaves; runs while enabled is 1. */
ZYN_EXPORT int32_t ZYN_SET_MASTERFILTER(int32_t index, float centre, float gain, float bandwidth,
                                        int32_t enabled);
ZYN_EXPORT int32_t ZYN_ENABLE_MASTERFILTER(int32_t index);
ZYN_EXPORT int32_t ZYN_DISABLE_MASTERFILTER(int32_t index);
/* Phase-vocoder pitch shift of count frames (pitch 2.0 = one octave up);
 * output lags input by 1024 frames; dst may equal src. Does nothing before
 * ZYN_INIT, for count <= 0 and for pitch <= 0 or NaN. One signal at a time. */
ZYN_EXPORT void ZYN_PITCHSHIFT(int16_t *dst, int16_t *src, float pitch, int32_t count);

/* ---- Callbacks (run on the output thread; stored disabled) ------------- */

/* Routine seeing the final block after master volume and filters. 0 when not initialised. */
ZYN_EXPORT int32_t ZYN_SET_MASTERCALLBACK(ZynSampleCallback callback);
ZYN_EXPORT int32_t ZYN_ENABLE_MASTERCALLBACK(void);
ZYN_EXPORT int32_t ZYN_DISABLE_MASTERCALLBACK(void);
/* Routine seeing one sound's block after its volume and pan. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDCALLBACK(int32_t sound, ZynSampleCallback callback);
ZYN_EXPORT int32_t ZYN_ENABLE_SOUNDCALLBACK(int32_t sound);
ZYN_EXPORT int32_t ZYN_DISABLE_SOUNDCALLBACK(int32_t sound);
/* Routine seeing the stream's block; only while a stream is active. */
ZYN_EXPORT int32_t ZYN_SET_STREAMCALLBACK(ZynSampleCallback callback);
ZYN_EXPORT int32_t ZYN_ENABLE_STREAMCALLBACK(void);
ZYN_EXPORT int32_t ZYN_DISABLE_STREAMCALLBACK(void);

/* ---- Conversions (pure; any thread) ------------------------------------- */

/* pow(base, exponent). */
ZYN_EXPORT double ZYN_POW(double base, double exponent);
/* radians x 57.29578 (single-precision factor). */
ZYN_EXPORT double ZYN_RAD2DEG(double radians);
/* degrees x 0.017453292 (single-precision factor). */
ZYN_EXPORT double ZYN_DEG2RAD(double degrees);
/* 20 log10(volume); -inf for 0, NaN for negative volumes. */
ZYN_EXPORT float ZYN_VOLUME_2_DB(float volume);
/* 10^(dB / 20). */
ZYN_EXPORT float ZYN_DB_2_VOLUME(float db);

/* ---- Kernels (caller's memory only; any thread) ------------------------ *
 * Each checks its arguments and silently does nothing when the check fails.
 * Suffix 16: one-channel frames (2 bytes); 32: two-channel frames (4 bytes).
 * Playback kernels read the region [start, end) from *pos, count *loops
 * down at each pass end and write silence after the last pass. */

/* bytes zero bytes at dst (bytes > 1). */
ZYN_EXPORT void ZERO(void *dst, int32_t bytes);
/* bytes zero bytes into the ring [ring, ring_end) from *pos, wrapping. */
ZYN_EXPORT void ZEROBUFFER(void *ring, void **pos, void *ring_end, int32_t bytes);
/* Copies bytes ascending (a copy to a lower overlapping address is fine). */
ZYN_EXPORT void COPY(void *dst, const void *src, int32_t bytes);
/* dst = saturate(a + b) per sample. */
ZYN_EXPORT void MIX16(int16_t *dst, const int16_t *a, const int16_t *b, int32_t bytes);
/* dst = saturate(floor(src x round(65536 x factor) / 65536)) per sample. */
ZYN_EXPORT void SCALE16(int16_t *dst, const int16_t *src, float factor, int32_t bytes);
/* Scales the right channel by right when left is 1.0, else the left by left
 * when right is 1.0; copies the other channel. */
ZYN_EXPORT void PAN16(int16_t *dst, const int16_t *src, float left, float right, int32_t bytes);
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

/* ---- Processor queries (any time, any thread) --------------------------- */

ZYN_EXPORT int32_t ISFPU(void);    /* floating-point unit (always 1) */
ZYN_EXPORT int32_t ISTSC(void);    /* time-stamp counter */
ZYN_EXPORT int32_t ISCMOV(void);   /* conditional moves */
ZYN_EXPORT int32_t ISMMX(void);    /* MMX */
ZYN_EXPORT int32_t ISMMX2(void);   /* extended MMX (extended feature leaf) */
ZYN_EXPORT int32_t ISSSE(void);    /* SSE */
ZYN_EXPORT int32_t ISSSE2(void);   /* SSE2 */
ZYN_EXPORT int32_t IS3DNOW(void);  /* 3DNow! */
ZYN_EXPORT int32_t IS3DNOW2(void); /* extended 3DNow! */
/* Processor clock in MHz, measured once (about one second) on the first call. */
ZYN_EXPORT int32_t MHZ(void);
/* Processor cycle counter; never decreases. */
ZYN_EXPORT uint64_t CPUCOUNTER(void);

#ifdef __cplusplus
}
#endif

#endif /* ZYN_H */
