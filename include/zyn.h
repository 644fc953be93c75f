/*
 * zyn.h - the public C interface of the zyn sound engine (libzyn.so).
 *
 * zyn mixes any number of sounds in 16-bit PCM and hands every block to an
 * output plug-in (PulseAudio, ALSA, a WAV file or a silent real-time clock).
 * There is one engine per process; every function works on it. The sample
 * kernels and processor queries are in zyn_kernels.h.
 *
 * Conventions
 *  Results   Operations return 1 for success and 0 for failure; queries return
 *            their value (0 or "" when there is nothing to answer). A failed
 *            call changes nothing and leaves its out-arguments alone unless
 *            its comment says otherwise (the wave handle of a failed load or
 *            create becomes -1). Pointer arguments are tested for null first.
 *  Values    Settings with a range are clamped into it: volume, pan, speed,
 *            loop counts, master volume, channel limit; NaN takes the value
 *            named at the setter. Arguments that describe nothing usable are
 *            refused with 0: unknown handles, null pointers, device formats
 *            no sound card has, filter bands that cannot be designed.
 *  Samples   Signed 16-bit, native byte order, interleaved (left first), at
 *            the rate and channel count of the open device. Sizes are bytes.
 *  Threads   Each comment says who may call:
 *              "app"      any application thread; calls from several threads
 *                         are serialised by the engine;
 *              "callback" also from inside a sound, stream or master callback,
 *                         which run on the output thread inside the mix;
 *              "any"      any thread at any time.
 *            Inside a callback the engine never frees, allocates, reads files
 *            or waits for a thread: calls that would are refused with 0 there
 *            (they say so), and a few are carried out differently (they say
 *            how).
 *  Blocking  Calls wait for the engine lock, which the mix holds for one
 *            block; "Blocks" says when a call can take longer than that.
 *
 * Usable from C99 and C++.
 */
#ifndef ZYN_H
#define ZYN_H

#include <stddef.h>
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

/* A routine that sees (and may change) one block: samples, channel count of
 * the device, frames in the block. Called on the output thread inside the
 * mix: keep it short, and see "Threads" above for what it may call. */
typedef void (*ZynSampleCallback)(int16_t *samples, int32_t channels, int32_t frames);

/* Loop count that plays without end. */
#define ZYN_LOOP_FOREVER 2147483647

/* ---- Settings and lifecycle ------------------------------------------- */

/* Sets the folder searched for output plug-ins, used verbatim (end it with
 * '/'); null means "". Default: the running program's folder, or the plug-in
 * folder of an installed libzyn.so when only that one has plug-ins. Read at
 * the first ZYN_INIT and at the first after each ZYN_EXIT. Never fails.
 * Threads: app. Blocks: never. */
ZYN_EXPORT void ZYN_SET_PLUGPATH(const char *path);
/* A copy of the plug-in folder, valid until this thread calls it again.
 * Never fails. Threads: any. */
ZYN_EXPORT const char *ZYN_GET_PLUGPATH(void);
/* Most blocks (sounds + stream) mixed into one output block, clamped to
 * 1..256 (default 128); later sounds wait. Needs no device. Always 1.
 * Threads: callback (it holds from the next block). */
ZYN_EXPORT int32_t ZYN_SET_MAXCHANNELS(int32_t channels);
/* Writes the channel limit to *channels.
 * Fails: channels is null. Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_MAXCHANNELS(int32_t *channels);
/* Opens a device and starts output. Finds the plug-ins first (see
 * ZYN_SET_PLUGPATH) and opens the first that accepts the format; called
 * again, it closes the open device first and keeps waves and sounds (an MP3
 * stream ends when the format changes). buffers is clamped to 1..64; device
 * -1 is the default device. Returns the start result: 1 when output runs.
 * Fails: 0 for a rate outside 4000..768000 Hz, channels other than 1 or 2,
 *   frames outside 16..1048576 (refused before any plug-in sees them; an
 *   open device stays as it was); 0 when no plug-in accepts (the engine is
 *   then closed: queries answer 0, waves wait for a later ZYN_INIT and
 *   ZYN_EXIT releases them).
 * Threads: app; refused inside a callback.
 * Blocks: loads the plug-ins (first call); a plug-in may wait up to about
 *   2 s for a sound server that does not answer. */
ZYN_EXPORT int32_t ZYN_INIT(int32_t rate, int32_t channels, int32_t buffers, int32_t frames,
                            int32_t device);
/* Starts output of the open device; returns the plug-in's result.
 * Fails: 0 when no device is open or inside a callback.
 * Threads: app. Blocks: while the plug-in starts its output thread. */
ZYN_EXPORT int32_t ZYN_START(void);
/* Stops output; 1 when nothing runs, else the plug-in's result.
 * Fails: 0 inside a callback (stopping joins the thread that runs it).
 * Threads: app. Blocks: until the output thread has finished its block. */
ZYN_EXPORT int32_t ZYN_STOP(void);
/* Stops and closes the device, ends the stream, releases every wave and
 * sound and the plug-in libraries. Settings survive (plug-in folder, channel
 * limit, master volume, filters, master callback). Runs by itself at process
 * end. Returns 1, also when nothing was open.
 * Fails: 0 inside a callback, doing nothing.
 * Threads: app. Blocks: about 500 ms when a device was open, so that it can
 *   drain before its library goes; joins the stream's decoder thread. */
ZYN_EXPORT int32_t ZYN_EXIT(void);

/* ---- Device queries ------------------------------------------------------
 * Each answers from the open device, 0 or "" while none is open (except
 * ZYN_GET_NUMOFPLUGOUTS and ZYN_GET_PLUGRUNNING). Threads: callback.
 * Texts stay valid until the same thread asks the same query again. */

/* Number of plug-ins the last search found. */
ZYN_EXPORT int32_t ZYN_GET_NUMOFPLUGOUTS(void);
/* The open plug-in's last error text (asked from the plug-in).
 * Blocks: while ZYN_INIT, ZYN_START, ZYN_STOP or ZYN_EXIT runs on another
 * thread, so that the plug-in's library stays loaded while it answers
 * (inside a callback it does not wait: the device cannot close then). */
ZYN_EXPORT const char *ZYN_GET_PLUGERROR(void);
/* The open plug-in's name, e.g. "PulseAudio". */
ZYN_EXPORT const char *ZYN_GET_PLUGNAME(void);
/* The device the open plug-in plays to. */
ZYN_EXPORT const char *ZYN_GET_PLUGDEVICE(void);
/* Bytes in one output block. */
ZYN_EXPORT int32_t ZYN_GET_PLUGBUFFERSIZE(void);
/* Device buffers asked for (after clamping). */
ZYN_EXPORT int32_t ZYN_GET_PLUGBUFFERS(void);
/* Bytes per frame (2 x channels). */
ZYN_EXPORT int32_t ZYN_GET_PLUGFRAMESIZE(void);
/* Frames per block. */
ZYN_EXPORT int32_t ZYN_GET_PLUGFRAMES(void);
/* Sample rate in Hz. */
ZYN_EXPORT int32_t ZYN_GET_PLUGRATE(void);
/* Bits per sample (16). */
ZYN_EXPORT int32_t ZYN_GET_PLUGBITS(void);
/* Channel count of the device. */
ZYN_EXPORT int32_t ZYN_GET_PLUGCHANNELS(void);
/* 1 when the device takes signed samples. */
ZYN_EXPORT int32_t ZYN_GET_PLUGSIGNED(void);
/* 1 while output runs; 0 after ZYN_STOP, ZYN_EXIT or a failed ZYN_INIT. */
ZYN_EXPORT int32_t ZYN_GET_PLUGRUNNING(void);

/* ---- Playback counters (Threads: any) ---------------------------------- */

/* Sounds playing at the last block (those past the channel limit included),
 * 0 while output is stopped. */
ZYN_EXPORT int32_t ZYN_GET_PLAYINGSOUNDS(void);
/* 1 when the MP3 stream had decoded data at the last block, 0 while output is stopped. */
ZYN_EXPORT int32_t ZYN_GET_PLAYINGSTREAMS(void);
/* Bytes delivered since the process started (wraps as signed 32-bit); 0 without a device. */
ZYN_EXPORT int32_t ZYN_GET_PLAYEDBYTES(void);
/* Frames delivered: ZYN_GET_PLAYEDBYTES / frame size, 0 when that is 0 or negative. */
ZYN_EXPORT int32_t ZYN_GET_PLAYEDSAMPLES(void);
/* Seconds delivered: ZYN_GET_PLAYEDSAMPLES / rate, 0.0 when that is 0 or less. */
ZYN_EXPORT double ZYN_GET_PLAYTIME(void);

/* ---- Keyboard ----------------------------------------------------------- */

/* The next queued key, 0 when none. A character key gives its code (Escape
 * 27), an extended key 256 + its PC scan code (left 331, right 333), a
 * window's close button 363. Without a window (see ZYN_SET_KEYWINDOW) the
 * terminal is read, switched to raw input until the process ends.
 * Threads: app. Blocks: never. */
ZYN_EXPORT int32_t ZYN_GET_KEYCODE(void);

/* ---- Waves -------------------------------------------------------------- */

/* A silent wave of frames frames in the device format; writes its handle and
 * the address of its samples, which the caller may fill.
 * Fails: 0 and *wave = -1 without a device, for frames < 1, a wave over
 *   2 GiB, no memory, or inside a callback.
 * Threads: app. Blocks: while the zeroed block is allocated. */
ZYN_EXPORT int32_t ZYN_CREATE_WAVE(int32_t frames, int32_t *wave, int16_t **samples);
/* Releases the wave and frees every sound that plays it; *wave becomes -1.
 * Fails: 0 for null or an unknown handle, and inside a callback (the mix may
 *   still read the samples).
 * Threads: app. */
ZYN_EXPORT int32_t ZYN_DESTROY_WAVE(int32_t *wave);
/* Duration of the wave at the device rate in milliseconds (saturates).
 * Fails: null, unknown handle, no device. Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_WAVELENGTH(int32_t wave, int32_t *milliseconds);
/* First sample, one past the last byte and the device channel count; each
 * out may be null. Fails: unknown handle. Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_WAVEPOINTERS(int32_t wave, int16_t **start, int16_t **end,
                                        int32_t *channels);

/* ---- Loaders ---------------------------------------------------------------
 * A file converted once into a new wave in the device's rate (nearest frame)
 * and channels. These loaders give half the file's level: 6 dB of headroom
 * for mixing, so a full-scale file plays at half scale at volume 1.0.
 * Fails: 0 and *wave = -1 without a device, for a file that cannot be read
 *   or is not of the loader's format, no memory, and inside a callback.
 * Threads: app. Blocks: reads and decodes the whole file (a ten-minute WAV
 *   takes about 80 ms; MPEG and Vorbis decoding take longer). */

/* A PCM WAV file: 8 or 16 bits, 1 or 2 channels. */
ZYN_EXPORT int32_t ZYN_LOAD_WAVFILE(const char *file, int32_t *wave);
/* An MPEG audio file, through a temporary WAV file: temp_file when
 * non-empty, else a fresh file in TMPDIR (or /tmp); removed afterwards.
 * A file is MPEG audio when three frames that decode follow one another (or
 * fewer that run to its end) within 64 KiB after any ID3v2 tag; decoding
 * starts at the first of them. A temp_file that already exists fails the load and is left
 * untouched. */
ZYN_EXPORT int32_t ZYN_LOAD_MP3FILE(const char *file, int32_t *wave, const char *temp_file);
/* An Ogg Vorbis file, like ZYN_LOAD_MP3FILE (an existing temp_file fails the
 * load and is left untouched). */
ZYN_EXPORT int32_t ZYN_LOAD_OGGFILE(const char *file, int32_t *wave, const char *temp_file);

/* ---- Sounds ---------------------------------------------------------------
 * A sound plays a wave: its loop count, speed, volume, pan, mute, pause and
 * play range change while it plays. Setters and getters fail (0) for an
 * unknown handle or a null out-argument. Threads: callback, unless said. */

/* Starts a new sound on a wave. loops < 1 plays without end; speed is
 * clamped to +-16383 (0 and NaN mean 1.0, negative plays backwards from the
 * end); pan to -1..+1; volume is kept as given (NaN is silence). With a
 * non-null sound the handle is written and the sound stays after it ends;
 * without, its row is freed when it ends.
 * Fails: 0 for an unknown wave or no memory. Inside a callback it takes only
 *   a row that still holds a work buffer (one a finished or destroyed sound
 *   left), since the output thread never allocates; 0 when there is none. */
ZYN_EXPORT int32_t ZYN_PLAY_WAVE(int32_t wave, int32_t loops, float speed, float volume, float pan,
                                 int32_t *sound);
/* A stopped sound on a wave (loops 0, speed 1, volume 1, pan 0); the handle
 * is required. Fails as ZYN_PLAY_WAVE, and for a null sound. */
ZYN_EXPORT int32_t ZYN_CREATE_SOUND(int32_t wave, int32_t *sound);
/* Rewinds the sound to its wave's start (its end when it plays backwards)
 * and plays it loops times (< 1: endless). */
ZYN_EXPORT int32_t ZYN_PLAY_SOUND(int32_t sound, int32_t loops);
/* Frees the sound's row and work buffer; *sound becomes -1. Inside a callback
 * (also the sound's own) the row keeps its work buffer for the next sound,
 * so the block being mixed stays valid. */
ZYN_EXPORT int32_t ZYN_DESTROY_SOUND(int32_t *sound);
/* Speed factor, clamped to +-16383; 0 and NaN become 1.0; negative plays
 * backwards; a speed closer to 0 than 1/65536 becomes 1/65536 of the other
 * sign (the smallest step there is). */
ZYN_EXPORT int32_t ZYN_SET_SOUNDSPEED(int32_t sound, float speed);
ZYN_EXPORT int32_t ZYN_GET_SOUNDSPEED(int32_t sound, float *speed);
/* Volume factor: above 2.0 becomes 2.0, below 0.0001 and NaN become 0.0. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDVOLUME(int32_t sound, float volume);
ZYN_EXPORT int32_t ZYN_GET_SOUNDVOLUME(int32_t sound, float *volume);
/* Pan -1 (left) .. +1 (right), NaN is 0; heard on two-channel devices only. */
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
/* Play range and position inside the wave; each may be null (left as it
 * is). Values are clamped into the wave and moved down to the start of the
 * device frame they point into; start and end are exchanged when reversed;
 * an end at or before the wave keeps one frame.
 * Fails: also without a device. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDPOINTERS(int32_t sound, int16_t *start, int16_t *position,
                                         int16_t *end);
/* Play range start, position and end; each out may be null. */
ZYN_EXPORT int32_t ZYN_GET_SOUNDPOINTERS(int32_t sound, int16_t **start, int16_t **position,
                                         int16_t **end);
/* Duration of the play range at the sound's speed, times its loops, in ms
 * (saturates). Fails: also without a device. */
ZYN_EXPORT int32_t ZYN_GET_SOUNDLENGTH(int32_t sound, int32_t *milliseconds);

/* ---- MP3 stream (one at a time) ----------------------------------------- */

/* Opens an MPEG audio file for streaming (the rule of ZYN_LOAD_MP3FILE
 * decides what is MPEG audio); nothing plays yet.
 * Fails: 0 without a device, while a stream is active, for a file that
 *   cannot be opened or is not MPEG audio (nothing stays open), and inside
 *   a callback. Threads: app. Blocks: reads the first 70 KiB of the file. */
ZYN_EXPORT int32_t ZYN_CREATE_MP3STREAM(const char *file);
/* Sets volume and pan and starts decoding on a thread of its own; the stream
 * is heard from the first block decoded.
 * Fails: 0 without a created stream, inside a callback, and when the stream
 *   is already decoding (which ends it). Threads: app. Blocks: starts a thread. */
ZYN_EXPORT int32_t ZYN_PLAY_MP3STREAM(float volume, float pan);
/* Stops decoding and ends the stream. Always 1. Threads: callback: inside a
 * callback the stream is silent from the next block and its thread is
 * joined by the next stream call or ZYN_EXIT. Blocks: joins the decoder
 * thread (it stops within one decoded frame). */
ZYN_EXPORT int32_t ZYN_END_MP3STREAM(void);
/* The ring position of the next stream block, the channel count and the
 * frames per block. Fails: a null argument, no active stream, no device.
 * Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_STREAMBUFFER(int16_t **block, int32_t *channels, int32_t *frames);
/* Stream volume: above 2.0 becomes 2.0, below 0.0001 and NaN become 0.0.
 * Fails: no active stream (or a null out). Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_STREAMVOLUME(float volume);
ZYN_EXPORT int32_t ZYN_GET_STREAMVOLUME(float *volume);
/* Stream pan -1..+1, NaN is 0. Fails: no active stream (or a null out). Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_STREAMPAN(float pan);
ZYN_EXPORT int32_t ZYN_GET_STREAMPAN(float *pan);

/* ---- Master stage ------------------------------------------------------- */

/* Factor on the final mix: below 0.001 and NaN become 0.0, above 2.0 becomes
 * 2.0. Kept across ZYN_EXIT. Fails: no device (or a null out).
 * Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_MASTERVOLUME(float volume);
ZYN_EXPORT int32_t ZYN_GET_MASTERVOLUME(float *volume);
/* Designs peaking band index (0..9) for the device rate: centre in Hz, gain
 * in dB (the centre is lifted or cut by twice this), bandwidth in octaves;
 * it runs while enabled is 1. A band whose recursion runs away in use is
 * reset rather than left to silence the output.
 * Fails: 0, the band unchanged, for an index outside 0..9, no device, a
 *   centre that is not finite or not strictly between 0 Hz and half the
 *   rate, a bandwidth that is not finite or not above 0, a gain that is not
 *   finite, or values whose design overflows or is not stable.
 * Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_MASTERFILTER(int32_t index, float centre, float gain, float bandwidth,
                                        int32_t enabled);
/* Switch a designed band on or off. Fails: index outside 0..9, no device.
 * Threads: callback. */
ZYN_EXPORT int32_t ZYN_ENABLE_MASTERFILTER(int32_t index);
ZYN_EXPORT int32_t ZYN_DISABLE_MASTERFILTER(int32_t index);
/* Phase-vocoder pitch shift of count frames of the device's channel count
 * (pitch 2.0 = one octave up) from src into dst (which may be src); output
 * lags input by 1024 frames and carries a gain of 1.5. Each calling thread
 * has its own history (callbacks share the output thread's), so one signal
 * per thread. Does nothing without a device, for count <= 0, a null pointer
 * and a pitch that is not finite or not above 0. Threads: callback. */
ZYN_EXPORT void ZYN_PITCHSHIFT(int16_t *dst, int16_t *src, float pitch, int32_t count);

/* ---- Callbacks -----------------------------------------------------------
 * Routines stored disabled; enabling is a separate call. They run on the
 * output thread inside the mix (see "Threads" at the top). Threads: callback. */

/* The routine seeing the final block after master volume and filters.
 * Fails: no device. Enable fails without a device; disable fails without a
 * device or a routine (and disables all the same). */
ZYN_EXPORT int32_t ZYN_SET_MASTERCALLBACK(ZynSampleCallback callback);
ZYN_EXPORT int32_t ZYN_ENABLE_MASTERCALLBACK(void);
ZYN_EXPORT int32_t ZYN_DISABLE_MASTERCALLBACK(void);
/* The routine seeing one sound's block after its volume and pan; a sound
 * with one goes through its work buffer. Fails: unknown sound; enable and
 * disable also fail without a routine. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDCALLBACK(int32_t sound, ZynSampleCallback callback);
ZYN_EXPORT int32_t ZYN_ENABLE_SOUNDCALLBACK(int32_t sound);
ZYN_EXPORT int32_t ZYN_DISABLE_SOUNDCALLBACK(int32_t sound);
/* The routine seeing the stream's block. Fails: no active stream; enable
 * and disable also fail without a routine. */
ZYN_EXPORT int32_t ZYN_SET_STREAMCALLBACK(ZynSampleCallback callback);
ZYN_EXPORT int32_t ZYN_ENABLE_STREAMCALLBACK(void);
ZYN_EXPORT int32_t ZYN_DISABLE_STREAMCALLBACK(void);

/* ---- Conversions (pure; Threads: any) ----------------------------------- */

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

/* ---- Extensions ------------------------------------------------------------
 * Calls of zyn's own beyond the classic interface above. */

/* Why the last call that failed on this thread failed, as one line of text
 * naming the file or value concerned ("" before any failure). Successful
 * calls leave it alone. Valid until this thread's next failing call.
 * Threads: any. */
ZYN_EXPORT const char *ZYN_GET_LASTERROR(void);

/* Loads a sound file of any format zyn reads into a new wave in the
 * device's rate and channels, at the file's own level: at volume 1.0 a
 * full-scale file plays at full scale (unlike the classic loaders, which
 * keep 6 dB of headroom). The format is told from the content, never the
 * name:
 *   WAV and RF64 (PCM 8, 16, 24 and 32 bits, float 32 and 64 bits, also as
 *   WAVE_FORMAT_EXTENSIBLE), AIFF, FLAC, Ogg Vorbis, Ogg Opus, and MPEG
 *   audio by the rule of ZYN_LOAD_MP3FILE. MP3 is gapless: the encoder delay
 *   and padding a LAME/Xing info frame records are removed; without one,
 *   the decoder's own delay of 529 samples.
 * Rates are converted with libsoxr at high quality. Samples are rounded to
 * 16 bits (no dither); float samples beyond full scale clip. Channels are
 * mixed to the device's: front left/right go to their side with weight 1;
 * side, back and top channels to their side with 0.7071; centre, mono and
 * unnamed channels to both sides with 0.7071; LFE nowhere. Each side's
 * weights are then divided by their sum (a mono device takes both sides'
 * weights together), so a signal equal in every channel keeps its level
 * and nothing clips; a mono file plays at its own level on both sides.
 * Nothing is written to disk, and memory beyond the wave stays small.
 * Fails: 0 and *wave = -1 (with ZYN_GET_LASTERROR saying why, naming the
 *   file) without a device, for a file that cannot be opened, is not in a
 *   format zyn reads, is damaged, holds no audio, has a rate outside
 *   1000..768000 Hz or makes a wave over 2 GiB, without memory, when the
 *   device closes or changes format during the load, and inside a
 *   callback. 0 without touching anything for a null wave.
 * Threads: app; refused inside a callback.
 * Blocks: reads and decodes the whole file without the engine lock (a
 *   minute of stereo takes about 2 ms as 16-bit WAV, 40 ms as FLAC, 60 ms
 *   as MP3, 100 ms as Vorbis, 300 ms as Opus; rate conversion adds about
 *   40 ms). */
ZYN_EXPORT int32_t ZYN_LOAD_FILE(const char *path, int32_t *wave);
/* ZYN_LOAD_FILE on a file image of bytes bytes in memory, read in place
 * (the caller keeps it; it may be freed when the call returns). Failure
 * texts speak of "the data in memory".
 * Fails: as ZYN_LOAD_FILE, and for null data or 0 bytes.
 * Threads: app; refused inside a callback. Blocks: as ZYN_LOAD_FILE. */
ZYN_EXPORT int32_t ZYN_LOAD_MEMORY(const void *data, size_t bytes, int32_t *wave);

/* For a host window: queues one key text of 1 or 2 bytes (255 then the scan
 * code for extended keys) for ZYN_GET_KEYCODE. The queue holds 15 keys; the
 * oldest is dropped. Fails: null text, bytes other than 1 or 2.
 * Threads: any. */
ZYN_EXPORT int32_t ZYN_PUSH_KEYTEXT(const char *text, int32_t bytes);
/* For a host window: 1 says a window feeds the key queue (the terminal is no
 * longer read), 0 gives the terminal back. Always 1. Threads: app. */
ZYN_EXPORT int32_t ZYN_SET_KEYWINDOW(int32_t attached);

/* 1 while the sound plays (paused or muted included), 0 once it has ended
 * or been stopped, and for no such sound. Threads: callback. */
ZYN_EXPORT int32_t ZYN_IS_PLAYING(int32_t sound);
/* Called with a sound's handle when it has played to its end (not when it is
 * destroyed or stopped), once per end, for sounds started with a handle. */
typedef void (*ZynEndCallback)(int32_t sound, void *user);
/* Sets the end callback and its user data (null turns it off). It runs on an
 * engine-owned event thread, never on the output thread, a few milliseconds
 * after the block in which the sound ended; it may use the whole interface
 * (the sound may have been destroyed or its row reused by then). ZYN_EXIT
 * waits for a callback that is running to return, then pauses the event
 * thread and forgets pending ends; the callback stays set
 * for the next ZYN_INIT. Fails: inside a sound, stream or master callback;
 * no thread could be started. Threads: app (also the end callback itself).
 * Blocks: turning it off joins the event thread (it ends within 2 ms after
 * the callback it runs). */
ZYN_EXPORT int32_t ZYN_SET_ENDCALLBACK(ZynEndCallback callback, void *user);

/* How a sound is read between frames at speeds other than exactly 1.0 (at
 * 1.0 every mode plays the frames as they are):
 *   ZYN_RESAMPLE_NEAREST  the frame the position is in (the default, as ever);
 *   ZYN_RESAMPLE_LINEAR   straight lines between frames;
 *   ZYN_RESAMPLE_CUBIC    4-point Hermite curves (everything but a 5 kHz tone
 *                         played at 1.37 stays 46 dB down);
 *   ZYN_RESAMPLE_SINC     16-tap windowed sinc, band-limited (76 dB down;
 *                         faster sounds lose their upper octave instead of
 *                         folding it down, up to a speed of 4).
 * The taps read across a loop seam or the play range's edge the way the
 * sound goes on. */
#define ZYN_RESAMPLE_NEAREST 0
#define ZYN_RESAMPLE_LINEAR 1
#define ZYN_RESAMPLE_CUBIC 2
#define ZYN_RESAMPLE_SINC 3
/* The mode each new sound takes when it is started (ZYN_PLAY_WAVE,
 * ZYN_CREATE_SOUND). Needs no device. Fails: an unknown mode, no memory.
 * Threads: app. Blocks: the first cubic or sinc call builds its tables
 * (a few milliseconds, tens for the sinc). */
ZYN_EXPORT int32_t ZYN_SET_RESAMPLER(int32_t mode);
/* One sound's mode. Fails: an unknown mode or sound, no memory; inside a
 * callback also a mode whose tables no ZYN_SET_RESAMPLER or
 * ZYN_SET_SOUNDRESAMPLER call has built yet. Threads: callback.
 * Blocks: as ZYN_SET_RESAMPLER. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDRESAMPLER(int32_t sound, int32_t mode);

/* Click-free changes: over this many milliseconds (clamped to 0..100; NaN
 * is 0) a sound's volume and pan glide linearly to new values instead of
 * jumping, a start fades in, and a mute, a pause or ZYN_DESTROY_SOUND of a
 * sound that is heard fades it out before taking effect (getters answer the
 * new values at once; a destroyed sound's handle is gone at once). 0, the
 * default, is the exact classic behaviour. While a sound glides it is mixed
 * through its work buffer; sounds that do not glide cost nothing more.
 * Always 1; needs no device. Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_SMOOTHING(float milliseconds);

#ifdef __cplusplus
}
#endif

#endif /* ZYN_H */
