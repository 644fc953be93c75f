// Runs the asset generator into a fresh folder and checks its files for what
// the scene relies on: BMP and WAV headers a loader accepts, walker sheets
// that cut into 28 x 40 frames with clean magenta around an outlined figure,
// props that stand on the ground line without overlapping each other, a sky
// gradient, translucent bubbles on black, a background loop that joins itself
// without a click, soft steps, and the same bytes on every run.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "asset_files.h"

namespace zyn::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kMagenta = 0xFF00FF;
constexpr int kFrameW = 28, kFrameH = 40;
constexpr int kGroundLine = 240;

const std::array<const char*, 13> kPictures{
    "sky_264.bmp",  "p_home.bmp",       "t_home.bmp",      "s_home.bmp",      "kk_sign.bmp",
    "kk.bmp",       "s_walk_right.bmp", "s_turn_left.bmp", "s_walk_left.bmp", "s_turn_right.bmp",
    "bubble_8.bmp", "bubble_16.bmp",    "bubble_24.bmp"};
const std::array<const char*, 3> kSounds{"loop.wav", "s_step_left.wav", "s_step_right.wav"};

int run_generator(const std::string& args) {
    const std::string command = std::string("\"") + ZYN_ASSETGEN + "\" " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Built by appending: GCC 12 at -O3 takes a one-character literal put in front
// of a std::string for an overlapping copy (a false -Wrestrict, GCC bug 105329).
std::string quoted(const fs::path& path) {
    std::string text = "\"";
    text += path.string();
    text += '"';
    return text;
}

fs::path fresh_folder(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("zyn-assets-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(dir);
    return dir;
}

class Assets : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fresh_folder("data");
        ASSERT_EQ(run_generator(quoted(dir_)), 0);
    }
    void TearDown() override { fs::remove_all(dir_); }

    Bmp bmp(const std::string& name) const {
        Bmp out;
        std::string error;
        EXPECT_TRUE(parse_bmp(read_file((dir_ / name).string()), out, error)) << name << ": " << error;
        return out;
    }
    WavFile wav(const std::string& name) const {
        WavFile out = parse_wav(read_file((dir_ / name).string()));
        EXPECT_EQ(out.problem, "") << name;
        return out;
    }

    fs::path dir_;
};

int brightness(std::uint32_t c) { return int((c >> 16) & 255) + int((c >> 8) & 255) + int(c & 255); }

// Colours a viewer cannot tell from the transparent magenta but the scene
// would draw: a fringe of them shows as a pink halo.
bool near_magenta(std::uint32_t c) {
    const int r = int(c >> 16) & 255, g = int(c >> 8) & 255, b = int(c) & 255;
    return c != kMagenta && r > 200 && b > 200 && g < 60;
}

Bmp frame_of(const Bmp& sheet, int index) {
    Bmp f;
    f.width = kFrameW;
    f.height = kFrameH;
    for (int y = 0; y < kFrameH; ++y)
        for (int x = 0; x < kFrameW; ++x) f.pixels.push_back(sheet.at(index * kFrameW + x, y));
    return f;
}

int frame_count(const Bmp& sheet) { return sheet.width / kFrameW; }

// Lowest row holding anything but magenta, or -1.
int lowest_opaque_row(const Bmp& b) {
    for (int y = b.height - 1; y >= 0; --y)
        for (int x = 0; x < b.width; ++x)
            if (b.at(x, y) != kMagenta) return y;
    return -1;
}

// Runs of opaque pixels along one row.
int opaque_runs(const Bmp& b, int y) {
    int runs = 0;
    for (int x = 0; x < b.width; ++x)
        if (b.at(x, y) != kMagenta && (x == 0 || b.at(x - 1, y) == kMagenta)) ++runs;
    return runs;
}

TEST_F(Assets, EverySceneFileIsWrittenInAFormatTheLoadersRead) {
    for (const char* name : kPictures) {
        ASSERT_TRUE(fs::exists(dir_ / name)) << name;
        const Bmp b = bmp(name);
        EXPECT_GT(b.width, 0) << name;
    }
    for (const char* name : kSounds) {
        ASSERT_TRUE(fs::exists(dir_ / name)) << name;
        const WavFile w = wav(name);
        EXPECT_EQ(w.bits, 16) << name;
        EXPECT_EQ(w.rate, 44100) << name;
        EXPECT_TRUE(w.channels == 1 || w.channels == 2) << name;
        EXPECT_GT(w.frames(), 0u) << name;
    }
    // Nothing else is left in the folder (no stray temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 16);
}

TEST_F(Assets, WalkerSheetsCutIntoWholeFramesWithCleanMagentaAroundAnOutlinedFigure) {
    for (const char* name : {"s_walk_right.bmp", "s_turn_left.bmp", "s_walk_left.bmp", "s_turn_right.bmp"}) {
        SCOPED_TRACE(name);
        const Bmp sheet = bmp(name);
        EXPECT_EQ(sheet.height, kFrameH);
        EXPECT_EQ(sheet.width % kFrameW, 0);
        ASSERT_GE(frame_count(sheet), 2);
        for (int f = 0; f < frame_count(sheet); ++f) {
            SCOPED_TRACE("frame " + std::to_string(f));
            const Bmp frame = frame_of(sheet, f);
            // The frame's corners are background and the figure stands on
            // the frame's bottom row (no hovering, no feet cut off).
            EXPECT_EQ(frame.at(0, 0), kMagenta);
            EXPECT_EQ(frame.at(kFrameW - 1, kFrameH - 1), kMagenta);
            EXPECT_EQ(lowest_opaque_row(frame), kFrameH - 1);
            for (int y = 0; y < kFrameH; ++y)
                for (int x = 0; x < kFrameW; ++x) {
                    const std::uint32_t c = frame.at(x, y);
                    ASSERT_FALSE(near_magenta(c)) << "pink fringe at " << x << "," << y;
                    if (c == kMagenta) continue;
                    // Every pixel on the silhouette is dark ink.
                    const bool edge = x == 0 || y == 0 || x == kFrameW - 1 || y == kFrameH - 1 ||
                                      frame.at(x - 1, y) == kMagenta || frame.at(x + 1, y) == kMagenta ||
                                      frame.at(x, y - 1) == kMagenta || frame.at(x, y + 1) == kMagenta;
                    if (edge) {
                        ASSERT_LT(brightness(c), 200) << "light silhouette pixel at " << x << "," << y;
                    }
                }
        }
    }
}

TEST_F(Assets, WalkCyclesPlantBothFeetOnTheFramesThatPlayStepsAndMirrorEachOther) {
    const Bmp right = bmp("s_walk_right.bmp"), left = bmp("s_walk_left.bmp");
    ASSERT_EQ(right.width, left.width);
    const int n = frame_count(right);
    ASSERT_GE(n, 4);
    EXPECT_EQ(n % 2, 0);
    // Steps sound on frame 0 and frame n / 2: both feet are on the ground
    // there, two separate shoes on the bottom row.
    for (int f : {0, n / 2}) EXPECT_EQ(opaque_runs(frame_of(right, f), kFrameH - 1), 2) << "frame " << f;
    // Between them the swinging foot is lifted: only one shoe touches.
    EXPECT_EQ(opaque_runs(frame_of(right, n / 4), kFrameH - 1), 1);
    // A real cycle: no two neighbouring frames are the same picture.
    for (int f = 0; f < n; ++f)
        EXPECT_NE(frame_of(right, f).pixels, frame_of(right, (f + 1) % n).pixels) << "frame " << f;
    for (int f = 0; f < n; ++f)
        for (int y = 0; y < kFrameH; ++y)
            for (int x = 0; x < kFrameW; ++x)
                ASSERT_EQ(left.at(f * kFrameW + x, y), right.at(f * kFrameW + kFrameW - 1 - x, y))
                    << "frame " << f << " at " << x << "," << y;
}

TEST_F(Assets, TurnsPassThroughAFrontViewAndJoinTheStandingPoses) {
    const Bmp walk_right = bmp("s_walk_right.bmp"), walk_left = bmp("s_walk_left.bmp");
    const Bmp turn_left = bmp("s_turn_left.bmp"), turn_right = bmp("s_turn_right.bmp");
    const int n = frame_count(turn_left);
    ASSERT_GE(n, 3);
    ASSERT_EQ(frame_count(turn_right), n);
    for (const Bmp* turn : {&turn_left, &turn_right}) {
        const auto middle = frame_of(*turn, n / 2).pixels;
        EXPECT_NE(middle, frame_of(*turn, 0).pixels);
        EXPECT_NE(middle, frame_of(*turn, n - 1).pixels);
    }
    // The turn starts from the standing pose it leaves and ends in the one it
    // reaches, so standing after a turn does not jump.
    EXPECT_EQ(frame_of(turn_left, 0).pixels, frame_of(walk_right, 0).pixels);
    EXPECT_EQ(frame_of(turn_left, n - 1).pixels, frame_of(walk_left, 0).pixels);
    EXPECT_EQ(frame_of(turn_right, 0).pixels, frame_of(walk_left, 0).pixels);
    EXPECT_EQ(frame_of(turn_right, n - 1).pixels, frame_of(walk_right, 0).pixels);
    // The front view faces the player: it is left-right symmetric in outline.
    const Bmp front = frame_of(turn_left, n / 2);
    int asymmetric = 0;
    for (int y = 0; y < kFrameH; ++y)
        for (int x = 0; x < kFrameW; ++x)
            asymmetric += (front.at(x, y) == kMagenta) != (front.at(kFrameW - 1 - x, y) == kMagenta);
    EXPECT_LT(asymmetric, 40);
}

struct Placement {
    const char* name;
    int x, y;
};
const std::array<Placement, 5> kProps{{
    {"p_home.bmp", 40, 200},
    {"t_home.bmp", 160, 110},
    {"s_home.bmp", 300, 110},
    {"kk_sign.bmp", 460, 20},
    {"kk.bmp", 560, 115},
}};

TEST_F(Assets, PropsStandOnTheGroundLineSideBySideOnScreen) {
    int previous_right = 0;
    for (const auto& p : kProps) {
        SCOPED_TRACE(p.name);
        const Bmp b = bmp(p.name);
        const int bottom = p.y + lowest_opaque_row(b);
        EXPECT_GE(bottom, kGroundLine);
        EXPECT_LE(bottom, kGroundLine + 10);
        EXPECT_EQ(b.at(0, 0), kMagenta);
        int first = b.width, last = -1;
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) {
                ASSERT_FALSE(near_magenta(b.at(x, y))) << "pink fringe at " << x << "," << y;
                if (b.at(x, y) != kMagenta) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
        // Nothing sticks out of the screen or into the previous prop.
        EXPECT_GE(p.x + first, previous_right + 1);
        EXPECT_LT(p.x + last, 800);
        previous_right = p.x + last;
    }
}

TEST_F(Assets, SkyFirstColumnIsASmoothGradientFromDeepBlueToPaleHorizon) {
    const Bmp sky = bmp("sky_264.bmp");
    ASSERT_EQ(sky.height, 264);
    for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        for (int y = 1; y < kGroundLine; ++y) {
            const int above = int(sky.at(0, y - 1) >> shift) & 255, here = int(sky.at(0, y) >> shift) & 255;
            ASSERT_GE(here, above) << "channel " << c << " row " << y;
            ASSERT_LE(here - above, 4) << "banding at row " << y;
        }
    }
    const std::uint32_t top = sky.at(0, 0), horizon = sky.at(0, kGroundLine - 1);
    EXPECT_GT(int(top & 255), int(top >> 16) + 60);  // blue, not grey
    EXPECT_GT(brightness(horizon), brightness(top) + 150);
}

TEST_F(Assets, BubblesAreRoundTranslucentAndVanishIntoTheirBlackCorners) {
    for (int size : {8, 16, 24}) {
        SCOPED_TRACE(size);
        const Bmp b = bmp("bubble_" + std::to_string(size) + ".bmp");
        ASSERT_EQ(b.width, size);
        ASSERT_EQ(b.height, size);
        for (auto [x, y] : {std::pair{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}})
            EXPECT_EQ(b.at(x, y), 0u);
        // Brightness becomes opacity: the middle must be mostly see-through,
        // the highlight nearly opaque, and the rim visible.
        const int c = size / 2;
        EXPECT_LT(brightness(b.at(c, c)) / 3, 100);
        int brightest = 0;
        for (auto p : b.pixels) brightest = std::max(brightest, brightness(p));
        EXPECT_GT(brightest / 3, 200);
        EXPECT_GE(brightness(b.at(0, c)) + brightness(b.at(c, 0)), 2 * 24);
        // Round: nothing shows outside the circle, and the rim shows all
        // the way round it.
        const double r = size / 2.0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const double d = std::hypot(x + 0.5 - r, y + 0.5 - r);
                if (d > r + 0.25) {
                    EXPECT_LT(brightness(b.at(x, y)), 24) << x << "," << y;
                }
            }
        for (int k = 0; k < 16; ++k) {
            const double a = k * 3.14159265358979 / 8.0;
            int rim = 0;
            for (double t = 0.0; t < r; t += 0.25)
                rim = std::max(rim, brightness(b.at(int(r + t * std::cos(a)), int(r + t * std::sin(a)))));
            EXPECT_GE(rim, 3 * 24) << "rim missing in direction " << k;
        }
    }
}

TEST_F(Assets, BackgroundLoopIsWholeBeatsQuietAndJoinsItselfWithoutAClick) {
    const WavFile loop = wav("loop.wav");
    ASSERT_GT(loop.frames(), 44100u * 4);
    EXPECT_LE(loop.frames(), 44100u * 20);
    // A whole number of beats at a tempo between 90 and 130 bpm.
    bool whole_beats = false;
    for (int bpm = 90; bpm <= 130; ++bpm) {
        const double beat = 44100.0 * 60.0 / bpm;
        const double beats = double(loop.frames()) / beat;
        if (std::abs(beats - std::round(beats)) * beat < 1.0 && std::fmod(std::round(beats), 4.0) == 0.0)
            whole_beats = true;
    }
    EXPECT_TRUE(whole_beats) << loop.frames() << " frames";

    const int ch = loop.channels;
    int peak = 0, largest_step = 0;
    for (std::size_t i = 0; i < loop.samples.size(); ++i) {
        peak = std::max(peak, std::abs(int(loop.samples[i])));
        if (i >= std::size_t(ch))
            largest_step =
                std::max(largest_step, std::abs(loop.samples[i] - loop.samples[i - std::size_t(ch)]));
    }
    // Around -12 dBFS: leaves room for steps mixed on top.
    EXPECT_GT(peak, 32768 / 8);
    EXPECT_LT(peak, 32768 / 3);
    // The wrap from the last frame to the first is an ordinary step of the
    // music around it: a loop cut without its tails jumps by about the
    // signal's level instead, an order of magnitude more.
    const std::size_t frames = loop.frames();
    for (int c = 0; c < ch; ++c) {
        auto sample = [&](std::size_t frame) {
            return int(loop.samples[(frame % frames) * std::size_t(ch) + std::size_t(c)]);
        };
        double around = 0.0;
        for (std::size_t k = frames - 256; k < frames + 256; ++k)
            if (k != frames) around += std::abs(sample(k) - sample(k - 1));
        around /= 511.0;
        const int join = std::abs(sample(0) - sample(frames - 1));
        EXPECT_LE(join, std::max(4.0 * around, 32.0)) << "channel " << c;
        EXPECT_LE(join, largest_step) << "channel " << c;
        // The first play starts after silence: no step there either.
        EXPECT_LE(std::abs(sample(0)), 256) << "channel " << c;
    }
    // It is music, not silence or noise: most of the loop is audible.
    std::size_t quiet = 0;
    for (std::size_t i = 0; i < loop.samples.size(); i += std::size_t(ch))
        quiet += std::abs(int(loop.samples[i])) < 30;
    EXPECT_LT(quiet, loop.frames() / 5);
}

TEST_F(Assets, StepsAreShortSoftAndStartAndEndInSilence) {
    const WavFile left = wav("s_step_left.wav"), right = wav("s_step_right.wav");
    for (const WavFile* w : {&left, &right}) {
        const double ms = 1000.0 * double(w->frames()) / w->rate;
        EXPECT_GE(ms, 60.0);
        EXPECT_LE(ms, 120.0);
        EXPECT_LE(std::abs(int(w->samples.front())), 64);
        EXPECT_LE(std::abs(int(w->samples.back())), 64);
        int peak = 0;
        long long sum = 0;
        for (auto s : w->samples) {
            peak = std::max(peak, std::abs(int(s)));
            sum += s;
        }
        EXPECT_GT(peak, 32768 / 16);
        EXPECT_LT(peak, 32768 * 3 / 4);
        // No DC offset to thump when it starts.
        EXPECT_LT(std::abs(double(sum) / double(w->samples.size())), 400.0);
    }
    EXPECT_NE(left.samples, right.samples);
}

TEST(AssetGenerator, WritesTheSameBytesEveryRun) {
    const fs::path a = fresh_folder("run-a"), b = fresh_folder("run-b");
    ASSERT_EQ(run_generator(quoted(a)), 0);
    ASSERT_EQ(run_generator(quoted(b)), 0);
    for (const char* name : kPictures)
        EXPECT_EQ(read_file((a / name).string()), read_file((b / name).string())) << name;
    for (const char* name : kSounds)
        EXPECT_EQ(read_file((a / name).string()), read_file((b / name).string())) << name;
    fs::remove_all(a);
    fs::remove_all(b);
}

TEST(AssetGenerator, FailsWithAnErrorWhenTheFolderCannotBeMade) {
    const fs::path dir = fresh_folder("blocked");
    fs::create_directories(dir);
    { std::ofstream(dir / "file") << "in the way"; }
    EXPECT_NE(run_generator(quoted(dir / "file" / "data")), 0);
    EXPECT_NE(run_generator(""), 0);
    fs::remove_all(dir);
}

TEST(AssetGenerator, PreviewIsAnImageOfTheWholeScreen) {
    const fs::path dir = fresh_folder("preview");
    fs::create_directories(dir);
    ASSERT_EQ(run_generator("--preview " + quoted(dir / "scene.bmp")), 0);
    Bmp shot;
    std::string error;
    ASSERT_TRUE(parse_bmp(read_file((dir / "scene.bmp").string()), shot, error)) << error;
    EXPECT_EQ(shot.width, 800);
    EXPECT_EQ(shot.height, 480);
    // The ground band as the scene paints it: row 240 is 0xFFFF88, row 479 black.
    EXPECT_EQ(shot.at(5, 240), 0xFFFF88u);
    EXPECT_EQ(shot.at(799, 300), 0xFFFFA6u);
    EXPECT_EQ(shot.at(0, 479), 0u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zyn::test
