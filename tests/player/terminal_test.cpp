// zynplay in a terminal: the status line redrawn in place, and the keys.
#include "player_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace player_test;

namespace {

// zynplay on a pseudo-terminal, paced like a real device but writing to a file.
class TerminalSession {
  public:
    TerminalSession(const zyn_test::TempDir &dir, const std::vector<std::string> &args) {
        winsize size{};
        size.ws_col = 120;
        size.ws_row = 30;
        pid_ = forkpty(&master_, nullptr, nullptr, &size);
        if (pid_ == 0) {
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
    }
    ~TerminalSession() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
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

    // Exit status, or -1 when it has not ended within the time.
    int wait_exit(double seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            read_for(0.05);
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return -1;
    }

  private:
    pid_t pid_ = -1;
    int master_ = -1;
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

TEST(PlayerTerminal, CtrlCEndsWithStatus130) {
    zyn_test::TempDir dir;
    write_wav(dir.file("song.wav"), tone(440.0, 1.0, 16000.0));
    TerminalSession session(dir, {"--loops", "0", dir.file("song.wav")});
    ASSERT_TRUE(session.started());
    session.read_for(0.5);
    session.signal(SIGINT);
    EXPECT_EQ(session.wait_exit(5.0), 130);
}
