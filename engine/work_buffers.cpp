// The sound rows' work buffers across a change of device: a fill must never
// write past one.
#include "engine_state.h"
#include "row_tables.h"

#include <cstdlib>
#include <vector>

namespace zyn {

void resize_work_buffers(int32_t buffer_size) {
    EngineState &e = engine();
    const int32_t bytes = buffer_size + 512;
    int32_t rows = 0;
    {
        EngineLock hold(e.lock);
        if (e.work_buffer_bytes == bytes) return;
        for (int32_t i = 0; i < e.sound_count; ++i)
            if (e.sounds[static_cast<size_t>(i)].buffer != nullptr) ++rows;
    }
    // Allocate outside the lock; the table only changes on this thread.
    std::vector<int16_t *> fresh;
    for (int32_t i = 0; i < rows; ++i)
        fresh.push_back(static_cast<int16_t *>(std::calloc(static_cast<size_t>(bytes), 1)));
    std::vector<void *> released;
    {
        EngineLock hold(e.lock);
        size_t next = 0;
        for (int32_t i = 0; i < e.sound_count; ++i) {
            SoundEntry &row = e.sounds[static_cast<size_t>(i)];
            if (row.buffer == nullptr) continue;
            int16_t *block = next < fresh.size() ? fresh[next++] : nullptr;
            if (row.buffer == row.buffer_mark) released.push_back(row.buffer);
            if (block == nullptr) {
                // No memory for a larger block: the sound cannot be mixed safely any more.
                row.paused = 1;
                row.loops = 0;
                row.wave_start = nullptr;
            }
            row.buffer = block;
            row.buffer_mark = block;
        }
        e.work_buffer_bytes = bytes;
        for (; next < fresh.size(); ++next) released.push_back(fresh[next]);
    }
    for (void *block : released) std::free(block);
}

}  // namespace zyn
