#include "realtime.h"

#include "rtkit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <sys/resource.h>

namespace zyn::plugout {

namespace {

bool set_fifo(pid_t tid, int32_t priority) {
    sched_param param{};
    param.sched_priority = priority;
    return sched_setscheduler(tid, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

}  // namespace

int32_t thread_priority(pid_t tid) {
    const int policy = sched_getscheduler(tid);
    if (policy < 0) return 0;
    const int base = policy & ~SCHED_RESET_ON_FORK;
    if (base != SCHED_FIFO && base != SCHED_RR) return 0;
    sched_param param{};
    return sched_getparam(tid, &param) == 0 ? param.sched_priority : 0;
}

int32_t raise_priority(pid_t tid, int32_t priority, char *why, size_t why_size) {
    const int32_t lowest = sched_get_priority_min(SCHED_FIFO);
    const int32_t highest = sched_get_priority_max(SCHED_FIFO);
    if (priority < lowest) priority = lowest;
    if (priority > highest) priority = highest;
    if (set_fifo(tid, priority)) return thread_priority(tid);
    const int refused = errno;
    // An RLIMIT_RTPRIO below the priority asked still allows its own.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur >= static_cast<rlim_t>(lowest) && limit.rlim_cur < static_cast<rlim_t>(priority) &&
        set_fifo(tid, static_cast<int32_t>(limit.rlim_cur)))
        return thread_priority(tid);
    char rtkit[160] = "";
    if (rtkit_make_realtime(tid, priority, rtkit, sizeof(rtkit))) return thread_priority(tid);
    if (why != nullptr && why_size > 0)
        std::snprintf(why, why_size, "SCHED_FIFO: %s; %s", std::strerror(refused), rtkit);
    return 0;
}

}  // namespace zyn::plugout
