// The sound rows' work buffers across a change of device: a fill must never
// write past one.
//
// ZYN_PLAY_WAVE on another thread may place a sound while the new blocks are
// allocated outside the lock. The new size is published first, so such a
// sound already gets a block of that size; the rows still holding a block of
// another size are the ones counted before and replaced after the
// allocation, and none can join them in between.
#include "engine_state.h"
#include "row_tables.h"
#include "space/positional_mix.h"

#include <cstdlib>
#include <vector>

namespace zyn {

void resize_work_buffers(int32_t buffer_size) {
    EngineState &e = engine();
    const int32_t bytes = buffer_size + 512;
    prepare_space_bus(buffer_size / 2, false);  // the positional sum, once there is one
    size_t stale = 0;
    {
        EngineLock hold(e.lock);
        e.work_buffer_bytes = bytes;
        for (int32_t i = 0; i < e.sound_count; ++i) {
            const SoundEntry &row = e.sounds[static_cast<size_t>(i)];
            if (row.buffer != nullptr && row.buffer_bytes != bytes) ++stale;
        }
    }
    if (stale == 0) return;
    std::vector<int16_t *> fresh;
    fresh.reserve(stale);
    for (size_t i = 0; i < stale; ++i) {
        auto *block = static_cast<int16_t *>(std::calloc(static_cast<size_t>(bytes), 1));
        if (block == nullptr) break;
        fresh.push_back(block);
    }
    std::vector<void *> released;
    released.reserve(stale + fresh.size());
    {
        EngineLock hold(e.lock);
        size_t next = 0;
        for (int32_t i = 0; i < e.sound_count; ++i) {
            SoundEntry &row = e.sounds[static_cast<size_t>(i)];
            if (row.buffer == nullptr || row.buffer_bytes == bytes) continue;
            int16_t *block = next < fresh.size() ? fresh[next++] : nullptr;
            if (row.buffer == row.buffer_mark) released.push_back(row.buffer);
            if (block == nullptr) {
                // No memory for a block of the new size: the sound cannot be mixed safely any more.
                row.paused = 1;
                row.loops = 0;
                row.wave_start = nullptr;
            }
            row.buffer = block;
            row.buffer_mark = block;
            row.buffer_bytes = block != nullptr ? bytes : 0;
        }
        // Rows destroyed meanwhile leave blocks over.
        for (; next < fresh.size(); ++next) released.push_back(fresh[next]);
    }
    for (void *block : released) std::free(block);
}

}  // namespace zyn
