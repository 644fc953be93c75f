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
 *            the rate and channel count of the open device. A wave keeps
 *            the format it was made in when ZYN_INIT opens another (see
 *            ZYN_GET_WAVEINFO). Sizes are bytes.
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
/* A copy of the plug-in folder, valid until this thread calls it again
 * (inside a callback a copy of at most 4095 bytes, which allocates nothing).
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
 * ZYN_SET_PLUGPATH) and opens the first that accepts the format (only the
 * one ZYN_SET_PLUGNAME chose, when it did); called again, it closes the
 * open device (or the render of ZYN_INIT_RENDER) first and keeps waves,
 * sounds, groups and the clock (an MP3 stream ends when the format
 * changes), also those other threads start while it runs: each keeps
 * playing under its handle. A wave keeps its samples, where they are, in the
 * format it was made in; on a device of another format its sounds play at
 * their pitch, converted to the device's channels (a mono wave on both
 * sides, a stereo wave averaged) before volume and pan. buffers is clamped
 * to 1..64; device -1 is the default device, 0 and up an entry of the
 * listing ZYN_GET_NUMOFDEVICES made (only the listed plug-in is tried).
 * Returns the start result: 1 when output runs.
 * Fails: 0 for a rate outside 4000..768000 Hz, channels other than 1 or 2,
 *   frames outside 16..1048576, a ZYN_SET_PLUGNAME no plug-in has (refused
 *   before any plug-in sees them; an open device stays as it was); 0 when
 *   no plug-in accepts, or the listed device is gone (the engine is
 *   then closed: queries answer 0, waves wait for a later ZYN_INIT and
 *   ZYN_EXIT releases them).
 * Threads: app; refused inside a callback.
 * Blocks: loads the plug-ins (first call); a plug-in may wait up to about
 *   2 s for a sound server, and up to 2.5 s more for a system bus (real-time
 *   priority, see ZYN_SET_REALTIME), that does not answer. */
ZYN_EXPORT int32_t ZYN_INIT(int32_t rate, int32_t channels, int32_t buffers, int32_t frames,
                            int32_t device);
/* Starts output of the open device; returns the plug-in's result.
 * Fails: 0 when no device is open (also while the engine renders, see
 * ZYN_INIT_RENDER) or inside a callback.
 * Threads: app. Blocks: while the plug-in starts its output thread and asks
 *   for its real-time priority (up to 2.5 s for a system bus that does not
 *   answer; see ZYN_SET_REALTIME). */
ZYN_EXPORT int32_t ZYN_START(void);
/* Stops output; 1 when nothing runs, else the plug-in's result.
 * Fails: 0 inside a callback (stopping joins the thread that runs it).
 * Threads: app. Blocks: until the output thread has finished its block. */
ZYN_EXPORT int32_t ZYN_STOP(void);
/* Stops and closes the device (or the render), ends the stream, releases
 * every wave, sound and group and the plug-in libraries, and sets the clock
 * back to 0. Settings survive (plug-in folder, channel
 * limit, master volume, filters, master callback). Runs by itself at process
 * end. Returns 1, also when nothing was open.
 * Fails: 0 inside a callback, doing nothing.
 * Threads: app. Blocks: about 500 ms when a device was open, so that it can
 *   drain before its library goes; joins the stream's decoder thread; then
 *   waits for an end callback that is running to return (not when called
 *   from inside one). */
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

/* Sounds playing at the last block (those past the channel limit included,
 * those paused or waiting for their frame not), 0 while output is stopped
 * (an engine that renders answers for its last ZYN_RENDER). */
ZYN_EXPORT int32_t ZYN_GET_PLAYINGSOUNDS(void);
/* 1 when the MP3 stream had decoded data at the last block, 0 while output
 * is stopped (an engine that renders answers for its last ZYN_RENDER). */
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

/* A silent wave of frames frames in the device format, which it keeps (see
 * ZYN_GET_WAVEINFO); writes its handle and the address of its samples,
 * which the caller may fill and which never move.
 * Fails: 0 and *wave = -1 without a device, for frames < 1, a wave over
 *   2 GiB, no memory, or inside a callback.
 * Threads: app. Blocks: while the zeroed block is allocated. */
ZYN_EXPORT int32_t ZYN_CREATE_WAVE(int32_t frames, int32_t *wave, int16_t **samples);
/* Releases the wave and frees every sound that plays it; *wave becomes -1.
 * Fails: 0 for null or an unknown handle, and inside a callback (the mix may
 *   still read the samples).
 * Threads: app. */
ZYN_EXPORT int32_t ZYN_DESTROY_WAVE(int32_t *wave);
/* Duration of the wave in milliseconds: its frames at its own rate, the
 * device's when it was made (saturates).
 * Fails: null, unknown handle, no device. Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_WAVELENGTH(int32_t wave, int32_t *milliseconds);
/* First sample, one past the last byte and the wave's own channel count
 * (the device's when it was made); each out may be null.
 * Fails: unknown handle. Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_WAVEPOINTERS(int32_t wave, int16_t **start, int16_t **end,
                                        int32_t *channels);

/* ---- Loaders ---------------------------------------------------------------
 * A file converted once into a new wave in the device's rate (nearest frame)
 * and channels, as the device has them when the load starts; the wave keeps
 * that format (a ZYN_INIT in another format during the load changes
 * nothing). These loaders give half the file's level: 6 dB of headroom
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
 * and plays it loops times (< 1: endless), from the next block on (a start
 * waiting for its frame, see ZYN_PLAY_SOUND_AT, is dropped). */
ZYN_EXPORT int32_t ZYN_PLAY_SOUND(int32_t sound, int32_t loops);
/* Frees the sound's row and work buffer; *sound becomes -1. Inside a callback
 * (also the sound's own) the row keeps its work buffer for the next sound,
 * so the block being mixed stays valid. Once it returns the sound's callback
 * is never called again, also while the sound fades out (ZYN_SET_SMOOTHING),
 * so its context may be freed at once. */
ZYN_EXPORT int32_t ZYN_DESTROY_SOUND(int32_t *sound);
/* Speed factor, clamped to +-16383; 0 and NaN become 1.0; negative plays
 * backwards; a speed closer to 0 than 1/65536 becomes 1/65536 of the other
 * sign (the smallest step there is). A wave made at another rate than the
 * device's is read at speed x wave rate / device rate, so 1.0 keeps its
 * pitch; ZYN_GET_SOUNDSPEED answers the speed as set. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDSPEED(int32_t sound, float speed);
ZYN_EXPORT int32_t ZYN_GET_SOUNDSPEED(int32_t sound, float *speed);
/* Volume factor: above 2.0 becomes 2.0, below 0.0001 and NaN become 0.0.
 * Ends a fade (ZYN_FADE_SOUND) where it stands, and its stop. */
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
 * wave's frame they point into (its own channel count, see
 * ZYN_GET_WAVEINFO); start and end are exchanged when reversed; an end at
 * or before the wave keeps one frame, and so does a range whose start and
 * end meet (it keeps the frame at the start, or the one before at the
 * wave's end), so that a sound always ends.
 * Fails: also without a device. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDPOINTERS(int32_t sound, int16_t *start, int16_t *position,
                                         int16_t *end);
/* Play range start, position and end; each out may be null. */
ZYN_EXPORT int32_t ZYN_GET_SOUNDPOINTERS(int32_t sound, int16_t **start, int16_t **position,
                                         int16_t **end);
/* Duration of the play range at the sound's speed, times its loops, in ms:
 * the wave's own frames at its own rate (saturates).
 * Fails: also without a device. */
ZYN_EXPORT int32_t ZYN_GET_SOUNDLENGTH(int32_t sound, int32_t *milliseconds);

/* ---- MP3 stream (one at a time) ----------------------------------------- */

/* Opens an MPEG audio file for streaming (the rule of ZYN_LOAD_MP3FILE
 * decides what is MPEG audio); nothing plays yet.
 * Fails: 0 without a device, while a stream is active, for a file that
 *   cannot be opened or is not MPEG audio (nothing stays open), and inside
 *   a callback. Threads: app. Blocks: reads the first 70 KiB of the file. */
ZYN_EXPORT int32_t ZYN_CREATE_MP3STREAM(const char *file);
/* Sets volume and pan and starts decoding on a thread of its own; the stream
 * is heard from the first block decoded, and ends by itself once its last
 * block has played (a file that yields no audio ends at the next block).
 * Fails: 0 without a created stream, inside a callback, and when the stream
 *   is already decoding (which ends it); 0 also once the file is decoded
 *   while its last blocks still play, which then play on unchanged (create
 *   the stream again to restart it). Threads: app. Blocks: starts a thread. */
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
 * with one goes through its work buffer. The block has the device's rate
 * and channels, also for a wave made in another format. Fails: unknown sound; enable and
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
 * device's rate and channels (as the device has them when the load starts;
 * the wave keeps them), at the file's own level: at volume 1.0 a
 * full-scale file plays at full scale (unlike the classic loaders, which
 * keep 6 dB of headroom). The format is told from the content, never the
 * name:
 *   WAV, RIFX and RF64 (PCM 8, 16, 24 and 32 bits, float 32 and 64 bits,
 *   also as WAVE_FORMAT_EXTENSIBLE, and the encodings libsndfile reads),
 *   AIFF/AIFC, FLAC, Ogg Vorbis (the first link of a chained file), Ogg
 *   Opus, MPEG audio by the rule of ZYN_LOAD_MP3FILE, and every other
 *   container the installed libsndfile recognises by its header, in the
 *   encodings it reads: with libsndfile 1.2 AU/SND (8, 16, 24, 32-bit,
 *   float, u-law, A-law), CAF, W64, VOC, IRCAM/SF, PAF, NIST Sphere, AVR,
 *   HTK, MAT4, MAT5, PVF, SDS, XI, WVE, MPC 2000 and mono IFF/8SVX.
 *   Headerless data is never guessed at. MP3 is gapless: the encoder delay
 *   and padding a LAME/Xing info frame records are removed; without one,
 *   the decoder's own delay of 529 samples.
 * WAV and AIFF chunks are walked by zyn before the decoder sees them:
 *   only the format and data chunks are used; a chunk whose size runs past
 *   the end hides whatever follows it, and a data chunk that runs past the
 *   end (a recording cut short, a streaming writer's size) loads the whole
 *   frames that are there. An Ogg Vorbis file cut short loads up to its
 *   last whole page.
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
 *   format zyn reads (the text lists the containers as libsndfile names
 *   them), is damaged, is a WAV or AIFF file without a usable format or
 *   data chunk before a chunk that runs past its end (or within its first
 *   4096 chunks), is a stereo IFF/8SVX file (libsndfile reads its channels
 *   wrongly), holds no audio, has a rate outside 1000..768000 Hz or makes a
 *   wave over 2 GiB, without memory, when the engine closes during the load
 *   (ZYN_EXIT, a failed ZYN_INIT), and inside a callback. A device re-opened
 *   in another format during the load is no failure: the wave is kept in the
 *   format it was converted to. 0 without touching anything for a null
 *   wave. A failed load keeps no memory.
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

/* The wave's length in its own frames, and the rate and channel count its
 * samples are in: those of the device it was made for (ZYN_CREATE_WAVE and
 * every loader convert to the device's format when they run), which a later
 * ZYN_INIT in another format does not change. Each out may be null.
 * Fails: an unknown or destroyed handle, no engine (outs untouched).
 * Threads: callback. Blocks: never beyond the engine lock. */
ZYN_EXPORT int32_t ZYN_GET_WAVEINFO(int32_t wave, int64_t *frames, int32_t *rate, int32_t *channels);

/* For a host window: queues one key text of 1 or 2 bytes (255 then the scan
 * code for extended keys) for ZYN_GET_KEYCODE. The queue holds 15 keys; the
 * oldest is dropped. Fails: null text, bytes other than 1 or 2.
 * Threads: any. */
ZYN_EXPORT int32_t ZYN_PUSH_KEYTEXT(const char *text, int32_t bytes);
/* For a host window: 1 says a window feeds the key queue (the terminal is no
 * longer read), 0 gives the terminal back. Always 1. Threads: app. */
ZYN_EXPORT int32_t ZYN_SET_KEYWINDOW(int32_t attached);

/* 1 while the sound plays (paused, muted or waiting for its frame
 * included), 0 once it has ended or been stopped, and for no such sound.
 * Threads: callback. */
ZYN_EXPORT int32_t ZYN_IS_PLAYING(int32_t sound);
/* Called with a sound's handle when it has played to its end (not when it is
 * destroyed or stopped), once per end, for sounds started with a handle. */
typedef void (*ZynEndCallback)(int32_t sound, void *user);
/* Sets the end callback and its user data (null turns it off). It runs on an
 * engine-owned event thread, never on the output thread, a few milliseconds
 * after the block in which the sound ended, one call at a time, while the
 * engine is open (set before ZYN_INIT, it starts there). While the engine
 * renders (ZYN_INIT_RENDER) no event thread runs: the thread calling
 * ZYN_RENDER makes the calls, before ZYN_RENDER returns. It may use the
 * whole interface, ZYN_INIT, ZYN_EXIT and this call included (the sound may
 * have been destroyed or its row reused by then). Once this call returns, a
 * call of the callback set before it has returned, so that callback's user
 * data may be freed; from inside an end callback it waits for nothing.
 * ZYN_EXIT forgets the pending ends, whose sounds are gone, so none reaches
 * a later ZYN_INIT; the callback stays set for that ZYN_INIT. A ZYN_INIT on
 * an open engine keeps them, as it keeps the sounds.
 * Fails: inside a sound, stream or master callback; no thread could be
 *   started (the callback stays set). Threads: app (also the end callback).
 * Blocks: until a running call of the former callback returns. */
ZYN_EXPORT int32_t ZYN_SET_ENDCALLBACK(ZynEndCallback callback, void *user);

/* How a sound is read between frames at speeds other than exactly 1.0 (at
 * 1.0 every mode plays the frames as they are), and how a wave made at
 * another rate than the device's is read at any speed:
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
 * ZYN_CREATE_SOUND). Needs no device. Fails: an unknown mode, no memory;
 * inside a callback also a mode whose tables no call has built yet.
 * Threads: callback. Blocks: the first cubic or sinc call builds its tables
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
 * new values at once; a destroyed sound's handle and callback are gone at
 * once, and one fading out past the channel limit, unheard, ends on time
 * all the same). 0, the default, is the exact classic behaviour. While a
 * sound glides it is mixed through its work buffer; sounds that do not
 * glide cost nothing more.
 * Always 1; needs no device. Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_SMOOTHING(float milliseconds);

/* ---- Tracks ----------------------------------------------------------------
 * Music, ambience and speech of any length, streamed: each track's file is
 * decoded a few hundred milliseconds ahead of the mix by a small pool of
 * engine threads (never on the output thread, never under the engine
 * lock), so an hour of music takes no more memory than a second. Any
 * number play at once, summed into the mix after the sounds (the channel
 * limit counts sounds only). A track plays exactly what ZYN_LOAD_FILE
 * makes of the same file, frame for frame: every format it reads, at the
 * file's own level, channels mixed by its weights, MP3 gapless, the rate
 * converted by libsoxr at the same quality (in streaming mode: within
 * libsoxr's own rounding of the whole-file result; bit for bit the same
 * where no rate is converted).
 * Frames and positions are the file's own frames at its own rate. A track
 * plays passes: the first from where it stands, each later one from its
 * loop start; each ends at its loop end (without loop points: from frame 0
 * to the file's end). Having played its last pass, a track ends: its end
 * callback runs, the track queued after it starts, and it is rewound to
 * frame 0. A track whose decoding falls behind is silent for the frames it
 * lacks and goes on where it was (ZYN_GET_TRACKUNDERRUNS counts them); it
 * never holds up the mix. ZYN_INIT with another device format makes every
 * track anew for it at the place it stands; ZYN_EXIT closes them all.
 * Handles are int32 (-1 is none); a closed handle may be given to the next
 * track opened.
 * Threads: calls that decode (open, play, seek, loop points, queue,
 * crossfade) or close are "app" and refused inside a callback; the others
 * are "callback". */

/* Opens a sound file of any format ZYN_LOAD_FILE reads as a stopped track
 * at frame 0, decodes its first frames and writes its handle to *track.
 * Fails: 0 and *track = -1 (ZYN_GET_LASTERROR names the file) without a
 *   device, for a file that cannot be opened, is not in a format zyn reads,
 *   is damaged at its start, holds no audio or has a rate outside
 *   1000..768000 Hz, without memory or a decoding thread, when the device
 *   changes format meanwhile, and inside a callback; 0 without touching
 *   anything for a null track.
 * Threads: app. Blocks: reads the file's header and decodes its first
 *   100 ms (a millisecond or two). */
ZYN_EXPORT int32_t ZYN_OPEN_TRACK(const char *path, int32_t *track);
/* ZYN_OPEN_TRACK on a file image in memory, read in place: the bytes must
 * stay valid and unchanged until ZYN_CLOSE_TRACK (the engine reads them
 * while the track plays, and never after the close). Failure texts speak
 * of "the data in memory". Fails: as ZYN_OPEN_TRACK, and for null data.
 * Threads: app. Blocks: as ZYN_OPEN_TRACK. */
ZYN_EXPORT int32_t ZYN_OPEN_TRACKMEMORY(const void *data, size_t bytes, int32_t *track);
/* Closes the track (stopping it) and sets *track to -1; a queue through
 * it is cut there. Its file or memory is not read again.
 * Fails: a null pointer, an unknown handle, inside a callback.
 * Threads: app. Blocks: while a decoding thread finishes the piece it
 * decodes for this track (a few milliseconds). */
ZYN_EXPORT int32_t ZYN_CLOSE_TRACK(int32_t *track);
/* Plays the track from where it stands, loops passes (ZYN_LOOP_FOREVER:
 * without end), the current pass counted as the first; also resumes a
 * paused track. The next block plays it.
 * Fails: loops below 1 (tracks have no "0 is endless"), an unknown handle,
 *   a file that cannot be read again from its start, inside a callback.
 * Threads: app. Blocks: decodes anew (a few ms) when it stands at frame 0
 *   after an end or a stop not yet prepared, or when the new passes change
 *   frames already decoded. */
ZYN_EXPORT int32_t ZYN_PLAY_TRACK(int32_t track, int32_t loops);
/* Stops the track at once and rewinds it to frame 0 (the pool decodes the
 * start again; ZYN_PLAY_TRACK does it itself when the pool has not yet).
 * A fade that was to stop it gives back its volume. Fails: an unknown
 * handle. Threads: callback. */
ZYN_EXPORT int32_t ZYN_STOP_TRACK(int32_t track);
/* A paused track (any non-zero value) is silent and keeps its place, its
 * fades held. Fails: an unknown handle. Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_TRACKPAUSED(int32_t track, int32_t paused);
/* Volume 0.0 .. 2.0 as a sound's (below 0.0001 and NaN are 0.0); stops a
 * fade. The getter gives the volume now, mid-fade too.
 * Fails: an unknown handle (or a null out). Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_TRACKVOLUME(int32_t track, float volume);
ZYN_EXPORT int32_t ZYN_GET_TRACKVOLUME(int32_t track, float *volume);
/* Pan -1 .. +1 as a sound's (NaN is 0). Fails: an unknown handle (or a
 * null out). Threads: callback. */
ZYN_EXPORT int32_t ZYN_SET_TRACKPAN(int32_t track, float pan);
ZYN_EXPORT int32_t ZYN_GET_TRACKPAN(int32_t track, float *pan);
/* Moves the track to file frame `frame` (0 .. its length); it keeps
 * playing or stays stopped, with the passes it had left. Returns once the
 * track holds audio from there: the next block starts exactly at that
 * frame. A frame at or past the loop end ends that pass at once.
 * Fails: a frame below 0 or past the file's length, an unknown handle,
 *   inside a callback (the track is where it was), and a file the decoder
 *   cannot seek in (damaged there): the track then ends, as a file that
 *   goes bad does, once what was decoded has played.
 * Threads: app. Blocks: for the seek and decoding 100 ms from there (a few
 *   ms; never holds up the mix). In a file that does not say its length
 *   (ZYN_GET_TRACKINFO's -1: an Ogg file cut short, a stream written
 *   without one) the seek reads from the start up to the frame, which takes
 *   as long as decoding that much. */
ZYN_EXPORT int32_t ZYN_SEEK_TRACK(int32_t track, int64_t frame);
/* The file frame the next mixed block starts at (0 after a stop or end).
 * Fails: an unknown handle, a null frame. Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_TRACKPOSITION(int32_t track, int64_t *frame);
/* The file's length in frames (-1 when its header does not say, until the
 * decoding has reached its end), its rate and its channel count; each out
 * may be null. Fails: an unknown handle. Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_TRACKINFO(int32_t track, int64_t *frames, int32_t *rate, int32_t *channels);
/* Loop points: every pass after the first starts at `start`, and every
 * pass ends at `end` (-1: the file's end), so music with an intro plays
 * the intro once and then the loop region, sample-exact: frame for frame
 * the intro followed by [start, end) again and again. Applies from now
 * (a pass already past `end` ends at once).
 * Fails: start below 0, end not -1 and not above start, either past the
 *   file's length, an unknown handle, inside a callback.
 * Threads: app. Blocks: decodes anew from where the track stands (a few
 *   ms) when frames already decoded no longer follow the loop. */
ZYN_EXPORT int32_t ZYN_SET_TRACKLOOP(int32_t track, int64_t start, int64_t end);
/* When `track` ends (its last pass, not a stop), `next` starts on the very
 * next frame with its own settings (volume, pan, loop points, the passes
 * of its last ZYN_PLAY_TRACK, 1 before any): no gap, no overlap. `next`
 * may have its own next: a chain of any length. A link is used once; -1
 * removes it. A `next` that plays already when `track` ends goes on as it
 * was. Fails: an unknown handle, a track following itself, a queue that
 * would come back round to `track`, inside a callback.
 * Threads: app. Blocks: decodes `next`'s start when it was stopped or
 * ended and the pool has not yet. */
ZYN_EXPORT int32_t ZYN_QUEUE_TRACK(int32_t track, int32_t next);
/* The volume glides in a straight line to `volume` (clamped as
 * ZYN_SET_TRACKVOLUME) over `milliseconds` (NaN and below 0 are 0,
 * beyond an hour an hour) of playing; with `stop` non-zero the track stops
 * when the glide ends and takes back the volume it had before the fade,
 * ready to play again. A track that does not play takes the new volume at
 * once (with `stop`, it keeps its own). Fails: an unknown handle.
 * Threads: callback. */
ZYN_EXPORT int32_t ZYN_FADE_TRACK(int32_t track, float volume, float milliseconds, int32_t stop);
/* Over `milliseconds` (as ZYN_FADE_TRACK) `from` falls from its level to
 * silence on a quarter cosine and stops (then with its volume back), while
 * `to` rises to its volume on a quarter sine: equal power, so the sum of
 * two unrelated pieces of music keeps its loudness. `to` starts from
 * silence where it stands (with the passes of its last ZYN_PLAY_TRACK, 1
 * before any) when it does not play; a `to` that plays already rises from
 * its level now. A `from` that does not play is left alone.
 * Fails: an unknown handle, from == to, inside a callback.
 * Threads: app. Blocks: as ZYN_PLAY_TRACK for `to`. */
ZYN_EXPORT int32_t ZYN_CROSSFADE_TRACKS(int32_t from, int32_t to, float milliseconds);
/* 1 while the track plays (paused included), 0 when stopped, ended or no
 * such track. Threads: callback. */
ZYN_EXPORT int32_t ZYN_IS_TRACKPLAYING(int32_t track);
/* Sets the routine called with a track's handle when it has played its
 * last pass (not when it is stopped, faded out with stop or closed), and
 * its user data (null turns it off). It runs on the engine's event thread,
 * as ZYN_SET_ENDCALLBACK's does (the two are set apart and may both be set),
 * a few milliseconds after the block in which the track ended, when the
 * track queued after it has already started; it may use the whole
 * interface. A track that ended early because its file went bad (cut short
 * or changed on disk, damaged, no longer seekable) ends the same way, and
 * inside its call ZYN_GET_LASTERROR() names the file and says why; after a
 * track that played to its end it is "". ZYN_EXIT forgets pending ends;
 * the routine stays set for the next ZYN_INIT.
 * Fails: inside a sound, stream or master callback; no thread could be
 * started. Threads: app (also an end callback). Blocks: until a call of
 * the routine it replaces has returned. */
ZYN_EXPORT int32_t ZYN_SET_TRACKENDCALLBACK(ZynEndCallback callback, void *user);
/* Tracks playing (paused included). Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_PLAYINGTRACKS(void);
/* Device frames the track has been silent since it was opened because its
 * decoding had fallen behind (the machine was too busy, or the disk too
 * slow). Fails: an unknown handle, a null frames. Threads: callback. */
ZYN_EXPORT int32_t ZYN_GET_TRACKUNDERRUNS(int32_t track, int64_t *frames);

/* ---- Choosing and watching the output ----------------------------------
 * ZYN_INIT probes every plug-*.so in the plug-in folder: plug-wav.so,
 * plug-pulse.so, plug-alsa.so and plug-null.so first, in that order, then
 * the others by name. */

/* Chooses the plug-in that ZYN_INIT opens (and whose devices are listed):
 * by the name it reports (ZYN_GET_PLUGNAME, e.g. "PulseAudio"), its file
 * name ("plug-pulse.so") or the part between "plug-" and ".so" ("pulse"),
 * without regard to ASCII case. Null or "" gives the search order back. A
 * name no plug-in has is only found out by ZYN_INIT, which then fails,
 * naming the plug-ins it found and why others were left out. Read at each
 * ZYN_INIT; needs no device; the open device stays as it is.
 * Fails: 0 for a name longer than 255 bytes or not valid UTF-8 (the choice
 *   stays as it was), inside a callback.
 * Threads: app; refused inside a callback. Blocks: never. */
ZYN_EXPORT int32_t ZYN_SET_PLUGNAME(const char *name);
/* The devices of the chosen plug-in (else the first one found), listed
 * afresh without opening it: PulseAudio's sinks, ALSA's playback PCMs, the
 * WAV plug-in's file; entry 0 is the default device ("default"). A plug-in
 * that cannot list has one device, its default. The listing is kept for
 * ZYN_GET_DEVICENAME and for ZYN_INIT's device index, which chooses from it
 * (-1: the default device): ZYN_INIT then tries only that plug-in, and fails
 * with a reason when the device has gone since the listing.
 * Returns the count; 0 with a reason when no plug-in is found or the chosen
 * name matches none, and inside a callback.
 * Threads: app; refused inside a callback.
 * Blocks: finds and probes the plug-ins when no ZYN_INIT has yet (as
 *   ZYN_INIT does); asking a sound server takes up to 1.5 s when it does
 *   not answer; waits while ZYN_INIT, ZYN_START, ZYN_STOP or ZYN_EXIT runs. */
ZYN_EXPORT int32_t ZYN_GET_NUMOFDEVICES(void);
/* The name of device index of the last listing (made now if there is
 * none): the device's identifier ("alsa_output.pci-0000_00_1f.3.analog-stereo",
 * "hw:CARD=PCH,DEV=0"), stable across runs, so a program may save the
 * name and look it up again. Valid until this thread calls it again.
 * Fails: "" with a reason for an index outside the listing, when no
 *   plug-in is found, and inside a callback.
 * Threads: app; refused inside a callback. Blocks: as ZYN_GET_NUMOFDEVICES. */
ZYN_EXPORT const char *ZYN_GET_DEVICENAME(int32_t index);
/* The real-time priority the output thread of a device plug-in (PulseAudio,
 * ALSA) asks for: SCHED_FIFO at this priority, clamped to 0..99; 0 keeps
 * normal scheduling. Default 10. The thread gets it itself where
 * RLIMIT_RTPRIO or CAP_SYS_NICE allow, else from rtkit over the system bus
 * (the priority is then cut to rtkit's limit, and the process's
 * RLIMIT_RTTIME lowered to rtkit's, as rtkit demands), else runs at normal
 * priority; ZYN_GET_OUTPUTSTATS tells which. Read at ZYN_INIT. Always 1.
 * Threads: any. Blocks: never (ZYN_INIT and ZYN_START may wait up to 2.5 s
 *   for a system bus that does not answer). */
ZYN_EXPORT int32_t ZYN_SET_REALTIME(int32_t priority);

/* Figures of the open output. */
typedef struct ZynOutputStats {
    int32_t size;        /* the caller sets sizeof(ZynOutputStats) */
    int32_t connected;   /* 1 while the device takes blocks */
    int32_t realtime;    /* the output thread's real-time priority, 0 for none */
    float latency_ms;    /* from a block's mix to its sound at the device, now */
    int64_t underruns;   /* times the device ran dry since ZYN_INIT */
    int64_t reconnects;  /* times the output came back after a loss */
} ZynOutputStats;
/* Fills *stats with the open output's figures; only the fields that fit in
 * stats->size bytes are written (so the struct may grow at its end), and
 * size keeps the caller's value. latency_ms is the device's own (PulseAudio's
 * stream latency, ALSA's delay, measured at the last block; zyn keeps no
 * queue of its own), 0 while not connected; for a plug-in that tells no
 * figures it is the queue asked for (buffers x frames / rate), connected
 * follows ZYN_GET_PLUGRUNNING and the counts stay 0. The WAV and null
 * plug-ins have no latency.
 * Fails: 0 for a null stats or a size below 4, and without an open device.
 * Threads: callback. Blocks: as ZYN_GET_PLUGERROR. */
ZYN_EXPORT int32_t ZYN_GET_OUTPUTSTATS(ZynOutputStats *stats);

/* ---- Groups ---------------------------------------------------------------
 * A group scales, mutes or pauses its member sounds and tracks together
 * (music, effects, the menu's sounds). A member's level is its own volume
 * times its group's; pan and everything else stay the member's. Groups are flat:
 * each feeds the master. Up to 1024 exist at once. Settings of a group act
 * from the next block mixed (also when set inside a callback), without the
 * glide of ZYN_SET_SMOOTHING. A group handle is a positive number that
 * names one group for its life: after ZYN_DESTROY_GROUP or ZYN_EXIT it is
 * refused, also when a new group takes the same place (after 2^21 groups
 * made in one place, an old handle would name the new one).
 * Setters and getters fail (0) for a handle of no live group and a null
 * out-argument. Threads: callback, unless said. Blocks: never beyond the
 * engine lock. */

/* Makes a group (volume 1, not muted, not paused) and writes its handle.
 * Fails: null group, no engine, 1024 groups in use, inside a callback (a new
 * group may grow the table). Threads: app. */
ZYN_EXPORT int32_t ZYN_CREATE_GROUP(int32_t *group);
/* Ends a group; its members play on without one. *group becomes -1.
 * ZYN_EXIT ends every group. Fails: null, an unknown handle. */
ZYN_EXPORT int32_t ZYN_DESTROY_GROUP(int32_t *group);
/* Puts a sound into a group (-1: into none), leaving any group it was in.
 * A sound starts in none. Fails: unknown sound or group. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDGROUP(int32_t sound, int32_t group);
/* The sound's group, -1 for none. Fails: unknown sound, null group. */
ZYN_EXPORT int32_t ZYN_GET_SOUNDGROUP(int32_t sound, int32_t *group);
/* A track joins a group as a sound does: its volume (as it stands or
 * fades) times the group's, held where it stands while the group is paused
 * (its own fades held too, as when paused itself), played on unheard while
 * the group is muted. A track starts in none, also when it takes the place
 * of a closed one. Fails: unknown track or group. */
ZYN_EXPORT int32_t ZYN_SET_TRACKGROUP(int32_t track, int32_t group);
/* The track's group, -1 for none. Fails: unknown track, null group. */
ZYN_EXPORT int32_t ZYN_GET_TRACKGROUP(int32_t track, int32_t *group);
/* Factor on every member's volume: above 2.0 becomes 2.0, below 0.0001 and
 * NaN become 0.0. Ends a fade (ZYN_FADE_GROUP) where it stands. */
ZYN_EXPORT int32_t ZYN_SET_GROUPVOLUME(int32_t group, float volume);
ZYN_EXPORT int32_t ZYN_GET_GROUPVOLUME(int32_t group, float *volume);
/* Members of a muted group advance in time but are not heard; any non-zero
 * value mutes (the getter answers 1). */
ZYN_EXPORT int32_t ZYN_SET_GROUPMUTED(int32_t group, int32_t muted);
ZYN_EXPORT int32_t ZYN_GET_GROUPMUTED(int32_t group, int32_t *muted);
/* Members of a paused group neither advance nor are heard, and are not
 * counted by ZYN_GET_PLAYINGSOUNDS; their own pause setting is kept. Any
 * non-zero value pauses (the getter answers 1). */
ZYN_EXPORT int32_t ZYN_SET_GROUPPAUSED(int32_t group, int32_t paused);
ZYN_EXPORT int32_t ZYN_GET_GROUPPAUSED(int32_t group, int32_t *paused);

/* ---- Fades -----------------------------------------------------------------
 * A sound's or a group's volume glides in a straight line, frame by frame,
 * from the level it has now (also midway through another fade, which the
 * new one replaces) to `volume` (clamped as ZYN_SET_SOUNDVOLUME clamps)
 * over `milliseconds` (0 .. 60000; more is 60000; 0 sets it from the next
 * block). The getters answer the target at once. A sound's fade runs while
 * the sound is mixed (a paused sound's waits, a muted one's runs on
 * unheard); a group's runs block by block from the next block mixed, and
 * waits while the group is paused, and every member follows it frame by
 * frame. ZYN_SET_SOUNDVOLUME or ZYN_SET_GROUPVOLUME ends a fade where it
 * stands and sets the new volume. Fades are independent of
 * ZYN_SET_SMOOTHING. A track in a group follows the group's fade as a sound
 * does (its own fade is ZYN_FADE_TRACK).
 * Fails: an unknown handle; `milliseconds` NaN or below 0 (nothing changes).
 * Threads: callback. Blocks: never beyond the engine lock. */

/* With `stop` non-zero the sound stops when the glide ends, as
 * ZYN_SET_SOUNDLOOPS(sound, 0) stops it (a stop: no end event;
 * ZYN_IS_PLAYING turns 0), and takes back the volume it had before the
 * fade, ready to play again; the frames after the glide's end are silent.
 * A sound that does not play takes the new volume at once (with `stop`, it
 * keeps its own); a stopping fade of 0 ms stops it at once. Any stop ends
 * a fade. */
ZYN_EXPORT int32_t ZYN_FADE_SOUND(int32_t sound, float volume, float milliseconds, int32_t stop);
ZYN_EXPORT int32_t ZYN_FADE_GROUP(int32_t group, float volume, float milliseconds);

/* ---- Clock ---------------------------------------------------------------- */

/* Frames mixed since the engine was opened, in 64 bits (it never wraps):
 * each block adds its frames once it is mixed, so inside a callback it is
 * the first frame of the block being mixed. ZYN_EXIT sets it back to 0; a
 * ZYN_INIT or ZYN_INIT_RENDER that re-opens an open engine keeps counting
 * (sounds waiting for a frame keep waiting for it), in frames of whichever
 * device mixes them. Fails: null frames, no engine. Threads: any.
 * Blocks: never. */
ZYN_EXPORT int32_t ZYN_GET_CLOCK(int64_t *frames);
/* ZYN_PLAY_SOUND, but the sound's first frame is output frame `frame` of the
 * clock exactly, also inside a block (the block's earlier frames hear
 * nothing of it); sounds given the same frame start on the same sample.
 * Until then it counts as playing for ZYN_IS_PLAYING and its loops, and is
 * not mixed. A frame the mix has already passed (or, inside a callback, is
 * mixing) is taken as the next block's first. A later ZYN_PLAY_SOUND starts
 * it at once; ZYN_SET_SOUNDLOOPS(sound, 0) stops it and the wait ends. A
 * sound paused (or in a paused group, or past the channel limit) when its
 * frame comes starts at the first block it is mixed in.
 * Fails: unknown sound; a negative frame; a frame more than 2^42 frames
 * after the clock (INT64_MAX among them), taken for a mistake.
 * Threads: callback. */
ZYN_EXPORT int32_t ZYN_PLAY_SOUND_AT(int32_t sound, int32_t loops, int64_t frame);

/* ---- Sound in space --------------------------------------------------------
 * A sound given a position is positional: its level and side come from
 * where it stands relative to the listener, its pitch from how fast the
 * two move towards each other. Right-handed coordinates in metres; the
 * listener starts at the origin facing -z with +y up, standing still.
 * Once per block the mix works out each positional sound's distance gain
 * (its distance model, times its volume, fades and group), its direction
 * and its Doppler factor, and the gains move in a straight line across the
 * block from those the last one ended on (a source moved block by block
 * never clicks). On a stereo device its direction pans it on an
 * equal-power law, replacing its pan (a source at the listener's position,
 * straight ahead, behind, above or below is centred at -3 dB each side; 90
 * degrees to the right is right only); a stereo sound is mixed to mono
 * first. A mono device hears the distance gain alone. With an HRTF loaded
 * (ZYN_SET_HRTF) a stereo device hears positional sounds binaurally
 * instead. Plain sounds are mixed exactly as before. A sound's callback
 * sees its block before its place is applied (after its volume).
 * Settings act from the next block mixed, also when set inside a callback.
 * ZYN_EXIT sets the listener and Doppler back to their defaults and drops
 * the HRTF; a new sound (also one taking a finished sound's handle) starts
 * plain, with the default settings below.
 * Vectors are three floats (x, y, z); each value must be finite and within
 * +-1e12: NaN, infinities and larger values are refused (0, a reason,
 * nothing changes). Getters fail for a null out-argument where only one is
 * asked; with several, a null one is skipped. Threads: callback, unless
 * said. Blocks: never beyond the engine lock, unless said. */

#define ZYN_DISTANCE_NONE 0        /* gain 1 at any distance */
#define ZYN_DISTANCE_INVERSE 1     /* reference / (reference + rolloff x (d - reference)) */
#define ZYN_DISTANCE_LINEAR 2      /* 1 - rolloff x (d - reference) / (maximum - reference), >= 0 */
#define ZYN_DISTANCE_EXPONENTIAL 3 /* (d / reference) ^ -rolloff */

/* The listener's position, facing and up: up is made perpendicular to
 * forward, and both are kept as unit vectors (the getter answers those).
 * Fails: a null or refused vector; a forward or up of (near) zero length;
 * forward and up (near) parallel (less than 0.001 rad apart). */
ZYN_EXPORT int32_t ZYN_SET_LISTENER(const float position[3], const float forward[3], const float up[3]);
ZYN_EXPORT int32_t ZYN_GET_LISTENER(float position[3], float forward[3], float up[3]);
/* The listener's velocity in metres per second (Doppler only; it never
 * moves the listener). Fails: a null or refused vector. */
ZYN_EXPORT int32_t ZYN_SET_LISTENERVELOCITY(const float velocity[3]);
ZYN_EXPORT int32_t ZYN_GET_LISTENERVELOCITY(float velocity[3]);
/* Places the sound at position, making it positional; NULL makes it plain
 * again (its own pan back). With ZYN_SET_SMOOTHING on, turning positional
 * or plain glides as a pan change does. A position, velocity or distance
 * model given to a sound for the first time allocates its place: inside a
 * callback only a sound that had one before (from the application) can be
 * given one. Fails: unknown sound, a refused position; in a callback as
 * said. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDPOSITION(int32_t sound, const float position[3]);
/* The sound's position (the origin when never set) and whether it is
 * positional (1) or plain (0). Fails: unknown sound. */
ZYN_EXPORT int32_t ZYN_GET_SOUNDPOSITION(int32_t sound, float position[3], int32_t *positional);
/* The sound's velocity in metres per second (Doppler only; default 0).
 * Fails: unknown sound, null or refused velocity; in a callback as for
 * ZYN_SET_SOUNDPOSITION. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDVELOCITY(int32_t sound, const float velocity[3]);
ZYN_EXPORT int32_t ZYN_GET_SOUNDVELOCITY(int32_t sound, float velocity[3]);
/* How the sound's gain falls with its distance d: one of ZYN_DISTANCE_,
 * the clamped laws of the common 3D audio interfaces (d is held within
 * reference .. maximum, so the gain is 1 inside the reference distance and
 * stays at the maximum's beyond it). Defaults: INVERSE, reference 1 m,
 * maximum INFINITY, rolloff 1. With NONE the numbers are not looked at.
 * Fails (nothing changes): an unknown model; a reference NaN, infinite or
 * not above 0; a maximum NaN or below the reference (+INFINITY is fine); a
 * rolloff NaN, infinite or below 0; unknown sound; in a callback as for
 * ZYN_SET_SOUNDPOSITION. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDDISTANCE(int32_t sound, int32_t model, float reference, float maximum,
                                         float rolloff);
ZYN_EXPORT int32_t ZYN_GET_SOUNDDISTANCE(int32_t sound, int32_t *model, float *reference, float *maximum,
                                         float *rolloff);
/* Doppler shift: a positional sound's speed is multiplied by
 * (c - f x vl) / (c - f x vs), with vl the listener's and vs the sound's
 * velocity along the line between them (positive from listener to sound:
 * approaching sounds rise), f the factor and c the speed of sound; each of
 * f x vl and f x vs is held within +-0.9 c, so the factor stays within
 * 1/19 .. 19 and never reverses a sound. The result keeps the speed range
 * of ZYN_SET_SOUNDSPEED, and a sound played backwards stays backwards (the
 * magnitude scales); every resampler mode applies. Defaults: factor 1,
 * 343.3 m/s; factor 0 turns it off. Fails (nothing changes): a factor NaN,
 * infinite or below 0; a speed of sound NaN, infinite or not above 0. */
ZYN_EXPORT int32_t ZYN_SET_DOPPLER(float factor, float speed_of_sound);
ZYN_EXPORT int32_t ZYN_GET_DOPPLER(float *factor, float *speed_of_sound);
/* Loads head-related impulse responses from a SOFA file (two receivers,
 * one emitter; "default" names the MIT KEMAR set libmysofa installs) for
 * the open device's rate, on the calling thread; from then on a stereo
 * device renders positional sounds binaurally (mixed to mono, convolved
 * with the responses interpolated for the sound's direction, a change of
 * direction cross-faded over 5 ms), plain sounds unchanged. The file's
 * responses are resampled to the device rate while loading. NULL or ""
 * turns it off. The set belongs to the rate it was loaded for: a device
 * re-opened at another rate pans positional sounds again until this is
 * called again (ZYN_GET_HRTF answers 0 then).
 * Fails (the previous state kept): a missing, unreadable, truncated or
 * invalid file, another layout, no engine, a build without libmysofa (the
 * reason says so), inside a callback. Threads: app. Blocks: while the file
 * is read and prepared (tens of milliseconds for the default set). */
ZYN_EXPORT int32_t ZYN_SET_HRTF(const char *sofa_file);
/* 1 when positional sounds are rendered binaurally on the open device, else
 * 0. Fails: null active. */
ZYN_EXPORT int32_t ZYN_GET_HRTF(int32_t *active);

/* ---- Effects ---------------------------------------------------------------
 * Filters on a sound, a track or a group's sum, and one shared reverb fed by
 * sends. In a block a sound is played, filtered, given its volume and pan
 * (a positional sound: its place, after its callback has seen it), seen by
 * its callback; then it goes to its group's bus or the master, and times
 * its send to the reverb. A group with a filter or a send sums its
 * members (each at its volume times the group's) into a bus of its own,
 * filters the sum once, and sends it to the master and, times its send, to
 * the reverb. The reverb's return, times its wet level, joins the master
 * before the master volume, filters and callback. Whatever has nothing to
 * do is skipped: with every filter NONE and every send 0 the output is bit
 * for bit what it is without these calls.
 * Filters are second-order (the audio-EQ cookbook's responses):
 * ZYN_FILTER_LOWPASS and ZYN_FILTER_HIGHPASS fall 12 dB per octave beyond
 * the cutoff (-3 dB at it for q 0.7071), ZYN_FILTER_BANDPASS passes the
 * cutoff at 0 dB with a width set by q; ZYN_FILTER_NONE passes the signal
 * through untouched. The cutoff is clamped into 10 Hz .. 0.49 x the device
 * rate and q into 0.1 .. 20 (the getters answer the clamped values); a
 * change glides over 5 ms so that it does not click (turning a filter on
 * starts from the plain signal). A re-opened device keeps every filter at
 * its settings, clamped for the new rate. Sends are 0..1 (clamped; below
 * 0.000001 is 0), default 0, and glide across one block.
 * Setters fail (0, nothing changed) for an unknown or destroyed handle, a
 * type none of the four, a NaN or infinite cutoff, q or send, and a filter
 * set with no device open (its range depends on the rate). A sound's or
 * track's settings start afresh (NONE, send 0) when a new sound or track
 * takes its place. Getters fail for a null out-argument or an unknown
 * handle. Threads: callback (none of them allocates but the first
 * ZYN_SET_REVERB, see there; in a callback a sound's or track's change acts
 * from the frames it renders next, a group's from the next block).
 * Blocks: never beyond the engine lock. */
#define ZYN_FILTER_NONE 0
#define ZYN_FILTER_LOWPASS 1
#define ZYN_FILTER_HIGHPASS 2
#define ZYN_FILTER_BANDPASS 3

/* A sound's filter, after its playback and before its volume and pan. A
 * sound that is not playing (stopped, paused, or waiting for its start)
 * takes the new settings at once, without the glide: set a filter between
 * ZYN_CREATE_SOUND and ZYN_PLAY_SOUND to hear it from the first frame. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDFILTER(int32_t sound, int32_t type, float cutoff, float q);
ZYN_EXPORT int32_t ZYN_GET_SOUNDFILTER(int32_t sound, int32_t *type, float *cutoff, float *q);
/* A group's filter, on the sum of its members and tracks. */
ZYN_EXPORT int32_t ZYN_SET_GROUPFILTER(int32_t group, int32_t type, float cutoff, float q);
ZYN_EXPORT int32_t ZYN_GET_GROUPFILTER(int32_t group, int32_t *type, float *cutoff, float *q);
/* A track's filter, after its decoding and before its volume and pan. */
ZYN_EXPORT int32_t ZYN_SET_TRACKFILTER(int32_t track, int32_t type, float cutoff, float q);
ZYN_EXPORT int32_t ZYN_GET_TRACKFILTER(int32_t track, int32_t *type, float *cutoff, float *q);

/* The shared reverb, a Schroeder-Moorer design (eight damped feedback
 * combs and four all-passes per channel). Each value is 0..1 (clamped):
 * room_size sets the decay time, 60 dB in 0.25 s x 40^room_size (0.25 s at
 * 0, 1.58 s at 0.5, 10 s at 1); damping makes the tail's highs die sooner
 * than its lows; width spreads the return from the same signal on both
 * sides (0) to two independent tails (1); wet scales the return into the
 * master (0: none; at 1 an impulse's tail carries the impulse's energy).
 * Default 0.5, 0.5, 1, 0 (silent until wet is raised). Changes reach a
 * ringing tail across the next block. The settings are kept from call to
 * call, also across ZYN_INIT and ZYN_EXIT (the tail is not). The reverb
 * runs only in blocks where a send feeds it or its tail still rings; on a
 * mono device the return is the mean of its two sides. Its memory (about
 * 100 KiB at 44.1 kHz, more for long blocks) is taken by the first call
 * with wet above 0 while a device is open (or by the ZYN_INIT after one).
 * Fails: any value NaN or infinite (nothing changes); that first call inside
 * a callback (nothing changes: the output thread never allocates); no
 * memory for it (the settings are kept). Threads: callback, but see Fails.
 * Blocks: while it allocates, that first time. */
ZYN_EXPORT int32_t ZYN_SET_REVERB(float room_size, float damping, float width, float wet);
ZYN_EXPORT int32_t ZYN_GET_REVERB(float *room_size, float *damping, float *width, float *wet);
/* How much of a sound (after its volume, pan and callback), a group's sum
 * (after its filter) or a track (after its volume and pan) goes to the
 * reverb, on top of what goes to the master; a stereo voice is sent as the
 * mean of its sides. */
ZYN_EXPORT int32_t ZYN_SET_SOUNDREVERB(int32_t sound, float send);
ZYN_EXPORT int32_t ZYN_GET_SOUNDREVERB(int32_t sound, float *send);
ZYN_EXPORT int32_t ZYN_SET_GROUPREVERB(int32_t group, float send);
ZYN_EXPORT int32_t ZYN_GET_GROUPREVERB(int32_t group, float *send);
ZYN_EXPORT int32_t ZYN_SET_TRACKREVERB(int32_t track, float send);
ZYN_EXPORT int32_t ZYN_GET_TRACKREVERB(int32_t track, float *send);

/* ---- Rendering on the caller's thread -------------------------------------
 * For offline export, tests, and mixing inside another program's audio
 * callback (SDL, JACK, a game engine). */

/* Opens the engine with no device: no plug-in is loaded and nothing runs by
 * itself; ZYN_RENDER mixes. The format is checked as ZYN_INIT checks it,
 * and frames is the largest block ZYN_RENDER mixes at once. On an open
 * engine it closes the device (or the render format) first and keeps
 * waves, sounds, groups and the clock as a re-opening ZYN_INIT does. The
 * device queries then answer "Render", this format and buffers 1;
 * ZYN_GET_PLUGRUNNING answers 0 and ZYN_START fails (there is nothing to
 * start); ZYN_STOP does nothing. End callbacks run on the thread calling
 * ZYN_RENDER (see there). ZYN_EXIT closes it as it closes a device.
 * Fails: the format checks of ZYN_INIT (an open engine stays as it was);
 * inside a callback. Threads: app.
 * Blocks: while a ZYN_RENDER on another thread finishes. */
ZYN_EXPORT int32_t ZYN_INIT_RENDER(int32_t rate, int32_t channels, int32_t frames);
/* Mixes exactly `frames` frames in the format ZYN_INIT_RENDER opened into
 * samples (frames x channels values), on the calling thread, in blocks of
 * at most the frames it was opened with (the last one may be shorter), each
 * going through the whole mix as a device's block does: the clock advances,
 * sound, stream and master callbacks run (on this thread), ramps and
 * scheduled starts happen on their frame. Before each block it waits for
 * the MP3 stream's decoder to have the block ready (up to about 2 s of no
 * progress), so the same calls give the same samples. Once the blocks are
 * mixed, and holding no lock, it calls the end callback (ZYN_SET_ENDCALLBACK)
 * on this thread for each sound that ended in them, one at a time (no event
 * thread runs while the engine renders); those calls may use the whole
 * interface, ZYN_RENDER and ZYN_EXIT included.
 * Fails (samples untouched): null samples, frames outside 1..1048576, no
 * engine, an engine opened with ZYN_INIT (a device mixes it), inside a
 * sound, stream or master callback.
 * Threads: app (also an end callback). Blocks: while it mixes; while ZYN_INIT,
 * ZYN_EXIT or another ZYN_RENDER runs; waits for the stream's decoder. */
ZYN_EXPORT int32_t ZYN_RENDER(int16_t *samples, int32_t frames);

#ifdef __cplusplus
}
#endif

#endif /* ZYN_H */
