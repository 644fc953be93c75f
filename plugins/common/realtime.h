// The output thread's scheduling: SCHED_FIFO set directly where
// RLIMIT_RTPRIO or CAP_SYS_NICE allow it, else granted by rtkit, else the
// normal priority it started with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace zyn::plugout {

// Moves thread tid of this process to SCHED_FIFO at priority (clamped to
// 1..99; children of the thread start at normal priority). Returns the
// priority it runs at afterwards, 0 when every way was refused (why then
// says the last refusal, cut to why_size). Blocks: up to the rtkit timeouts.
int32_t raise_priority(pid_t tid, int32_t priority, char *why, size_t why_size);

// The thread's real-time priority now, 0 under a normal policy.
int32_t thread_priority(pid_t tid);

}  // namespace zyn::plugout
