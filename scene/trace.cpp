#include "trace.h"

namespace zyn::scene {
namespace {
std::FILE *g_trace = nullptr;
}  // namespace

void set_trace_stream(std::FILE *stream) { g_trace = stream; }
std::FILE *trace_stream() { return g_trace; }

}  // namespace zyn::scene
