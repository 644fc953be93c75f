// A connection to a PulseAudio server driven by a pa_mainloop that the caller
// iterates itself, so that every wait has a deadline: without a server, or
// with one that stopped answering, nothing here hangs.
#pragma once

#include "error_text.h"

#include <cstdint>
#include <pulse/pulseaudio.h>

namespace zyn::plugout {

struct PulseConnection {
    pa_mainloop *loop = nullptr;
    pa_context *context = nullptr;
};

// How long connecting, opening a stream or draining may take.
constexpr int kPulseConnectTimeoutMs = 1500;

// Connects without ever spawning a server (PULSE_SERVER and the client
// configuration choose which one), making the loop first when there is none.
// False with the reason in error.
bool pulse_connect(PulseConnection &connection, const char *client_name, ErrorText &error);

// The first half of pulse_connect, which never waits: a new context on the
// existing loop, connecting. False (and no context) when it failed at once,
// with the reason in error when given; the caller follows the context's
// state from then on.
bool pulse_begin_connect(PulseConnection &connection, const char *client_name,
                         ErrorText *error = nullptr);

// Releases the context and keeps the loop.
void pulse_drop_context(PulseConnection &connection);

// Releases the context and the loop; safe on a half-made connection.
void pulse_disconnect(PulseConnection &connection);

// Runs one round of the loop, waiting at most timeout_us (-1: until an
// event or pa_mainloop_wakeup). False when the loop failed.
bool pulse_iterate(pa_mainloop *loop, int64_t timeout_us);

// Iterates until check() gives 1 (true) or -1 (false), or the deadline passes (false).
template <typename Check>
bool pulse_wait(pa_mainloop *loop, int64_t deadline_ns, Check check);

// Text of the context's last error.
const char *pulse_error_text(pa_context *context);

}  // namespace zyn::plugout

#include "block_clock.h"

template <typename Check>
bool zyn::plugout::pulse_wait(pa_mainloop *loop, int64_t deadline_ns, Check check) {
    for (;;) {
        const int state = check();
        if (state != 0) return state > 0;
        const int64_t left = deadline_ns - monotonic_ns();
        if (left <= 0) return false;
        if (!pulse_iterate(loop, left / 1000 + 1)) return false;
    }
}
