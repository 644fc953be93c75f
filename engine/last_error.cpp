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

int32_t fail_not_initialised() { return fail("the engine is not initialised (call ZYN_INIT first)"); }

int32_t fail_in_callback(const char *operation) {
    return fail("%s cannot be called from inside a callback (the output thread never frees, "
                "allocates, reads files or waits for threads)",
                operation);
}

int32_t fail_null(const char *operation, const char *argument) {
    return fail("%s: %s is null", operation, argument);
}

int32_t fail_about_file(const char *file) {
    char reason[sizeof t_reason];
    std::snprintf(reason, sizeof reason, "%s", t_reason);
    return fail("'%s'%s", file != nullptr ? file : "(null)", reason);
}

}  // namespace zyn

extern "C" const char *ZYN_GET_LASTERROR(void) { return zyn::last_error(); }
