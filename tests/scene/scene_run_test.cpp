// The scene program end to end, in a real window under Xvfb (CTest runs this
// suite under xvfb-run): scripted keys, the close button, the picture it
// paints, the walker's path and step sounds from its trace, and its failures.
#include "bmp_fixture.h"
#include "wav_fixture.h"
#include "x_display.h"

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace scene_test;

namespace {

constexpr int kSkyHeight = 200;
constexpr int kWalkFrames = 8;
constexpr int kTurnFrames = 3;

uint32_t sky_first_column(int y) { return 0x203000u + uint32_t(y); }

void picture(const fs::path &path, int w, int h, uint32_t (*colour)(int, int)) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels.push_back(colour(x, y));
    write_file(path.string(), make_bmp24(w, h, pixels));
}

// A tenth of a second of stereo sawtooth.
void wav(const fs::path &path) {
    zyn_test::Pcm sound{44100, 2, {}};
    for (int i = 0; i < 4410 * 2; ++i) sound.samples.push_back(static_cast<int16_t>((i * 37) & 0x0FFF));
    zyn_test::write_wav(path.string(), sound);
}

// A working folder with data/ (the 13 pictures and 3 sounds, small stand-ins
// of the real art) and, when asked, lib/ holding a plug-in.
class SceneFolder {
  public:
    explicit SceneFolder(bool with_lib = true) {
        char name[] = "/tmp/zyn-scene-run-XXXXXX";
        root_ = mkdtemp(name);
        const fs::path data = root_ / "data";
        fs::create_directories(data);
        picture(data / "sky_264.bmp", 264, kSkyHeight,
                [](int x, int y) { return x == 0 ? sky_first_column(y) : 0xFF0000u; });
        // Props: a coloured square on magenta, so only the square shows.
        for (const char *prop : {"p_home", "t_home", "s_home", "kk_sign", "kk"})
            picture(data / (std::string(prop) + ".bmp"), 24, 24,
                    [](int x, int y) { return (x > 3 && y > 3 && x < 20 && y < 20) ? 0x3366CCu : 0xFF00FFu; });
        auto walker = [](int x, int y) -> uint32_t {
            return (x % 28 > 5 && x % 28 < 22 && y > 2) ? 0x10E010u + uint32_t(x / 28) : 0xFF00FFu;
        };
        picture(data / "s_walk_right.bmp", 28 * kWalkFrames, 40, walker);
        picture(data / "s_walk_left.bmp", 28 * kWalkFrames, 40, walker);
        picture(data / "s_turn_left.bmp", 28 * kTurnFrames, 40, walker);
        picture(data / "s_turn_right.bmp", 28 * kTurnFrames, 40, walker);
        for (int size : {8, 16, 24})
            picture(data / ("bubble_" + std::to_string(size) + ".bmp"), size, size,
                    [](int, int) { return 0xC0C0FFu; });
        for (const char *sound : {"loop", "s_step_left", "s_step_right"}) wav(data / (std::string(sound) + ".wav"));
        if (with_lib) fs::create_directory_symlink(ZYN_SCENE_PLUGIN_DIR, root_ / "lib");
    }
    ~SceneFolder() { fs::remove_all(root_); }
    fs::path path(const std::string &name) const { return root_ / name; }

  private:
    fs::path root_;
};

struct SceneProcess {
    pid_t pid = -1;
    int code = -1;
    std::string log;

    SceneProcess(const SceneFolder &folder, const std::vector<std::string> &args) : log(folder.path("trace.txt").string()) {
        // A scene whose X connection failed would run on unseen (SDL falls back
        // to an offscreen window) and every window test would fail for it. Such
        // a start is the test machine's fault, not the scene's: it is named on
        // stderr and the scene is started again, at most twice more.
        for (int attempt = 1; attempt <= 3; ++attempt) {
            start(folder, args);
            const std::string refused = window_refused();
            if (refused.empty()) break;
            std::fprintf(stderr, "scene start %d could not open its window (%s):\n%s\n", attempt,
                         display_check().c_str(), refused.c_str());
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }
    void start(const SceneFolder &folder, const std::vector<std::string> &args) {
        pid = fork();
        if (pid == 0) {
            if (chdir(folder.path("").c_str()) != 0) _exit(90);
            if (!freopen(log.c_str(), "w", stderr) || !freopen("/dev/null", "w", stdout)) _exit(91);
            setenv("SDL_AUDIODRIVER", "dummy", 1);  // beeps go to SDL's silent device
            setenv("SDL_VIDEODRIVER", "x11", 1);    // no silent offscreen fallback
            std::vector<char *> argv{const_cast<char *>(ZYN_SCENE_PROGRAM)};
            for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(ZYN_SCENE_PROGRAM, argv.data());
            _exit(92);
        }
    }
    // Waits until the scene has its window or has ended; what it printed when
    // it ended for want of a window, else empty.
    std::string window_refused() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (running() && std::chrono::steady_clock::now() < end) {
            if (trace().find("\nwindow ") != std::string::npos) return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const std::string printed = trace();
        if (running() || code != 2 || printed.find("cannot open the window") == std::string::npos) return {};
        return printed;
    }
    // The exit code, or -1 when it had to be killed after the time given.
    int wait(int seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (running() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            pid = -1;
            return -1;
        }
        return code;
    }
    // Reaps the process when it has ended, keeping its exit code.
    bool running() {
        if (pid <= 0) return false;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) != pid) return true;
        pid = -1;
        code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    ~SceneProcess() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // For a failure: whether the scene still ran, and what it printed.
    std::string state() {
        const bool alive = running();
        return std::string(alive ? "still running" : "ended with " + std::to_string(code)) + "; it printed:\n" +
               trace();
    }
    // Its window: the id its trace names, else what a search by process id
    // finds; 0 when neither shows within the time.
    unsigned long window(int timeout_ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        do {
            std::istringstream lines(trace());
            std::string line;
            unsigned long id = 0;
            while (std::getline(lines, line))
                if (std::sscanf(line.c_str(), "window %lu", &id) == 1 && id != 0) return id;
            if (const unsigned long found = find_window(pid, 100)) return found;
        } while (running() && std::chrono::steady_clock::now() < end);
        return 0;
    }
    std::string trace() const {
        std::ifstream in(log);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

struct FrameTrace {
    int sheet = 0, anim = 0, x = 0, played = 0, key = 0, state = 0;
    std::string sound;
};

std::vector<FrameTrace> frames_of(const std::string &trace) {
    std::vector<FrameTrace> out;
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        FrameTrace f;
        long long number = 0;
        char sound[32] = "";
        int prev = 0, turning = 0;
        if (std::sscanf(line.c_str(), "frame %lld sheet %d anim %d x %d sound %31s played %d key %d state %d prev %d turning %d",
                        &number, &f.sheet, &f.anim, &f.x, sound, &f.played, &f.key, &f.state, &prev, &turning) == 10) {
            f.sound = sound;
            out.push_back(f);
        }
    }
    return out;
}

std::vector<uint32_t> read_png(const std::string &file, int *w, int *h) {
    std::vector<uint32_t> pixels;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return pixels;
    image.format = PNG_FORMAT_BGRA;
    pixels.resize(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    *w = static_cast<int>(image.width);
    *h = static_cast<int>(image.height);
    for (uint32_t &p : pixels) p &= 0xFFFFFF;
    return pixels;
}

// Types a key into the scene's window every few hundred ms while it runs
// (to answer its reports); returns how many it typed.
int answer_until_exit(SceneProcess &run, const std::string &key, int seconds) {
    int typed = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    unsigned long window = 0;
    while (run.running() && std::chrono::steady_clock::now() < end) {
        if (window == 0) window = run.window(1000);
        if (window != 0) typed += type_key(window, key);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return typed;
}

}  // namespace

TEST(SceneRun, PaintsSkyAndGroundBand) {
    SceneFolder folder;
    SceneProcess run(folder, {"--frames", "0", "--screenshot", folder.path("shot.png").string()});
    ASSERT_EQ(run.wait(60), 0) << run.trace();
    int w = 0, h = 0;
    const std::vector<uint32_t> shot = read_png(folder.path("shot.png").string(), &w, &h);
    ASSERT_EQ(w, 800);
    ASSERT_EQ(h, 480);
    auto at = [&](int x, int y) { return shot[static_cast<size_t>(y) * 800 + x]; };
    for (int x = 0; x < 800; ++x) {
        ASSERT_EQ(at(x, 240), 0xFFFF88u) << x;
        ASSERT_EQ(at(x, 300), 0xFFFFA6u) << x;
        ASSERT_EQ(at(x, 477), 0xFFFFFFu) << x;
        ASSERT_EQ(at(x, 478), 0xFFFFFFu) << x;
        ASSERT_EQ(at(x, 479), 0x000000u) << x;
    }
    for (int g = 241; g < 477; ++g) ASSERT_EQ(at(5, g), 0xFFFF00u + 256u + uint32_t((g - 480) / 2)) << g;
    // Every column shows the sky's first column (away from the props).
    for (int x : {0, 39, 100, 159, 230, 299, 700, 799})
        for (int y = 0; y < kSkyHeight; ++y) ASSERT_EQ(at(x, y), sky_first_column(y)) << x << "," << y;
    EXPECT_EQ(at(100, kSkyHeight), 0u);  // below the sky the screen stays black
    // A prop's square shows, its magenta does not.
    EXPECT_EQ(at(40 + 10, 200 + 10), 0x3366CCu);
    EXPECT_EQ(at(40 + 1, 200 + 1), 0x000000u);
}

TEST(SceneRun, WalksToTheRightEdgeTurnsAndStandsFacingLeft) {
    SceneFolder folder;
    SceneProcess run(folder, {"--trace", "--frames", "420", "--keys", "0:333"});
    ASSERT_EQ(run.wait(120), 0) << run.trace();
    const std::string trace = run.trace();
    const std::vector<FrameTrace> f = frames_of(trace);
    ASSERT_EQ(f.size(), 420u) << trace.substr(0, 2000);
    EXPECT_NE(trace.find("sound_ok 1"), std::string::npos);
    EXPECT_EQ(f[0].x, 360);
    EXPECT_EQ(f[0].key, 333);
    // Frames 1..411 walk right from 361 to 771, with a step at 0 and n/2 of each cycle.
    for (int i = 1; i <= 411; ++i) {
        ASSERT_EQ(f[i].sheet, 0) << i;
        ASSERT_EQ(f[i].x, 360 + i) << i;
        const int cycle = (i - 1) % kWalkFrames;
        const std::string want = cycle == 0 ? "step-left" : cycle == kWalkFrames / 2 ? "step-right" : "none";
        ASSERT_EQ(f[i].sound, want) << i;
        ASSERT_EQ(f[i].played, want != "none") << i;
    }
    for (int i = 412; i < 412 + kTurnFrames; ++i) {
        EXPECT_EQ(f[i].sheet, 1) << i;  // turning left
        EXPECT_EQ(f[i].anim, i - 412);
        EXPECT_EQ(f[i].x, 771);
    }
    for (size_t i = 412 + kTurnFrames; i < f.size(); ++i) {
        EXPECT_EQ(f[i].sheet, 2) << i;  // standing: walk-left frame 0
        EXPECT_EQ(f[i].anim, 0);
        EXPECT_EQ(f[i].x, 771);
    }
}

TEST(SceneRun, TurnsBeforeWalkingLeft) {
    SceneFolder folder;
    SceneProcess run(folder, {"--trace", "--frames", "12", "--keys", "2:331"});
    ASSERT_EQ(run.wait(60), 0) << run.trace();
    const std::vector<FrameTrace> f = frames_of(run.trace());
    ASSERT_EQ(f.size(), 12u);
    for (int i = 3; i < 3 + kTurnFrames; ++i) {
        EXPECT_EQ(f[i].sheet, 1);
        EXPECT_EQ(f[i].x, 360);
        EXPECT_EQ(f[i].sound, "none");
    }
    EXPECT_EQ(f[6].sheet, 2);
    EXPECT_EQ(f[6].x, 359);
    EXPECT_EQ(f[6].sound, "step-right");
    EXPECT_EQ(f[11].x, 354);
}

TEST(SceneRun, EscapeEndsIt) {
    SceneFolder folder;
    SceneProcess run(folder, {"--trace"});
    const unsigned long window = run.window(20000);
    ASSERT_NE(window, 0u) << run.state();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(type_key(window, "Escape"));
    EXPECT_EQ(run.wait(30), 0);
    const std::vector<FrameTrace> f = frames_of(run.trace());
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.back().key, 27);
}

TEST(SceneRun, CloseButtonEndsIt) {
    SceneFolder folder;
    SceneProcess run(folder, {"--trace"});
    const unsigned long window = run.window(20000);
    ASSERT_NE(window, 0u) << run.state();
    EXPECT_EQ(window_name(window), fs::path(ZYN_SCENE_PROGRAM).stem().string());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(close_window(window));
    EXPECT_EQ(run.wait(30), 0);
    const std::vector<FrameTrace> f = frames_of(run.trace());
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.back().key, 363);
}

TEST(SceneRun, MissingPictureIsReportedThenTheSceneRunsOn) {
    SceneFolder folder;
    fs::remove(folder.path("data/kk.bmp"));
    SceneProcess run(folder, {"--trace", "--frames", "5"});
    ASSERT_NE(run.window(20000), 0u) << run.state();
    // It waits for a key: no frame runs meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(run.running());
    EXPECT_TRUE(frames_of(run.trace()).empty());
    EXPECT_GE(answer_until_exit(run, "space", 30), 1);
    EXPECT_EQ(run.wait(30), 0);
    const std::string trace = run.trace();
    const size_t message = trace.find("message: error: can't open [./data/kk.bmp] !");
    ASSERT_NE(message, std::string::npos) << trace;
    const size_t beep = trace.find("beep", message);
    ASSERT_NE(beep, std::string::npos);
    // The prop is drawn once without a sheet: one more beep, then the frames.
    EXPECT_NE(trace.find("beep", beep + 4), std::string::npos);
    EXPECT_EQ(frames_of(trace).size(), 5u);
    EXPECT_EQ(trace.find("message:", message + 1), std::string::npos);
}

// The Escape that dismisses a report stays queued: one frame, then the end.
TEST(SceneRun, EscapeOnAReportEndsAfterOneFrame) {
    SceneFolder folder;
    fs::remove(folder.path("data/bubble_16.bmp"));
    SceneProcess run(folder, {"--trace"});
    answer_until_exit(run, "Escape", 30);
    EXPECT_EQ(run.wait(30), 0) << run.trace();
    const std::vector<FrameTrace> f = frames_of(run.trace());
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].key, 27);
}

TEST(SceneRun, WithoutPlugInsTheSceneIsSilent) {
    SceneFolder folder(false);
    SceneProcess run(folder, {"--trace", "--frames", "20", "--keys", "0:333"});
    ASSERT_EQ(run.wait(60), 0) << run.trace();
    const std::string trace = run.trace();
    EXPECT_NE(trace.find("sound_ok 0"), std::string::npos);
    const std::vector<FrameTrace> f = frames_of(trace);
    ASSERT_EQ(f.size(), 20u);
    EXPECT_EQ(f[1].sound, "step-left");  // decided, not played
    for (const FrameTrace &frame : f) EXPECT_EQ(frame.played, 0);
    EXPECT_EQ(f[19].x, 379);
}

TEST(SceneRun, SheetWithoutFramesEndsWithCodeOne) {
    SceneFolder folder;
    picture(folder.path("data/s_turn_left.bmp"), 20, 40, [](int, int) { return 0xFFFFFFu; });
    SceneProcess run(folder, {"--trace", "--frames", "5"});
    answer_until_exit(run, "space", 30);
    EXPECT_EQ(run.wait(30), 1) << run.trace();
    const std::string trace = run.trace();
    EXPECT_NE(trace.find("message: error: wrong number of frames  !"), std::string::npos) << trace;
    EXPECT_TRUE(frames_of(trace).empty());
}

TEST(SceneRun, BadCommandLine) {
    SceneFolder folder;
    SceneProcess run(folder, {"--frames", "x"});
    EXPECT_EQ(run.wait(30), 2);
    EXPECT_NE(run.trace().find("usage"), std::string::npos);
}
