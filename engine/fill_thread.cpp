#include "fill_thread.h"

namespace zyn {
namespace {

// Initial-exec: a plain slot in the thread's static block, so that the first
// fill on a new output thread does not allocate a dynamic TLS block.
thread_local bool t_inside_fill __attribute__((tls_model("initial-exec"))) = false;

}  // namespace

bool inside_fill() { return t_inside_fill; }

FillScope::FillScope() { t_inside_fill = true; }
FillScope::~FillScope() { t_inside_fill = false; }

}  // namespace zyn
