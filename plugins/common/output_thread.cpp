#include "output_thread.h"

#include <csignal>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace zyn::plugout {

bool OutputThread::start(void *(*body)(void *), void *argument, ErrorText &error) {
    if (started_) return true;
    stop_.store(0, std::memory_order_release);
    tid_.store(0, std::memory_order_release);
    body_ = body;
    argument_ = argument;
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const int result = pthread_create(&thread_, nullptr, launch, this);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (result != 0) {
        error.set("cannot start the output thread: %s", std::strerror(result));
        return false;
    }
    started_ = true;
    return true;
}

void *OutputThread::launch(void *self) {
    OutputThread *thread = static_cast<OutputThread *>(self);
    thread->tid_.store(gettid(), std::memory_order_release);
    return thread->body_(thread->argument_);
}

pid_t OutputThread::kernel_id() const {
    if (!started_) return 0;
    const timespec pause{0, 100000};
    for (int waited = 0; waited < 10000; ++waited) {
        const pid_t tid = tid_.load(std::memory_order_acquire);
        if (tid != 0) return tid;
        nanosleep(&pause, nullptr);
    }
    return 0;
}

void OutputThread::join() {
    if (!started_) return;
    pthread_join(thread_, nullptr);
    started_ = false;
}

}  // namespace zyn::plugout
