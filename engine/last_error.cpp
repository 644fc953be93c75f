#include "last_error.h"

#include "zyn.h"

#include <cstdarg>
#include <cstdio>

namespace zyn {
namespace {

// Long enough for a reason that names two paths.
thread_local char t_reason[1024] = "";

}  // namespace

int32_t fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(t_reason, sizeof t_reason, format, args);
    va_end(args);
    return 0;
}

const char *last_error() { return t_reason; }

}  // namespace zyn

extern "C" const char *ZYN_GET_LASTERROR(void) { return zyn::last_error(); }
