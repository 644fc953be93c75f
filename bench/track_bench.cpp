// Tracks: CPU of 16 Ogg Vorbis tracks playing at once against vorbisfile
// alone decoding the same audio, memory per open track over 64 tracks,
// 64 tracks paced in real time by the null plug-in, and seeking in a
// ten-minute file.
//
// CPU is process CPU time (getrusage: the pool's threads included), the
// median of three runs, so that what other programs do to the machine
// weighs little; the peer runs in the same process just before.
//
//   build/track_bench                     prints the table
//   build/track_bench --markdown=FILE     also writes it for docs/benchmarks.md
//   build/track_bench --only=cpu          one part: cpu, memory, realtime, seek
#include "media/rate_converter.h"
#include "streaming/decoder_pool.h"
#include "test_support.h"
#include "zyn.h"

#include <vorbis/vorbisfile.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kDeviceRate = 44100;
constexpr int32_t kBlock = 1024;
constexpr int kTracks = 16;
constexpr int kManyTracks = 64;
constexpr double kSeconds = 20.0;  // of audio per track and run

double process_cpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double thread_cpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// kB of a line of /proc/self/status ("VmRSS", "VmHWM").
double status_kib(const char *key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key) + 1);
    return 0.0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

bool run(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

struct Files {
    zyn_test::TempDir dir;
    std::string music44, music48, long44;
    bool ok = false;
    Files() {
        // A chord with a slow sweep and some noise, so the encoder has work.
        const auto make = [&](const std::string &name, int rate, double seconds) {
            const std::string wav = dir.file(name + ".wav"), ogg = dir.file(name + ".ogg");
            const bool made = run("sox -n -r " + std::to_string(rate) + " -c 2 -b 16 '" + wav + "' synth " +
                                  std::to_string(seconds) + " sine 220-880 sine 330 pinknoise vol 0.3") &&
                              run("oggenc -Q -q 5 -o '" + ogg + "' '" + wav + "'");
            std::remove(wav.c_str());
            return made ? ogg : std::string();
        };
        music44 = make("music44", 44100, 30.0);
        music48 = make("music48", 48000, 30.0);
        long44 = make("long44", 44100, 600.0);
        ok = !music44.empty() && !music48.empty() && !long44.empty();
    }
};

// CPU seconds of count tracks of path playing `seconds` of audio each,
// mixed as fast as the blocks can be made.
double zyn_cpu(const std::string &path, int count, double seconds) {
    zyn_test::PumpDevice device(kDeviceRate, 2, kBlock);
    std::vector<int32_t> tracks(static_cast<size_t>(count), -1);
    for (int32_t &t : tracks) {
        if (ZYN_OPEN_TRACK(path.c_str(), &t) != 1 || ZYN_PLAY_TRACK(t, ZYN_LOOP_FOREVER) != 1) {
            std::fprintf(stderr, "track_bench: %s\n", ZYN_GET_LASTERROR());
            std::exit(1);
        }
    }
    const auto blocks = static_cast<int64_t>(seconds * kDeviceRate / kBlock);
    const double start = process_cpu();
    for (int64_t b = 0; b < blocks; ++b) {
        zyn::top_up_tracks();
        device.pump();
    }
    const double used = process_cpu() - start;
    for (int32_t &t : tracks) ZYN_CLOSE_TRACK(&t);
    return used;
}

// CPU seconds of vorbisfile alone decoding the same audio into floats; with
// convert_to > 0, each file's floats also go through libsoxr as zyn
// converts them (same quality, same chunks), to that rate.
double vorbisfile_cpu(const std::string &path, int count, double seconds, int32_t convert_to = 0) {
    std::vector<OggVorbis_File> files(static_cast<size_t>(count));
    for (OggVorbis_File &f : files) ov_fopen(path.c_str(), &f);
    const double start = process_cpu();
    double sum = 0.0;
    std::vector<float> frames(4096 * 2), converted(8192 * 2);
    for (OggVorbis_File &f : files) {
        const int32_t rate = static_cast<int32_t>(ov_info(&f, -1)->rate);
        zyn::RateConverter converter;
        if (convert_to > 0) converter.open(rate, convert_to, 2);
        const auto want = static_cast<int64_t>(seconds * rate);
        int section = 0;
        for (int64_t got = 0; got < want;) {
            float **pcm = nullptr;
            const long n = ov_read_float(&f, &pcm, 4096, &section);
            if (n <= 0) {
                ov_pcm_seek(&f, 0);
                continue;
            }
            sum += pcm[0][0];
            got += n;
            if (convert_to <= 0) continue;
            for (long i = 0; i < n; ++i) {
                frames[2 * static_cast<size_t>(i)] = pcm[0][i];
                frames[2 * static_cast<size_t>(i) + 1] = pcm[1][i];
            }
            for (size_t taken_all = 0; taken_all < static_cast<size_t>(n);) {
                size_t taken = 0;
                converter.process(frames.data() + taken_all * 2, static_cast<size_t>(n) - taken_all,
                                  converted.data(), 8192, &taken);
                taken_all += taken;
            }
            sum += converted[0];
        }
    }
    const double used = process_cpu() - start;
    for (OggVorbis_File &f : files) ov_clear(&f);
    if (sum == 12345.678) std::puts("");  // keeps the decoding
    return used;
}

struct CpuRow {
    double zyn = 0.0, peer = 0.0, libraries = 0.0;  // libraries: vorbisfile and libsoxr alone
};

CpuRow cpu_row(const std::string &path, bool converts) {
    std::vector<double> zyn, peer, libraries;
    for (int i = 0; i < 3; ++i) {
        peer.push_back(vorbisfile_cpu(path, kTracks, kSeconds));
        if (converts) libraries.push_back(vorbisfile_cpu(path, kTracks, kSeconds, kDeviceRate));
        zyn.push_back(zyn_cpu(path, kTracks, kSeconds));
    }
    // ms of CPU per second of audio of one track.
    const double per = 1000.0 / (kTracks * kSeconds);
    return {median(zyn) * per, median(peer) * per, median(libraries) * per};
}

// KiB each of 64 open tracks adds to the resident set (and to its peak).
struct Memory {
    double rss = 0.0, peak = 0.0;
};
Memory memory_per_track(const std::string &path) {
    zyn_test::PumpDevice device(kDeviceRate, 2, kBlock);
    int32_t warm = -1;
    ZYN_OPEN_TRACK(path.c_str(), &warm);
    ZYN_CLOSE_TRACK(&warm);
    const double rss = status_kib("VmRSS"), peak = status_kib("VmHWM");
    std::vector<int32_t> tracks(kManyTracks, -1);
    for (int32_t &t : tracks) {
        ZYN_OPEN_TRACK(path.c_str(), &t);
        ZYN_PLAY_TRACK(t, ZYN_LOOP_FOREVER);
    }
    for (int b = 0; b < 200; ++b) {
        zyn::top_up_tracks();
        device.pump();
    }
    Memory m{(status_kib("VmRSS") - rss) / kManyTracks, (status_kib("VmHWM") - peak) / kManyTracks};
    for (int32_t &t : tracks) ZYN_CLOSE_TRACK(&t);
    return m;
}

// 64 tracks for `seconds` on the null plug-in, which paces fills like a
// sound card: frames any track was silent for, and the CPU share.
struct Realtime {
    int64_t late = -1;
    double cpu_percent = 0.0;
    bool ok = false;
};
Realtime realtime(const std::string &path, double seconds) {
    zyn_test::TempDir plugins;
    Realtime r;
    if (symlink(ZYN_PLUGIN_DIR "plug-null.so", plugins.file("plug-null.so").c_str()) != 0) return r;
    ZYN_SET_PLUGPATH((plugins.path() + "/").c_str());
    if (ZYN_INIT(kDeviceRate, 2, 3, 512, -1) != 1) return r;
    std::vector<int32_t> tracks(kManyTracks, -1);
    for (int32_t &t : tracks) {
        ZYN_OPEN_TRACK(path.c_str(), &t);
        ZYN_PLAY_TRACK(t, ZYN_LOOP_FOREVER);
    }
    const double start = process_cpu();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    r.cpu_percent = 100.0 * (process_cpu() - start) / seconds;
    r.late = 0;
    for (int32_t t : tracks) {
        int64_t late = 0;
        ZYN_GET_TRACKUNDERRUNS(t, &late);
        r.late += late;
    }
    r.ok = ZYN_GET_PLAYINGTRACKS() == kManyTracks;
    ZYN_EXIT();
    return r;
}

// Milliseconds a seek to a random frame takes (wall and the caller's CPU).
struct Seek {
    double wall = 0.0, worst = 0.0, cpu = 0.0;
    bool ok = false;
};
Seek seeks(const std::string &path) {
    zyn_test::PumpDevice device(kDeviceRate, 2, kBlock);
    Seek s;
    int32_t t = -1;
    int64_t frames = 0;
    if (ZYN_OPEN_TRACK(path.c_str(), &t) != 1 || ZYN_GET_TRACKINFO(t, &frames, nullptr, nullptr) != 1 ||
        ZYN_PLAY_TRACK(t, 1) != 1)
        return s;
    std::mt19937_64 random(7);
    std::vector<double> wall, cpu;
    for (int i = 0; i < 41; ++i) {
        const int64_t frame = static_cast<int64_t>(random() % static_cast<uint64_t>(frames));
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = thread_cpu();
        if (ZYN_SEEK_TRACK(t, frame) != 1) return s;
        cpu.push_back((thread_cpu() - c0) * 1000.0);
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        device.pump();
    }
    s.wall = median(wall);
    s.worst = *std::max_element(wall.begin(), wall.end());
    s.cpu = median(cpu);
    s.ok = true;
    ZYN_CLOSE_TRACK(&t);
    return s;
}

}  // namespace

int main(int argc, char **argv) {
    std::string markdown, only;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--markdown=", 11) == 0) markdown = argv[i] + 11;
        if (std::strncmp(argv[i], "--only=", 7) == 0) only = argv[i] + 7;
    }
    const auto wanted = [&](const char *part) { return only.empty() || only == part; };
    setenv("ZYN_WAV_OUT", "", 1);
    Files files;
    if (!files.ok) {
        std::fprintf(stderr, "track_bench: sox or oggenc missing\n");
        return 1;
    }
    const CpuRow same = wanted("cpu") ? cpu_row(files.music44, false) : CpuRow{};
    const CpuRow convert = wanted("cpu") ? cpu_row(files.music48, true) : CpuRow{};
    const Memory m44 = wanted("memory") ? memory_per_track(files.music44) : Memory{};
    const Memory m48 = wanted("memory") ? memory_per_track(files.music48) : Memory{};
    const Seek seek = wanted("seek") ? seeks(files.long44) : Seek{};
    const Realtime rt = wanted("realtime") ? realtime(files.music44, 10.0) : Realtime{};

    std::ostringstream t;
    char line[512];
    t << "| measurement | zyn | vorbisfile alone | ratio | goal |\n|---|---:|---:|---:|---|\n";
    std::snprintf(line, sizeof line, "| 16 tracks, 44.1 kHz files, 44.1 kHz device (CPU ms per track-second) | %.2f | %.2f | %.2f | 1.15 or below |\n",
                  same.zyn, same.peer, same.zyn / same.peer);
    t << line;
    std::snprintf(line, sizeof line, "| 16 tracks, 48 kHz files, 44.1 kHz device (CPU ms per track-second) | %.2f | %.2f | %.2f | 1.5 or below |\n",
                  convert.zyn, convert.peer, convert.zyn / convert.peer);
    t << line;
    std::snprintf(line, sizeof line, "| the same files through vorbisfile and libsoxr alone (HQ, as zyn converts) | %.2f | %.2f | %.2f | |\n",
                  convert.libraries, convert.peer, convert.libraries / convert.peer);
    t << line;
    std::snprintf(line, sizeof line, "| memory per open track, 64 open (resident KiB, peak in brackets), 44.1 / 48 kHz files | %.0f (%.0f) / %.0f (%.0f) | | | 1024 or below |\n",
                  m44.rss, m44.peak, m48.rss, m48.peak);
    t << line;
    if (rt.ok)
        std::snprintf(line, sizeof line, "| 64 tracks, null plug-in in real time for 10 s (frames any track was silent; CPU) | %lld (%.0f %% of a core) | | | 0 |\n",
                      static_cast<long long>(rt.late), rt.cpu_percent);
    else
        std::snprintf(line, sizeof line, "| 64 tracks, null plug-in in real time | did not run | | | 0 |\n");
    t << line;
    if (seek.ok)
        std::snprintf(line, sizeof line, "| seek in a 10-minute file (median ms of 41; slowest; caller's CPU) | %.2f (%.2f; %.2f) | | | 20 or below |\n",
                      seek.wall, seek.worst, seek.cpu);
    else
        std::snprintf(line, sizeof line, "| seek in a 10-minute file | failed: %s | | | 20 or below |\n", ZYN_GET_LASTERROR());
    t << line;
    std::fputs(t.str().c_str(), stdout);
    if (!markdown.empty()) std::ofstream(markdown) << t.str();
    return 0;
}
