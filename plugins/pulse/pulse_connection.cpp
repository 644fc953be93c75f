#include "pulse_connection.h"

#include "block_clock.h"

namespace zyn::plugout {

bool pulse_begin_connect(PulseConnection &connection, const char *client_name, ErrorText *error) {
    pulse_drop_context(connection);
    if (connection.loop == nullptr) return false;
    connection.context = pa_context_new(pa_mainloop_get_api(connection.loop), client_name);
    if (connection.context == nullptr) {
        if (error != nullptr) error->set("PulseAudio: cannot create a context");
        return false;
    }
    if (pa_context_connect(connection.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        if (error != nullptr) error->set("PulseAudio: no server: %s", pulse_error_text(connection.context));
        pulse_drop_context(connection);
        return false;
    }
    return true;
}

bool pulse_connect(PulseConnection &connection, const char *client_name, ErrorText &error) {
    if (connection.loop == nullptr) connection.loop = pa_mainloop_new();
    if (connection.loop == nullptr) {
        error.set("PulseAudio: cannot create a main loop");
        return false;
    }
    if (!pulse_begin_connect(connection, client_name, &error)) {
        pulse_disconnect(connection);
        return false;
    }
    pa_context *context = connection.context;
    const int64_t deadline = monotonic_ns() + int64_t{kPulseConnectTimeoutMs} * 1000000;
    const bool ready = pulse_wait(connection.loop, deadline, [context] {
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) return 1;
        return PA_CONTEXT_IS_GOOD(state) ? 0 : -1;
    });
    if (!ready) {
        if (PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            error.set("PulseAudio: the server did not answer within %d ms", kPulseConnectTimeoutMs);
        else
            error.set("PulseAudio: cannot connect to the server: %s", pulse_error_text(context));
        pulse_disconnect(connection);
        return false;
    }
    return true;
}

void pulse_drop_context(PulseConnection &connection) {
    if (connection.context != nullptr) {
        pa_context_disconnect(connection.context);
        pa_context_unref(connection.context);
        connection.context = nullptr;
    }
}

void pulse_disconnect(PulseConnection &connection) {
    pulse_drop_context(connection);
    if (connection.loop != nullptr) {
        pa_mainloop_free(connection.loop);
        connection.loop = nullptr;
    }
}

bool pulse_iterate(pa_mainloop *loop, int64_t timeout_us) {
    if (timeout_us > INT32_MAX) timeout_us = INT32_MAX;
    if (pa_mainloop_prepare(loop, static_cast<int>(timeout_us)) < 0) return false;
    if (pa_mainloop_poll(loop) < 0) return false;
    return pa_mainloop_dispatch(loop) >= 0;
}

const char *pulse_error_text(pa_context *context) {
    return pa_strerror(context != nullptr ? pa_context_errno(context) : PA_ERR_UNKNOWN);
}

}  // namespace zyn::plugout
