// Knowing when a sound ends: the fill notes each sound with a handle that
// played to its end in a fixed-size single-producer queue (it never
// allocates, blocks or calls user code for this), and an engine-owned event
// thread hands the handles to the application's end callback, which may use
// the whole interface from there.
#pragma once

#include <cstdint>

namespace zyn {

// The fill's part (output thread, engine lock held): the sound in row ended.
// Dropped when nobody listens; dropped and counted when the queue is full.
void note_sound_ended(int32_t row);

// Lifecycle hooks: ZYN_EXIT stops the event thread (the callback stays set),
// a successful ZYN_INIT starts it again when a callback is set. Not from
// inside a fill.
void stop_end_events();
void resume_end_events();

// Events lost because the queue was full (for tests).
uint64_t end_events_dropped();

}  // namespace zyn
