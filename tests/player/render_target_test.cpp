// zynplay --out never destroys a file: a failed, mistaken or interrupted run
// leaves every file as it was, and only --force replaces one, with a whole
// render.
#include "player_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace player_test;

namespace {

std::string contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Files of the folder named as renders under way, with their sizes.
std::vector<std::pair<std::string, off_t>> renders_under_way(const std::string &folder) {
    std::vector<std::pair<std::string, off_t>> found;
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) return found;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat info;
        if (name.find(".zynplay-") != std::string::npos && stat((folder + "/" + name).c_str(), &info) == 0)
            found.emplace_back(name, info.st_size);
    }
    closedir(dir);
    return found;
}

std::string shown(const std::vector<std::string> &args) {
    std::string text;
    for (const std::string &a : args) text += a + " ";
    return text;
}

}  // namespace

TEST(PlayerRenderTarget, NoRunDestroysAFile) {
    zyn_test::TempDir dir;
    const std::string precious = dir.file("precious.wav"), text = dir.file("text.wav"), song = dir.file("song.wav");
    write_wav(song, tone(440.0, 0.3, 8000.0));
    put(text, "not a sound\n");
    put(precious, "precious bytes");
    ASSERT_EQ(symlink(song.c_str(), dir.file("link.wav").c_str()), 0);
    ASSERT_EQ(link(song.c_str(), dir.file("hard.wav").c_str()), 0);
    const std::string song_bytes = contents(song);
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        std::string told;
    };
    const Case cases[] = {
        // Nothing rendered, so nothing replaced, --force or not.
        {{"--force", "--out", precious, text}, 2, "not an audio file"},
        {{"--out", precious, song}, 1, "'" + precious + "' exists; add --force to replace it"},
        // The output is one of the inputs: by name, by another path, through links.
        {{"--force", "--out", song, song}, 1, "is one of the files to play"},
        {{"--force", "--out", dir.path() + "/./song.wav", song}, 1, "is the same file as one of the files to play"},
        {{"--force", "--out", dir.file("link.wav"), song}, 1, "is the same file as one of the files to play"},
        {{"--force", "--out", dir.file("hard.wav"), text, song}, 1, "('" + song + "')"},
    };
    for (const Case &c : cases) {
        ProgramRun run = run_zynplay(c.args);
        EXPECT_EQ(run.exit_code, c.exit_code) << shown(c.args) << run.err;
        EXPECT_NE(run.err.find(c.told), std::string::npos) << shown(c.args) << run.err;
        EXPECT_EQ(contents(precious), "precious bytes") << shown(c.args);
        EXPECT_TRUE(contents(song) == song_bytes) << shown(c.args) << "changed the file played";
        EXPECT_TRUE(renders_under_way(dir.path()).empty()) << shown(c.args);
    }
}

TEST(PlayerRenderTarget, ForceReplacesAFileWithTheWholeRender) {
    zyn_test::TempDir dir;
    const std::string song = dir.file("song.wav"), old = dir.file("old.wav"), named = dir.file("named.wav");
    write_wav(song, tone(440.0, 0.3, 8000.0));
    put(old, "old bytes");
    ASSERT_EQ(chmod(old.c_str(), 0640), 0);
    put(named, "named bytes");
    ASSERT_EQ(symlink(named.c_str(), dir.file("link.wav").c_str()), 0);
    for (const std::string &out : {old, dir.file("link.wav")}) {
        ProgramRun run = run_zynplay({"--force", "--out", out, song});
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_TRUE(renders_under_way(dir.path()).empty()) << out;
    }
    // The replaced file keeps its permissions; a link stays a link, and the
    // file it names takes the render.
    struct stat info;
    ASSERT_EQ(stat(old.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    ASSERT_EQ(lstat(dir.file("link.wav").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    for (const std::string &rendered : {old, named}) {
        const WavFile wav = read_wav(rendered);
        ASSERT_EQ(wav.problem, "") << rendered;
        EXPECT_NEAR(static_cast<double>(audible_extent(wav.channel(0)).length()), 0.3 * 44100, 3.0) << rendered;
    }
}

TEST(PlayerRenderTarget, ASignalDuringARenderLeavesTheFileAsItWas) {
    zyn_test::TempDir dir;
    const std::string precious = dir.file("precious.wav"), song = dir.file("song.wav");
    write_wav(song, tone(440.0, 0.3, 8000.0));
    struct Case {
        int signal;
        int exit_code;    // -1: ended by the signal itself
        bool told;        // says the file was not written
    };
    const Case cases[] = {{SIGINT, 130, true}, {SIGTERM, 143, true}, {SIGQUIT, -1, false}};
    for (const Case &c : cases) {
        put(precious, "precious bytes");
        // Long enough to be under way when the signal comes, small at a low rate.
        ProgramRun run = run_zynplay_signalled(
            {"--force", "--out", precious, "--rate", "4000", "--channels", "1", "--loops", "100000", song}, c.signal,
            [&] {
                auto renders = renders_under_way(dir.path());
                return !renders.empty() && renders[0].second > 4000;
            });
        EXPECT_EQ(run.exit_code, c.exit_code) << strsignal(c.signal) << run.err;
        if (c.exit_code < 0) {
            EXPECT_EQ(run.signal, c.signal) << run.err;
        }
        EXPECT_EQ(run.err.find("the render was interrupted; the file was not written") != std::string::npos, c.told)
            << run.err;
        EXPECT_EQ(contents(precious), "precious bytes") << strsignal(c.signal);
        EXPECT_TRUE(renders_under_way(dir.path()).empty()) << strsignal(c.signal);
    }
}
