// The MP3 stream: one MPEG audio file decoded piece by piece on a thread of
// its own into a ring of output blocks that the mixer takes one per fill.
// Everything about it lives here and in mp3_stream.cpp: its record, the
// decoder thread (producer), the fill's step (consumer), its callback slot,
// its exported operations and the device format its buffers belong to.
//
// The ring is the frame ring tracks stream through (streaming/frame_ring.h):
// single-producer, single-consumer, its fill count the only field both
// sides change. The decoder thread writes whole decoded frames into it with
// the classic frame kernels; the fill takes whole blocks, under the engine
// lock. The decoder thread never takes the engine lock.
#pragma once

#include "zyn.h"

#include <atomic>
#include <cstdint>

namespace zyn {

struct Mp3Decoder;  // libmad state and the thread, private to mp3_stream.cpp
class FrameRing;
struct RoutineSlots;

// The single MP3 stream, a field of the engine's state. The fields the
// decoder thread shares with the fill are atomics.
struct Mp3Stream {
    std::atomic<int32_t> active{0};
    std::atomic<int32_t> decoding{0};
    // Set when ZYN_PLAY_MP3STREAM starts the decoder: from then on, decoding
    // at 0 means the decoder is done and the ring only drains.
    std::atomic<int32_t> played{0};
    ZynSampleCallback callback = nullptr;
    int32_t callback_enabled = 0;
    float volume = 1.0f;
    float pan = 0.0f;
    float left_gain = 1.0f;
    float right_gain = 1.0f;
    int16_t *mix_buffer = nullptr;
    FrameRing *ring = nullptr;  // a whole number of blocks
    uint8_t *input_buffer = nullptr;
    uint8_t *pcm_buffer = nullptr;
    Mp3Decoder *decoder = nullptr;
};

// The fill's step (engine lock held): takes the next block from the ring
// into mix_buffer, with the stream's volume, pan and callback. True when a
// block was taken; *present tells whether the ring held anything at all.
// A stream whose decoder is done and whose ring holds less than a block
// ends here: nothing more can come.
bool take_stream_block(Mp3Stream &s, const RoutineSlots &slots, int32_t bytes, int32_t channels,
                       int32_t frames, bool *present);

// ZYN_RENDER, holding no lock, before it mixes bytes: while the stream plays
// and its decoder runs, waits until the ring holds them, so that a render
// never outruns the decoder (and renders the same samples every time). A
// decoder that makes no progress for about 2 s is not waited for.
void wait_for_stream_block(int32_t bytes);

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
