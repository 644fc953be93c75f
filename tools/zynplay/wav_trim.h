// Cuts a rendered WAV file down to chosen runs of output blocks: a render
// runs ahead of zynplay's view of it, so the silence the output wrote while
// zynplay noticed an end (or loaded the next file) is taken out afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zynplay {

struct BlockRun {
    int64_t first;  // first block kept
    int64_t end;    // one past the last block kept
};

// Keeps the runs (ascending, not overlapping) of block_bytes-byte blocks of
// the data chunk, in order, and rewrites the sizes in the header. False with
// a reason when the file is not a WAV file it can edit.
bool keep_block_runs(const std::string &path, int32_t block_bytes, const std::vector<BlockRun> &runs,
                     std::string &error);

}  // namespace zynplay
