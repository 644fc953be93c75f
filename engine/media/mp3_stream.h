// The MP3 stream: one MPEG audio file decoded piece by piece on a thread of
// its own into a ring of output blocks that the mixer takes one per fill.
// Everything about it lives here and in mp3_stream.cpp: its record, the
// decoder thread (producer), the fill's step (consumer), its callback slot,
// its exported operations and the device format its buffers belong to.
//
// The ring is single-producer, single-consumer. The decoder thread alone
// writes ring_write and the bytes ahead of it; the fill alone moves
// ring_read, under the engine lock. ring_fill is the only field both change:
// the decoder publishes new bytes with a release add, the fill hands a block
// back with its subtraction, and each side reads it with acquire before it
// touches the ring. The decoder thread never takes the engine lock.
#pragma once

#include "zyn.h"

#include <atomic>
#include <cstdint>

namespace zyn {

struct Mp3Decoder;  // libmad state and the thread, private to mp3_stream.cpp
struct RoutineSlots;

// The single MP3 stream, a field of the engine's state. The fields the
// decoder thread shares with the fill are atomics.
struct Mp3Stream {
    std::atomic<int32_t> active{0};
    std::atomic<int32_t> decoding{0};
    ZynSampleCallback callback = nullptr;
    int32_t callback_enabled = 0;
    float volume = 1.0f;
    float pan = 0.0f;
    float left_gain = 1.0f;
    float right_gain = 1.0f;
    int16_t *mix_buffer = nullptr;
    uint8_t *ring_start = nullptr;
    uint8_t *ring_end = nullptr;
    uint8_t *ring_read = nullptr;
    std::atomic<int32_t> ring_fill{0};
    // Producer side, owned by the stream code.
    uint8_t *ring_write = nullptr;
    int32_t ring_size = 0;
    uint8_t *input_buffer = nullptr;
    uint8_t *pcm_buffer = nullptr;
    Mp3Decoder *decoder = nullptr;
};

// The fill's step (engine lock held): takes the next block from the ring
// into mix_buffer, with the stream's volume, pan and callback. True when a
// block was taken; *present tells whether the ring held anything at all.
bool take_stream_block(Mp3Stream &s, const RoutineSlots &slots, int32_t bytes, int32_t channels,
                       int32_t frames, bool *present);

// Ends the stream as ZYN_END_MP3STREAM does: stops and joins the decoder
// thread, closes the file and marks the stream inactive. Safe to call at any
// time, also when no stream exists. Never from inside a fill.
void end_stream();

// Releases the stream's buffers and decoder (ZYN_EXIT). Call end_stream first.
void release_stream_buffers();

// Called by ZYN_INIT for each device it opens. The stream decodes into the
// format and block size of the device it was made for: on any other device
// it ends and its buffers go.
void stream_follow_device(int32_t rate, int32_t channels, int32_t buffer_size);

}  // namespace zyn
