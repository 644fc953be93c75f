// Real-time scheduling granted by rtkit (the RealtimeKit1 service on the
// system bus), as sound servers themselves ask for it when the process may
// not raise a thread's priority itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace zyn::plugout {

// Longest wait for each of the (at most four) calls on the bus, so that a
// bus that accepts and never answers costs at most four times this.
constexpr int kRtkitTimeoutMs = 500;

// Asks rtkit to run thread tid of this process at SCHED_FIFO priority (cut
// to rtkit's MaxRealtimePriority). Lowers the process's RLIMIT_RTTIME to
// rtkit's RTTimeUSecMax first, as rtkit demands. False with the reason in
// why (cut to why_size) when libdbus, the bus or rtkit is missing or refuses.
bool rtkit_make_realtime(pid_t tid, int32_t priority, char *why, size_t why_size);

}  // namespace zyn::plugout
