#include "output_thread.h"

#include <csignal>
#include <cstring>

namespace zyn::plugout {

bool OutputThread::start(void *(*body)(void *), void *argument, ErrorText &error) {
    if (started_) return true;
    stop_.store(0, std::memory_order_release);
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const int result = pthread_create(&thread_, nullptr, body, argument);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (result != 0) {
        error.set("cannot start the output thread: %s", std::strerror(result));
        return false;
    }
    started_ = true;
    return true;
}

void OutputThread::join() {
    if (!started_) return;
    pthread_join(thread_, nullptr);
    started_ = false;
}

}  // namespace zyn::plugout
