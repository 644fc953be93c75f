#include "mp3_stream.h"

#include "engine_state.h"

#include <cstdlib>

namespace zyn {

void end_stream() {
    Mp3Stream &s = engine().mp3_stream;
    if (s.active.load() == 0) return;
    s.decoding.store(0);
    EngineLock hold(engine().lock);
    s.active.store(0);
}

void release_stream_buffers() {
    EngineState &e = engine();
    Mp3Stream &s = e.mp3_stream;
    void *blocks[4];
    {
        EngineLock hold(e.lock);
        blocks[0] = s.input_buffer;
        blocks[1] = s.pcm_buffer;
        blocks[2] = s.mix_buffer;
        blocks[3] = s.ring_start;
        s.input_buffer = nullptr;
        s.pcm_buffer = nullptr;
        s.mix_buffer = nullptr;
        s.ring_start = s.ring_end = s.ring_read = s.ring_write = nullptr;
        s.ring_size = 0;
        s.ring_fill.store(0);
    }
    for (void *block : blocks) std::free(block);
}

}  // namespace zyn
