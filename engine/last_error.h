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

// Reasons many operations share.
int32_t fail_not_initialised();
int32_t fail_in_callback(const char *operation);
int32_t fail_null(const char *operation, const char *argument);

// A reason about a file: "'<file>'" followed by the reason the calling
// thread recorded last (which should start with " is ..." or ": ...").
int32_t fail_about_file(const char *file);

}  // namespace zyn
