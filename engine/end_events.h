// Knowing when a sound or a track ends: the fill notes each sound with a handle that
// played to its end in a fixed-size single-producer queue (it never
// allocates, blocks or calls user code for this), and an engine-owned event
// thread hands the handles to the application's end callback, which may use
// the whole interface from there.
//
// The callback may open, close or switch off the very machinery that runs
// it, so nothing here ever waits for an event thread while holding a lock:
// stopping a thread only tells it to end and moves it aside, and the thread
// is joined later by an application thread that holds no lock at all.
#pragma once

#include <cstdint>

namespace zyn {

// The fill's part (output thread, engine lock held): the sound in row ended.
// Dropped when nobody listens; dropped and counted when the queue is full.
void note_sound_ended(int32_t row);

// The same for the track in row, which played its last pass (failure "")
// or ended early because its decoding failed (failure says why; the event
// thread makes it the last error seen inside the track's end callback).
void note_track_ended(int32_t track, const char *failure);

// ZYN_INIT, once a device is open: events run from now on (an event thread
// starts when a callback is set). ZYN_INIT_RENDER (on_caller_thread): no
// event thread runs (one running ends, to be joined later); ZYN_RENDER
// delivers the events through deliver_end_events. Never waits for an event
// thread.
void open_end_events(bool on_caller_thread);
// ZYN_EXIT, with the engine lock held (so no fill notes an end afterwards):
// events stop and pending ones are forgotten, their sounds being gone. The
// event thread is told to end, not waited for.
void close_end_events();
// Joins every event thread told to end so far, waiting for a callback it
// still runs. For an application thread holding no engine lock; does
// nothing on an event thread (a callback never waits for another).
void join_stopped_end_events();

// ZYN_RENDER, holding no lock once its blocks are mixed: calls the end
// callback on the calling thread for every end noted so far, under the
// rules of the event thread (one call at a time; inside it, nothing waits
// for an end callback). Does nothing unless the engine renders, and leaves
// the events to another thread delivering them at the same time.
void deliver_end_events();

// Events lost because the queue was full (for tests).
uint64_t end_events_dropped();

}  // namespace zyn
