#include "exit_signals.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace zynplay {

namespace {

std::atomic<int> stop{static_cast<int>(StopRequest::none)};

// Written before the handlers are installed, only read by them.
termios saved_terminal{};
bool terminal_saved = false;

char leftover[PATH_MAX];
std::atomic<bool> leftover_set{false};

// The actions in place before zynplay's (the default, or a sanitizer's
// report), taken back before the signal goes on.
struct sigaction previous[NSIG];

// Signals whose default action ends the process; each gets the same end,
// with the terminal and the folder cleaned up first.
constexpr int kAbruptSignals[] = {SIGQUIT, SIGHUP, SIGPIPE, SIGSEGV, SIGBUS, SIGFPE,
                                  SIGILL,  SIGABRT, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ};

bool same_mode(const termios &a, const termios &b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Only async-signal-safe calls from here on. A terminal still in the state
// it had is left alone: setting it from a background job would stop the job.
void restore_terminal() {
    if (!terminal_saved) return;
    termios now;
    if (tcgetattr(STDIN_FILENO, &now) == 0 && !same_mode(now, saved_terminal))
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
}

void clean_up(int number) {
    restore_terminal();
    if (leftover_set.exchange(false)) unlink(leftover);
    sigaction(number, &previous[number], nullptr);
}

[[noreturn]] void end_now(int number) {
    clean_up(number);
    // The handler runs with its signal blocked: let the raised one through now.
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(number);
    // An earlier handler that came back does not keep the process going.
    _exit(128 + number);
}

// A fault the processor raised comes again when the handler returns, and
// then reaches the earlier action with its own address and stack.
bool faults_again(int number, const siginfo_t *info) {
    return info != nullptr && info->si_code > 0 &&
           (number == SIGSEGV || number == SIGBUS || number == SIGFPE || number == SIGILL);
}

void on_abrupt(int number, siginfo_t *info, void *) {
    if (faults_again(number, info)) {
        clean_up(number);
        return;
    }
    end_now(number);
}

// The first request is noted for the player; a second one ends at once.
void on_stop(int number, siginfo_t *, void *) {
    int expected = static_cast<int>(StopRequest::none);
    const int wanted = static_cast<int>(number == SIGTERM ? StopRequest::terminate : StopRequest::interrupt);
    if (!stop.compare_exchange_strong(expected, wanted)) end_now(number);
}

// The raw mode the keys were read in when Ctrl+Z stopped zynplay.
termios suspended_terminal{};
std::atomic<bool> suspended_saved{false};

// Only from the foreground: a background job setting the terminal would be
// stopped for it.
void resume_terminal() {
    if (suspended_saved.load() && tcgetpgrp(STDIN_FILENO) == getpgrp())
        tcsetattr(STDIN_FILENO, TCSANOW, &suspended_terminal);
}

// Ctrl+Z: the shell gets the terminal back as it gave it, and after fg the
// keys act at once again (a shell does not hand a job back its own modes).
void on_suspend(int number, siginfo_t *, void *) {
    const int saved_errno = errno;
    if (terminal_saved && tcgetattr(STDIN_FILENO, &suspended_terminal) == 0) suspended_saved.store(true);
    restore_terminal();
    struct sigaction mine;
    sigaction(number, &previous[number], &mine);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(number);
    // Continued, or never stopped (a process group no shell controls
    // ignores the stop).
    sigaction(number, &mine, nullptr);
    resume_terminal();
    errno = saved_errno;
}

// fg after bg: the continue that brings zynplay to the foreground.
void on_continue(int, siginfo_t *, void *) {
    const int saved_errno = errno;
    resume_terminal();
    errno = saved_errno;
}

// A signal ignored by whoever started zynplay (nohup, a background job of a
// script) stays ignored.
void handle(int number, void (*handler)(int, siginfo_t *, void *)) {
    if (sigaction(number, nullptr, &previous[number]) != 0 ||
        (!(previous[number].sa_flags & SA_SIGINFO) && previous[number].sa_handler == SIG_IGN))
        return;
    struct sigaction action{};
    action.sa_sigaction = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    sigaction(number, &action, nullptr);
}

}  // namespace

void install_exit_signals() {
    terminal_saved = isatty(STDIN_FILENO) == 1 && tcgetattr(STDIN_FILENO, &saved_terminal) == 0;
    handle(SIGINT, on_stop);
    handle(SIGTERM, on_stop);
    for (int number : kAbruptSignals) handle(number, on_abrupt);
    if (terminal_saved) {
        handle(SIGTSTP, on_suspend);
        handle(SIGCONT, on_continue);
    }
}

StopRequest stop_request() { return static_cast<StopRequest>(stop.load()); }

void remove_on_abrupt_exit(const char *path) {
    leftover_set.store(false);
    if (path == nullptr || std::strlen(path) >= sizeof leftover) return;
    std::strcpy(leftover, path);
    leftover_set.store(true);
}

}  // namespace zynplay
