// The last error of a plug-in, written by the entries and by the output
// thread, read by PLUG_ERROR. Trivially destructible so that it may live in a
// plain global of a library that is unloaded or finalised in any order.
#pragma once

#include <pthread.h>

namespace zyn::plugout {

class ErrorText {
  public:
    // printf-style; truncated to the buffer.
    void set(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void clear();
    // A copy that stays valid until the next call of read() (PLUG_ERROR's promise).
    const char *read();

  private:
    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
    char text_[256] = "";
    char copy_[256] = "";
};

}  // namespace zyn::plugout
