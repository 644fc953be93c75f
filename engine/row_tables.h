// The wave and sound tables: handle checks, the lowest free row, the store
// of a new wave, their release at ZYN_EXIT and the sound rows' work buffers.
#pragma once

#include <cstdint>

namespace zyn {

// Handle checks; the caller holds the lock.
bool wave_handle_valid(int32_t wave);
bool sound_handle_valid(int32_t sound);
// Record why a handle failed its check (engine not initialised, or no such
// row) and return 0. Caller holds the lock.
int32_t fail_wave_handle(int32_t wave);
int32_t fail_sound_handle(int32_t sound);

// Lowest free row, growing the table by one when none is free. Caller holds the lock.
int32_t take_wave_row();
int32_t take_sound_row();

// Stores a sample block of rate Hz and channels channels (the format it was
// made in) as a wave (lowest free row first); returns its handle, or -1 when
// the engine is not initialised (the caller still owns samples). Takes the
// lock itself.
int32_t store_wave(int16_t *samples, int32_t size, int32_t rate, int32_t channels);

// Releases every wave, sound buffer and table row (part of ZYN_EXIT).
void shutdown_tables();

// Brings every sound work buffer to the size the open device needs
// (buffer_size + 512), so that no fill writes past one after a device with a
// larger block was opened. A row whose buffer cannot be grown is freed.
void resize_work_buffers(int32_t buffer_size);

}  // namespace zyn
