// zynplay in a terminal: the status line redrawn in place, and the keys.
#include "player_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace player_test;

namespace {

// A sanitizer's own handler reports a crash and ends with its own status.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// zynplay on a pseudo-terminal, paced like a real device but writing to a file.
class TerminalSession {
  public:
    // As a job (its own process group, started by a stand-in shell that
    // brings it back to the foreground a second after Ctrl+Z stops it), so
    // that the stop is not ignored as it is for a session's leader.
    TerminalSession(const zyn_test::TempDir &dir, const std::vector<std::string> &args, bool as_job = false) {
        winsize size{};
        size.ws_col = 120;
        size.ws_row = 30;
        pid_ = forkpty(&master_, nullptr, nullptr, &size);
        if (pid_ == 0 && as_job) run_as_job();
        if (pid_ == 0) {
            rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            setenv("ZYN_WAV_OUT", dir.file("heard.wav").c_str(), 1);
            setenv("ZYN_WAV_REALTIME", "1", 1);
            std::vector<std::string> argv{zynplay_path()};
            argv.insert(argv.end(), args.begin(), args.end());
            std::vector<char *> pointers;
            for (std::string &a : argv) pointers.push_back(a.data());
            pointers.push_back(nullptr);
            execv(pointers[0], pointers.data());
            _exit(127);
        }
        // The terminal as the program sees it, kept open past its end.
        if (pid_ > 0) terminal_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
    }
    ~TerminalSession() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (terminal_ >= 0) close(terminal_);
        if (master_ >= 0) close(master_);
    }

    // Keys are being read: the terminal no longer waits for whole lines.
    bool raw() const {
        termios mode{};
        return tcgetattr(terminal_, &mode) == 0 && (mode.c_lflag & ICANON) == 0;
    }
    // Line input with echo, as a shell leaves it.
    bool cooked() const {
        termios mode{};
        return tcgetattr(terminal_, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
    }
    bool wait_raw(double seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!raw() && std::chrono::steady_clock::now() < until) read_for(0.02);
        return raw();
    }
    // Reads until text has been seen; false when it did not come in time.
    bool wait_text(const std::string &text, double seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (text_.find(text) == std::string::npos && std::chrono::steady_clock::now() < until) read_for(0.02);
        return text_.find(text) != std::string::npos;
    }

    bool started() const { return pid_ > 0; }

    // Reads for a while; returns all the text seen so far.
    const std::string &read_for(double seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            char buffer[4096];
            ssize_t got = read(master_, buffer, sizeof buffer);
            if (got <= 0) break;
            text_.append(buffer, static_cast<size_t>(got));
        }
        return text_;
    }

    void signal(int number) { kill(pid_, number); }

    void press(const std::string &keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }

    // Exit status (128 + the signal when one ended it, as a shell shows it),
    // or -1 when it has not ended within the time.
    int wait_exit(double seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            read_for(0.05);
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }

  private:
    // In the forked child: returns in the job's process, else never.
    static void run_as_job() {
        const pid_t job = fork();
        if (job == 0) {
            setpgid(0, 0);
            return;
        }
        setpgid(job, job);
        ::signal(SIGTTOU, SIG_IGN);
        tcsetpgrp(STDIN_FILENO, job);
        for (;;) {
            int status = 0;
            if (waitpid(job, &status, WUNTRACED) != job) _exit(126);
            if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
            if (WIFSIGNALED(status)) _exit(128 + WTERMSIG(status));
            sleep(1);
            tcsetpgrp(STDIN_FILENO, job);
            kill(-job, SIGCONT);
        }
    }

    pid_t pid_ = -1;
    int master_ = -1;
    int terminal_ = -1;
    bool ended_ = false;
    std::string text_;
};

// The elapsed times shown on the status lines of text, in order.
std::vector<std::string> shown_times(const std::string &text) {
    std::vector<std::string> times;
    std::regex line_time("\r[^\r\n]*? (\\d+:\\d\\d\\.\\d) / ");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), line_time); it != std::sregex_iterator(); ++it)
        times.push_back((*it)[1]);
    return times;
}

}  // namespace

TEST(PlayerTerminal, StatusLineShowsProgressAndQQuits) {
    zyn_test::TempDir dir;
    write_wav(dir.file("song.wav"), tone(440.0, 1.0, 16000.0));
    TerminalSession session(dir, {"--loops", "0", dir.file("song.wav")});
    ASSERT_TRUE(session.started());
    const std::string &text = session.read_for(1.2);
    EXPECT_NE(text.find("song.wav"), std::string::npos) << text;
    EXPECT_NE(text.find("n:next q:quit"), std::string::npos) << text;
    std::vector<std::string> times = shown_times(text);
    ASSERT_GE(times.size(), 3u) << text;
    EXPECT_NE(times.front(), times.back()) << "the elapsed time should move";
    EXPECT_NE(text.find("dB"), std::string::npos) << "level meter missing: " << text;
    EXPECT_NE(text.find(" lat 0ms underruns 0"), std::string::npos) << "the output's figures: " << text;
    session.press("q");
    EXPECT_EQ(session.wait_exit(5.0), 0) << "zynplay did not end on q";
}

TEST(PlayerTerminal, SpaceHoldsTheClockAndMMutes) {
    zyn_test::TempDir dir;
    write_wav(dir.file("song.wav"), tone(440.0, 1.0, 16000.0));
    TerminalSession session(dir, {"--loops", "0", dir.file("song.wav")});
    ASSERT_TRUE(session.started());
    session.read_for(0.5);
    session.press(" ");
    size_t before = session.read_for(0.3).size();
    std::string paused = session.read_for(0.6).substr(before);
    EXPECT_NE(paused.find("PAUSED"), std::string::npos) << paused;
    std::set<std::string> distinct;
    for (const std::string &t : shown_times(paused)) distinct.insert(t);
    EXPECT_EQ(distinct.size(), 1u) << "the clock moved while paused: " << paused;
    session.press(" m");
    before = session.read_for(0.3).size();
    std::string muted = session.read_for(0.3).substr(before);
    EXPECT_NE(muted.find("MUTED"), std::string::npos) << muted;
    session.press("q");
    EXPECT_EQ(session.wait_exit(5.0), 0);
}

TEST(PlayerTerminal, NMovesOnToTheNextFile) {
    zyn_test::TempDir dir;
    write_wav(dir.file("first.wav"), tone(440.0, 1.0, 16000.0));
    write_wav(dir.file("second.wav"), tone(660.0, 1.0, 16000.0));
    TerminalSession session(dir, {"--loops", "0", dir.file("first.wav"), dir.file("second.wav")});
    ASSERT_TRUE(session.started());
    EXPECT_EQ(session.read_for(0.6).find("second.wav"), std::string::npos);
    session.press("n");
    EXPECT_NE(session.read_for(0.8).find("second.wav"), std::string::npos) << "n did not start the next file";
    session.press("q");
    EXPECT_EQ(session.wait_exit(5.0), 0);
}

TEST(PlayerTerminal, EveryEndPutsTheTerminalBack) {
    zyn_test::TempDir dir;
    write_wav(dir.file("song.wav"), tone(440.0, 1.0, 16000.0));
    struct Case {
        const char *how;
        int signal;  // 0: the key q
        int status;
    };
    // Ctrl+C and SIGTERM end cleanly with their own status; the others end by
    // the signal itself, as the shell reports it.
    const Case cases[] = {{"q", 0, 0},           {"Ctrl+C", SIGINT, 130}, {"SIGTERM", SIGTERM, 143},
                          {"SIGQUIT", SIGQUIT, 131}, {"SIGHUP", SIGHUP, 129}, {"a crash", SIGSEGV, 139}};
    for (const Case &c : cases) {
        TerminalSession session(dir, {"--loops", "0", dir.file("song.wav")});
        ASSERT_TRUE(session.started());
        ASSERT_TRUE(session.wait_raw(5.0)) << c.how;
        if (c.signal == 0) session.press("q");
        else session.signal(c.signal);
        const int status = session.wait_exit(5.0);
        if (c.signal == SIGSEGV && kSanitized) {
            EXPECT_GT(status, 0) << c.how;
        } else {
            EXPECT_EQ(status, c.status) << c.how;
        }
        EXPECT_TRUE(session.cooked()) << c.how << ": the terminal was left raw";
    }
}

TEST(PlayerTerminal, CtrlZGivesTheTerminalBackAndFgTakesItAgain) {
    zyn_test::TempDir dir;
    write_wav(dir.file("song.wav"), tone(440.0, 1.0, 16000.0));
    TerminalSession session(dir, {"--loops", "0", dir.file("song.wav")}, true);
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_raw(5.0));
    session.press("\x1a");
    bool cooked = false;
    for (int i = 0; i < 40 && !cooked; ++i) cooked = session.cooked() || (session.read_for(0.02), false);
    EXPECT_TRUE(cooked) << "the stopped player left the terminal raw";
    EXPECT_TRUE(session.wait_raw(5.0)) << "the keys did not come back after fg";
    session.press("q");
    EXPECT_EQ(session.wait_exit(5.0), 0);
}

TEST(PlayerTerminal, VolumeAndMuteCarryOnToTheNextFile) {
    zyn_test::TempDir dir;
    write_wav(dir.file("first.wav"), tone(440.0, 0.6, 16000.0));
    write_wav(dir.file("second.wav"), tone(660.0, 3.0, 16000.0));
    TerminalSession session(dir, {dir.file("first.wav"), dir.file("second.wav")});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_text("first.wav", 5.0));
    session.press("--m");
    ASSERT_TRUE(session.wait_text("second.wav", 5.0));
    const size_t second_from = session.read_for(0.3).rfind("\rsecond.wav");
    const std::string second = session.read_for(0.0).substr(second_from);
    EXPECT_NE(second.find("vol 80% MUTED"), std::string::npos) << second;
    // Unmuted, the second file is heard at the volume the keys set.
    session.press("m");
    session.read_for(0.6);
    session.press("q");
    ASSERT_EQ(session.wait_exit(5.0), 0);
    const WavFile heard = read_wav(dir.file("heard.wav"));
    ASSERT_EQ(heard.problem, "");
    const std::vector<double> left = heard.channel(0);
    const Extent last = audible_extent(left);
    ASSERT_GT(last.length(), 8000u);
    EXPECT_NEAR(amplitude_at(left, 660.0, 44100, last.end - 6000, 4410), 0.8 * 16000.0, 400.0);
}

TEST(PlayerTerminal, KeysPressedWhileAFileOpensWaitForIt) {
    zyn_test::TempDir dir;
    // A pipe in place of a file: opening it takes until the test lets it.
    const std::string slow = dir.file("slow.wav");
    ASSERT_EQ(mkfifo(slow.c_str(), 0600), 0);
    write_wav(dir.file("song.wav"), tone(440.0, 1.0, 16000.0));
    TerminalSession session(dir, {slow, dir.file("song.wav")});
    ASSERT_TRUE(session.started());
    int opener = -1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (opener < 0 && std::chrono::steady_clock::now() < until) {
        opener = open(slow.c_str(), O_WRONLY | O_NONBLOCK);  // succeeds once zynplay is opening it
        if (opener < 0) session.read_for(0.01);
    }
    ASSERT_GE(opener, 0) << "zynplay never opened the file";
    EXPECT_TRUE(session.raw()) << "keys pressed now would be echoed and wait for Enter";
    session.press("--");
    session.read_for(0.2);
    close(opener);  // the file turns out empty: zynplay says so and goes on
    ASSERT_TRUE(session.wait_text("song.wav", 5.0)) << session.read_for(0.0);
    const size_t song_from = session.read_for(0.3).rfind("\rsong.wav");
    EXPECT_NE(session.read_for(0.0).substr(song_from).find("vol 80%"), std::string::npos) << session.read_for(0.0);
    session.press("q");
    EXPECT_EQ(session.wait_exit(5.0), 2);
}
