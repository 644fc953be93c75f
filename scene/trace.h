// The trace of a scripted run: beeps and printed lines are also logged to
// this stream ("beep", "message: TEXT"); null (the default) logs nothing.
#pragma once

#include <cstdio>

namespace zyn::scene {

void set_trace_stream(std::FILE *stream);
std::FILE *trace_stream();

}  // namespace zyn::scene
