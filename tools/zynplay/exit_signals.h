// How zynplay ends on a signal. Ctrl+C (SIGINT) and SIGTERM ask for a clean
// end, noted here for the player to act on. A second one of them, SIGQUIT,
// SIGHUP and the crash signals end the process at once by the signal's own
// default action, after the handler has put the terminal back into the state
// it had at start-up and removed a half-written render.
//
// The engine switches the terminal to raw input on the first key read and
// puts it back only from an exit handler, which no signal death runs; so the
// state is saved here, before any key is read, and restored by the handler
// (tcsetattr is async-signal-safe). Ctrl+Z (SIGTSTP) puts the terminal back
// before zynplay stops, and the continue that brings it to the foreground
// again sets the raw mode the keys were read in.
#pragma once

namespace zynplay {

enum class StopRequest { none, interrupt, terminate };

// Saves the terminal state of standard input (when it is a terminal) and
// installs the handlers. Call once, before the first key is read.
void install_exit_signals();

// The first of Ctrl+C or SIGTERM received, if any.
StopRequest stop_request();

// A file the handlers remove if the process ends abruptly; null forgets it.
// The path is copied.
void remove_on_abrupt_exit(const char *path);

}  // namespace zynplay
