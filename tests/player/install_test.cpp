// The installed engine, used from outside the build: files in place, the
// example host built through pkg-config, a find_package(zyn) consumer, and
// zynplay and libzyn.so finding their plug-ins from the prefix alone.
#include "player_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

using namespace player_test;

namespace {

bool exists(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

void write_text(const std::string &path, const std::string &text) {
    std::FILE *f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

// The recorded file holds the 440 Hz tone (after whatever silence came first).
void expect_tone_recorded(const std::string &path, size_t frames) {
    const WavFile out = read_wav(path);
    ASSERT_EQ(out.problem, "") << path;
    std::vector<double> left = out.channel(0);
    Extent heard = audible_extent(left);
    EXPECT_NEAR(static_cast<double>(heard.length()), static_cast<double>(frames), 3.0) << path;
    EXPECT_GT(amplitude_at(left, 440.0, out.rate, heard.first + 1000, 8000), 2000.0) << path;
}

class Installed : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix = dir.file("prefix");
        ProgramRun install = run_program({ZYN_CMAKE_COMMAND, "--install", ZYN_BUILD_DIR, "--prefix", prefix});
        ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
        write_wav(dir.file("tone.wav"), tone(440.0, 0.3, 16000.0));
    }
    zyn_test::TempDir dir;
    std::string prefix;
};

}  // namespace

TEST_F(Installed, LayoutHoldsLibraryHeadersPluginsAndPackageFiles) {
    for (const char *file : {"/lib/libzyn.so", "/lib/libzyn.so.0", "/include/zyn.h", "/include/zyn_plugout.h",
                             "/lib/zyn/plug-null.so", "/lib/zyn/plug-wav.so", "/bin/zynplay",
                             "/lib/pkgconfig/zyn.pc", "/lib/cmake/zyn/zynConfig.cmake",
                             "/lib/cmake/zyn/zynConfigVersion.cmake", "/lib/cmake/zyn/zynTargets.cmake"})
        EXPECT_TRUE(exists(prefix + file)) << file;
    ProgramRun soname = run_program({"/bin/sh", "-c", "readelf -d '" + prefix + "/lib/libzyn.so' | grep SONAME"});
    EXPECT_NE(soname.out.find("[libzyn.so.0]"), std::string::npos) << soname.out;
}

TEST_F(Installed, ExampleBuiltWithPkgConfigPlaysIntoAWavFile) {
    const std::string build = std::string(ZYN_C_COMPILER) + " -std=c99 -Wall -Werror '" + ZYN_SOURCE_DIR +
                              "examples/play.c' $(pkg-config --cflags --libs zyn) -o '" + dir.file("play") + "'";
    ProgramRun compile = run_program({"/bin/sh", "-c", build}, {"PKG_CONFIG_PATH=" + prefix + "/lib/pkgconfig"});
    ASSERT_EQ(compile.exit_code, 0) << compile.err;
    // Nothing beside the program: the library must find its plug-ins in the prefix.
    ProgramRun play = run_program({dir.file("play"), dir.file("tone.wav")},
                           {"LD_LIBRARY_PATH=" + prefix + "/lib", "ZYN_WAV_OUT=" + dir.file("played.wav"),
                            "ZYN_WAV_REALTIME=1"});
    ASSERT_EQ(play.exit_code, 0) << play.err;
    expect_tone_recorded(dir.file("played.wav"), 13230);
}

TEST_F(Installed, PlayAnyBuiltAsTheReadmeSaysRunsWithoutALibraryPath) {
    const std::string build = std::string(ZYN_C_COMPILER) + " -std=c99 -Wall -Werror '" + ZYN_SOURCE_DIR +
                              "examples/play_any.c' $(pkg-config --cflags --libs zyn) -Wl,-rpath,'" + prefix +
                              "/lib' -o '" + dir.file("play_any") + "'";
    ProgramRun compile = run_program({"/bin/sh", "-c", build}, {"PKG_CONFIG_PATH=" + prefix + "/lib/pkgconfig"});
    ASSERT_EQ(compile.exit_code, 0) << compile.err;
    ProgramRun play = run_program({dir.file("play_any"), dir.file("tone.wav")},
                                  {"ZYN_WAV_OUT=" + dir.file("any.wav"), "ZYN_WAV_REALTIME=1"});
    ASSERT_EQ(play.exit_code, 0) << play.err;
    expect_tone_recorded(dir.file("any.wav"), 13230);
    ProgramRun missing = run_program({dir.file("play_any"), dir.file("missing.flac")},
                                     {"ZYN_WAV_OUT=" + dir.file("none.wav")});
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_EQ(missing.err, "play_any: cannot open '" + dir.file("missing.flac") + "': No such file or directory\n");
}

TEST_F(Installed, FindPackageConsumerBuildsAndRuns) {
    const std::string project = dir.file("consumer");
    mkdir(project.c_str(), 0755);
    write_text(project + "/CMakeLists.txt",
               "cmake_minimum_required(VERSION 3.25)\n"
               "project(consumer C)\n"
               "find_package(zyn 0.1 REQUIRED CONFIG)\n"
               "add_executable(consumer \"" + std::string(ZYN_SOURCE_DIR) + "examples/play.c\")\n"
               "target_link_libraries(consumer PRIVATE zyn::zyn)\n");
    ProgramRun configure = run_program({ZYN_CMAKE_COMMAND, "-S", project, "-B", project + "/build",
                                 "-DCMAKE_PREFIX_PATH=" + prefix, "-DCMAKE_C_COMPILER=" ZYN_C_COMPILER});
    ASSERT_EQ(configure.exit_code, 0) << configure.out << configure.err;
    ProgramRun build = run_program({ZYN_CMAKE_COMMAND, "--build", project + "/build"});
    ASSERT_EQ(build.exit_code, 0) << build.out << build.err;
    ProgramRun play = run_program({project + "/build/consumer", dir.file("tone.wav")},
                           {"ZYN_WAV_OUT=" + dir.file("consumer.wav"), "ZYN_WAV_REALTIME=1"});
    ASSERT_EQ(play.exit_code, 0) << play.err;
    expect_tone_recorded(dir.file("consumer.wav"), 13230);
}

TEST_F(Installed, MovedPrefixStillRendersWithZynplay) {
    // Nothing in the prefix may depend on where it was installed.
    const std::string moved = dir.file("moved");
    ASSERT_EQ(std::rename(prefix.c_str(), moved.c_str()), 0);
    ProgramRun run = run_program({moved + "/bin/zynplay", "--out", dir.file("zynplay.wav"), dir.file("tone.wav")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    expect_tone_recorded(dir.file("zynplay.wav"), 13230);
}

TEST_F(Installed, SceneLauncherSavesScreenshotsWhereTheCallerIs) {
    const std::string launcher = prefix + "/bin/zyn-scene";
    ASSERT_TRUE(exists(launcher));
    // The launcher changes into the scene's folder; a stand-in scene there
    // tells what it was handed and from where.
    const std::string stand_in = prefix + "/share/zyn/scene/zyn-scene";
    ASSERT_TRUE(exists(stand_in));
    std::remove(stand_in.c_str());
    write_text(stand_in, "#!/bin/sh\nprintf '%s\\n' \"$@\"\n");
    chmod(stand_in.c_str(), 0755);
    const std::string caller = dir.file("caller");
    mkdir(caller.c_str(), 0755);
    ProgramRun run = run_program({"/bin/sh", "-c", "cd '" + caller + "' && '" + launcher +
                                                       "' --frames 2 --screenshot shot.png --trace"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "--frames\n2\n--screenshot\n" + caller + "/shot.png\n--trace\n");
    run = run_program({"/bin/sh", "-c", "cd '" + caller + "' && '" + launcher + "' --screenshot /abs/s.png"});
    EXPECT_EQ(run.out, "--screenshot\n/abs/s.png\n");
}
