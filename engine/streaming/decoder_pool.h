// The threads that decode every track ahead of the mix: a small pool, not
// a thread per track. Each visits the tracks in turn and tops up those
// whose ring has run down (track_decoding.h), skipping one another's: a
// track is decoded by whoever holds its decode lock.
//
// The fill makes no system call and cannot wake anyone, so while a track
// plays the pool looks every few milliseconds; with none playing it sleeps
// until an application call wakes it. A ring holds a few hundred
// milliseconds, so a pool that falls a few polls behind is not heard.
#pragma once

namespace zyn {

// Lets the threads start (ZYN_INIT).
void allow_decoder_pool();
// Starts the threads when they do not run (a track was opened). False with
// the reason recorded when no thread could be started, or when the engine
// is closing (stop_decoder_pool came first).
bool start_decoder_pool();
// Something changed that may give the pool work. Not from inside a fill.
void wake_decoder_pool();
// Stops and joins the threads, and keeps them from starting again until
// allow_decoder_pool (ZYN_EXIT). Caller holds no track lock and not the
// engine lock.
void stop_decoder_pool();

// Tops up every open track whose ring has run down to its refill mark (or
// below two blocks) on the calling thread, rewinds included, waiting for
// the pool where it is at work on one: after it, a fill finds every
// track's next frames ready. For a mix run on the caller's own thread (an
// offline render) and for tests. Not inside a fill.
void top_up_tracks();

}  // namespace zyn
