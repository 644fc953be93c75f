// The MP3 stream's hooks into the engine's lifecycle.
#pragma once

namespace zyn {

// Ends an active stream as ZYN_END_MP3STREAM does (the decoder thread is joined).
void end_stream();

// Releases the stream's four buffers (ZYN_EXIT, or a device with another block size).
void release_stream_buffers();

}  // namespace zyn
