// The key queue: key texts to codes, its size limit, and the terminal reader.
#include "zyn.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void push(std::initializer_list<int> bytes) {
    char text[2];
    int n = 0;
    for (int b : bytes) text[n++] = static_cast<char>(b);
    ASSERT_EQ(ZYN_PUSH_KEYTEXT(text, n), 1);
}

}  // namespace

TEST(Keyboard, KeyTextsBecomeCodes) {
    ZYN_SET_KEYWINDOW(1);
    EXPECT_EQ(ZYN_GET_KEYCODE(), 0);
    push({27});
    push({255, 77});
    push({255, 75});
    push({255, 'k'});
    push({'a'});
    push({255, 72});
    EXPECT_EQ(ZYN_GET_KEYCODE(), 27);
    EXPECT_EQ(ZYN_GET_KEYCODE(), 333);
    EXPECT_EQ(ZYN_GET_KEYCODE(), 331);
    EXPECT_EQ(ZYN_GET_KEYCODE(), 363);
    EXPECT_EQ(ZYN_GET_KEYCODE(), 'a');
    EXPECT_EQ(ZYN_GET_KEYCODE(), 256 + 72);
    EXPECT_EQ(ZYN_GET_KEYCODE(), 0);
}

TEST(Keyboard, FullQueueDropsTheOldestKey) {
    ZYN_SET_KEYWINDOW(1);
    for (int i = 0; i < 20; ++i) push({'a' + i});
    for (int i = 5; i < 20; ++i) EXPECT_EQ(ZYN_GET_KEYCODE(), 'a' + i);
    EXPECT_EQ(ZYN_GET_KEYCODE(), 0);
}

TEST(Keyboard, MalformedTextsAreRefused) {
    EXPECT_EQ(ZYN_PUSH_KEYTEXT(nullptr, 1), 0);
    EXPECT_EQ(ZYN_PUSH_KEYTEXT("abc", 3), 0);
    EXPECT_EQ(ZYN_PUSH_KEYTEXT("", 0), 0);
    ZYN_SET_KEYWINDOW(1);
    EXPECT_EQ(ZYN_GET_KEYCODE(), 0);
}

// Without a window the terminal is read without blocking: the child polls
// keys on a pseudo-terminal and reports the codes it got.
TEST(Keyboard, TerminalArrowsAndEscapeWithoutAWindow) {
    int master = -1;
    pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string seen;
        int empty_polls = 0;
        for (int i = 0; i < 400 && seen.size() < 4 * 4; ++i) {
            int code = ZYN_GET_KEYCODE();
            if (code == 0) {
                ++empty_polls;
                usleep(5000);
                continue;
            }
            seen += std::to_string(code) + ";";
        }
        std::string line = "codes " + seen + " empty " + std::to_string(empty_polls > 0) + "\n";
        ssize_t ignored = write(STDOUT_FILENO, line.data(), line.size());
        (void)ignored;
        _exit(0);
    }
    usleep(100000);  // the child has polled an empty terminal by now
    const char keys[] = "\x1b[Cx\x1b[D";
    ASSERT_EQ(write(master, keys, sizeof(keys) - 1), static_cast<ssize_t>(sizeof(keys) - 1));
    usleep(100000);
    ASSERT_EQ(write(master, "\x1b", 1), 1);
    std::string output;
    char buffer[256];
    for (;;) {
        ssize_t n = read(master, buffer, sizeof(buffer));
        if (n <= 0) break;
        output.append(buffer, static_cast<size_t>(n));
        if (output.find('\n') != std::string::npos && output.find("codes") != std::string::npos)
            break;
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    EXPECT_NE(output.find("codes 333;120;331;27;"), std::string::npos) << output;
    EXPECT_NE(output.find("empty 1"), std::string::npos) << output;
}
