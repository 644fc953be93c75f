// Why the calling thread's last failed call failed, for ZYN_GET_LASTERROR.
//
// A fixed per-thread buffer: recording a reason never allocates, so a call
// refused inside a callback on the output thread may record one too.
#pragma once

#include <cstdint>

namespace zyn {

// Records the reason (printf-style) and returns 0, so that a failing
// operation can end with `return fail("...")`.
int32_t fail(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The calling thread's last recorded reason ("" when none).
const char *last_error();

}  // namespace zyn
