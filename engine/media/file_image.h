// A whole file read into memory, for the decoders that work on an image of
// it rather than on a stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn {

// The regular, non-empty file name in a block from calloc (release with
// free), followed by padding zero bytes; *length is what was read, which is
// less than the file's size when it shrank meanwhile. Null when the file
// cannot be opened or read, is not a regular file, is empty, or would not fit.
// On failure the reason is recorded (last_error.h).
uint8_t *read_file_image(const char *name, size_t *length, size_t padding = 0);

}  // namespace zyn
