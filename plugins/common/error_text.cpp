#include "error_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zyn::plugout {

void ErrorText::set(const char *format, ...) {
    char text[sizeof(text_)];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    pthread_mutex_lock(&mutex_);
    std::memcpy(text_, text, sizeof(text_));
    pthread_mutex_unlock(&mutex_);
}

void ErrorText::clear() {
    pthread_mutex_lock(&mutex_);
    text_[0] = '\0';
    pthread_mutex_unlock(&mutex_);
}

const char *ErrorText::read() {
    pthread_mutex_lock(&mutex_);
    std::memcpy(copy_, text_, sizeof(copy_));
    pthread_mutex_unlock(&mutex_);
    return copy_;
}

}  // namespace zyn::plugout
