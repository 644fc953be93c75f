// The MP3 stream: its exported operations live in mp3_stream.cpp; these are
// its hooks into the engine's lifecycle.
#pragma once

namespace zyn {

// Ends the stream as ZYN_END_MP3STREAM does: stops and joins the decoder
// thread, closes the file and marks the stream inactive. Safe to call at any
// time, also when no stream exists.
void end_stream();

// Releases the stream's buffers (ZYN_EXIT, or a device with another block
// size). Call end_stream first.
void release_stream_buffers();

}  // namespace zyn
