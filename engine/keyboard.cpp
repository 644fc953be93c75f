// The process-wide key queue behind ZYN_GET_KEYCODE.
//
// A window feeds it with key texts (ZYN_PUSH_KEYTEXT); without a window the
// terminal is read without blocking, its arrow-key escape sequences turned
// into the two-byte texts of extended keys.
#include "last_error.h"
#include "zyn.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace zyn {
namespace {

constexpr int kQueueSize = 15;
constexpr unsigned char kExtended = 255;

struct KeyText {
    unsigned char bytes[2];
    int32_t length;
};

struct KeyQueue {
    std::mutex lock;
    KeyText keys[kQueueSize]{};
    int head = 0;
    int count = 0;
    bool window = false;
    bool terminal_raw = false;
    termios saved{};

    void push(const unsigned char *text, int32_t length) {
        if (count == kQueueSize) {  // full: the oldest key gives way
            head = (head + 1) % kQueueSize;
            --count;
        }
        KeyText &slot = keys[(head + count) % kQueueSize];
        slot.bytes[0] = text[0];
        slot.bytes[1] = length > 1 ? text[1] : 0;
        slot.length = length;
        ++count;
    }

    bool pop(KeyText *key) {
        if (count == 0) return false;
        *key = keys[head];
        head = (head + 1) % kQueueSize;
        --count;
        return true;
    }
};

// Made before any code runs: the first key may be pushed from a callback,
// which must not be the one to allocate the queue.
constinit KeyQueue g_queue;

KeyQueue &queue() { return g_queue; }

void restore_terminal() {
    KeyQueue &q = queue();
    std::lock_guard<std::mutex> hold(q.lock);
    if (q.terminal_raw) {
        tcsetattr(STDIN_FILENO, TCSANOW, &q.saved);
        q.terminal_raw = false;
    }
}

// Character-at-a-time input without echo; signals (Ctrl+C) still work.
bool make_terminal_raw(KeyQueue &q) {
    if (q.terminal_raw) return true;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &q.saved) != 0) return false;
    termios raw = q.saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return false;
    q.terminal_raw = true;
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit(restore_terminal);
    }
    return true;
}

// Queues every key waiting on the terminal.
void read_terminal(KeyQueue &q) {
    if (!make_terminal_raw(q)) return;
    pollfd pending{STDIN_FILENO, POLLIN, 0};
    if (poll(&pending, 1, 0) <= 0) return;
    unsigned char input[64];
    ssize_t got = read(STDIN_FILENO, input, sizeof(input));
    for (ssize_t i = 0; i < got; ++i) {
        if (input[i] == 27 && i + 2 < got && (input[i + 1] == '[' || input[i + 1] == 'O')) {
            unsigned char scan = 0;
            switch (input[i + 2]) {
                case 'A': scan = 72; break;  // up
                case 'B': scan = 80; break;  // down
                case 'C': scan = 77; break;  // right
                case 'D': scan = 75; break;  // left
                case 'H': scan = 71; break;  // home
                case 'F': scan = 79; break;  // end
                default: break;
            }
            if (scan != 0) {
                const unsigned char text[2] = {kExtended, scan};
                q.push(text, 2);
                i += 2;
                continue;
            }
        }
        q.push(&input[i], 1);
    }
}

}  // namespace
}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_GET_KEYCODE(void) {
    KeyQueue &q = queue();
    std::lock_guard<std::mutex> hold(q.lock);
    KeyText key;
    if (!q.pop(&key)) {
        if (q.window) return 0;
        read_terminal(q);
        if (!q.pop(&key)) return 0;
    }
    return (key.length - 1) * 256 + key.bytes[key.length - 1];
}

int32_t ZYN_PUSH_KEYTEXT(const char *text, int32_t bytes) {
    if (text == nullptr) return fail_null("ZYN_PUSH_KEYTEXT", "text");
    if (bytes < 1 || bytes > 2) return fail("ZYN_PUSH_KEYTEXT: a key text has 1 or 2 bytes, not %d", bytes);
    KeyQueue &q = queue();
    std::lock_guard<std::mutex> hold(q.lock);
    q.push(reinterpret_cast<const unsigned char *>(text), bytes);
    return 1;
}

int32_t ZYN_SET_KEYWINDOW(int32_t attached) {
    KeyQueue &q = queue();
    {
        std::lock_guard<std::mutex> hold(q.lock);
        q.window = attached != 0;
    }
    if (attached != 0) restore_terminal();
    return 1;
}

}  // extern "C"
