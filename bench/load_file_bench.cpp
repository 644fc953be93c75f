// ZYN_LOAD_FILE per format next to the decoder library alone and to the
// classic loaders, and libsoxr's cost per second of audio. Each load is
// timed in CPU time and divided by the seconds of audio it holds.
//
//   build/load_file_bench                        Google Benchmark's own output
//   build/load_file_bench --markdown=table.md    also the table docs/benchmarks.md shows
#include "media/rate_converter.h"
#include "test_support.h"
#include "zyn.h"

#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <sndfile.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kSeconds = 60.0;

struct Format {
    const char *name;     // row label
    const char *file;     // fixture name
    const char *encode;   // shell command from music.wav (IN) to the file (OUT)
    int32_t device_rate;  // the format's own rate, so no conversion is timed
    int classic;          // 0 none, 1 WAV, 2 MP3, 3 Ogg
};

const Format kFormats[] = {
    {"WAV 16-bit", "w16.wav", "sox IN -b 16 OUT", 44100, 1},
    {"WAV 24-bit (extensible)", "w24.wav", "sox IN -b 24 OUT", 44100, 0},
    {"WAV float", "wf.wav", "sox IN -e floating-point -b 32 OUT", 44100, 0},
    {"FLAC", "f.flac", "flac -s -f IN -o OUT", 44100, 0},
    {"Ogg Vorbis (q5)", "v.ogg", "oggenc -Q -q 5 -o OUT IN", 44100, 3},
    {"Opus (128 kbit/s)", "o.opus", "opusenc --quiet --bitrate 128 IN OUT", 48000, 0},
    {"MP3 (192 kbit/s)", "m.mp3", "lame --quiet -b 192 IN OUT", 44100, 2},
};

struct Fixtures {
    zyn_test::TempDir dir;
    bool ok = true;
    Fixtures() {
        // A minute of a chord with a slow sweep and some noise, so the
        // encoders have real work.
        const std::string wav = dir.file("music.wav");
        ok = run("sox -n -r 44100 -c 2 -b 16 -e signed '" + wav + "' synth " + std::to_string(kSeconds) +
                 " sine 220-880 sine 330 pinknoise vol 0.3");
        for (const Format &f : kFormats) {
            std::string line;
            for (const char *c = f.encode; *c != '\0';) {
                if (std::strncmp(c, "IN", 2) == 0) {
                    line.append(1, '\'').append(wav).append(1, '\'');
                    c += 2;
                } else if (std::strncmp(c, "OUT", 3) == 0) {
                    line.append(1, '\'').append(path(f)).append(1, '\'');
                    c += 3;
                } else {
                    line += *c++;
                }
            }
            ok = ok && run(line);
        }
        setenv("TMPDIR", dir.path().c_str(), 1);
    }
    std::string path(const Format &f) const { return dir.file(f.file); }
    static bool run(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
};

Fixtures &fixtures() {
    static Fixtures f;
    return f;
}

void per_audio_second(benchmark::State &state) {
    state.counters["audio_s"] = kSeconds;
}

void BM_LoadFile(benchmark::State &state, const Format &f) {
    if (!fixtures().ok) return state.SkipWithError("sox, flac, oggenc, opusenc or lame missing");
    zyn_test::PumpDevice device(f.device_rate, 2);
    const std::string path = fixtures().path(f);
    for (auto _ : state) {
        int32_t wave = -1;
        if (ZYN_LOAD_FILE(path.c_str(), &wave) != 1) return state.SkipWithError(ZYN_GET_LASTERROR());
        ZYN_DESTROY_WAVE(&wave);
    }
    per_audio_second(state);
}

void BM_Classic(benchmark::State &state, const Format &f) {
    if (!fixtures().ok) return state.SkipWithError("fixture tools missing");
    zyn_test::PumpDevice device(f.device_rate, 2);
    const std::string path = fixtures().path(f);
    for (auto _ : state) {
        int32_t wave = -1, loaded = 0;
        if (f.classic == 1) loaded = ZYN_LOAD_WAVFILE(path.c_str(), &wave);
        if (f.classic == 2) loaded = ZYN_LOAD_MP3FILE(path.c_str(), &wave, "");
        if (f.classic == 3) loaded = ZYN_LOAD_OGGFILE(path.c_str(), &wave, "");
        if (loaded != 1) return state.SkipWithError("classic load failed");
        ZYN_DESTROY_WAVE(&wave);
    }
    per_audio_second(state);
}

// The decoder library alone (the one ZYN_LOAD_FILE uses for the format):
// the whole file into a chunk of floats that is used again and again, as
// the smallest program that decodes it would.
void BM_Library(benchmark::State &state, const Format &f) {
    if (!fixtures().ok) return state.SkipWithError("fixture tools missing");
    const std::string path = fixtures().path(f);
    std::vector<float> chunk(4096 * 2);
    const bool mpeg = std::strstr(f.file, ".mp3") != nullptr;
    const bool vorbis = std::strstr(f.file, ".ogg") != nullptr;
    for (auto _ : state) {
        double sum = 0.0;
        if (vorbis) {
            OggVorbis_File file;
            if (ov_fopen(path.c_str(), &file) != 0) return state.SkipWithError("vorbisfile refused the fixture");
            float **pcm = nullptr;
            int link = 0;
            while (ov_read_float(&file, &pcm, 4096, &link) > 0) sum += pcm[0][0];
            ov_clear(&file);
        } else if (mpeg) {
            mpg123_handle *h = mpg123_new(nullptr, nullptr);
            mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
            mpg123_format_none(h);
            mpg123_format(h, 44100, MPG123_STEREO, MPG123_ENC_FLOAT_32);
            mpg123_open(h, path.c_str());
            size_t done = 0;
            for (int result = MPG123_OK; result == MPG123_OK || result == MPG123_NEW_FORMAT;) {
                result = mpg123_read(h, reinterpret_cast<unsigned char *>(chunk.data()),
                                     chunk.size() * sizeof(float), &done);
                sum += chunk[0];
            }
            mpg123_close(h);
            mpg123_delete(h);
        } else {
            SF_INFO info{};
            SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
            if (file == nullptr) return state.SkipWithError("libsndfile refused the fixture");
            while (sf_readf_float(file, chunk.data(), 4096) > 0) sum += chunk[0];
            sf_close(file);
        }
        benchmark::DoNotOptimize(sum);
    }
    per_audio_second(state);
}

// libsoxr at the loader's quality on a minute of stereo floats, in the
// loader's chunks.
void BM_Resample(benchmark::State &state) {
    const auto from = static_cast<int32_t>(state.range(0));
    const int32_t to = 44100;
    std::vector<float> input(static_cast<size_t>(from * kSeconds) * 2);
    for (size_t i = 0; i < input.size(); ++i) input[i] = 0.5f * std::sin(0.01f * static_cast<float>(i));
    for (auto _ : state) {
        zyn::RateConverter resampler;
        if (!resampler.open(from, to, 2)) return state.SkipWithError("libsoxr refused");
        const size_t room = resampler.output_room(4096);
        std::vector<float> out(room * 2);
        size_t made = 0;
        for (size_t at = 0; at < input.size() / 2;) {
            size_t taken = 0;
            made += resampler.process(input.data() + at * 2, std::min<size_t>(4096, input.size() / 2 - at),
                                      out.data(), room, &taken);
            at += taken;
        }
        while (size_t more = resampler.drain(out.data(), room)) made += more;
        benchmark::DoNotOptimize(made);
    }
    per_audio_second(state);
}

// Collects the CPU time per iteration of every run for the Markdown table.
class TableReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> cpu_ms;  // name -> CPU ms per load
    std::map<std::string, bool> has_median;
    void ReportRuns(const std::vector<Run> &runs) override {
        // The median of repetitions when there are some, else the one run.
        for (const Run &run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || !(median || run.run_type == Run::RT_Iteration)) continue;
            const std::string name = run.run_name.str();
            if (median || cpu_ms.count(name) == 0 || !has_median[name])
                cpu_ms[name] = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
            has_median[name] = has_median[name] || median;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string cell(const TableReporter &r, const std::string &name) {
    auto it = r.cpu_ms.find(name);
    if (it == r.cpu_ms.end()) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", it->second / kSeconds);
    return text;
}

std::string ratio(const TableReporter &r, const std::string &a, const std::string &b) {
    auto x = r.cpu_ms.find(a), y = r.cpu_ms.find(b);
    if (x == r.cpu_ms.end() || y == r.cpu_ms.end() || y->second <= 0.0) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", x->second / y->second);
    return text;
}

void write_markdown(const TableReporter &r, const std::string &path) {
    std::FILE *out = std::fopen(path.c_str(), "w");
    if (out == nullptr) return;
    std::fprintf(out, "| file (60 s, stereo) | ZYN_LOAD_FILE | library alone | ratio | classic loader |\n");
    std::fprintf(out, "|---|---:|---:|---:|---:|\n");
    for (const Format &f : kFormats) {
        const std::string load = std::string("LoadFile/") + f.name, lib = std::string("Library/") + f.name;
        std::fprintf(out, "| %s | %s | %s | %s | %s |\n", f.name, cell(r, load).c_str(), cell(r, lib).c_str(),
                     ratio(r, load, lib).c_str(),
                     f.classic ? cell(r, std::string("Classic/") + f.name).c_str() : "(none)");
    }
    std::fprintf(out, "\nlibsoxr (SOXR_HQ, stereo) per second of audio: 48 kHz to 44.1 kHz %s ms, "
                      "22.05 kHz to 44.1 kHz %s ms.\n",
                 cell(r, "Resample/48000").c_str(), cell(r, "Resample/22050").c_str());
    std::fclose(out);
}

}  // namespace

int main(int argc, char **argv) {
    std::string markdown;
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--markdown=", 11) == 0) markdown = argv[i] + 11;
        else rest.push_back(argv[i]);
    }
    int count = static_cast<int>(rest.size());
    for (const Format &f : kFormats) {
        benchmark::RegisterBenchmark((std::string("LoadFile/") + f.name).c_str(), BM_LoadFile, f)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Library/") + f.name).c_str(), BM_Library, f)
            ->Unit(benchmark::kMillisecond);
        if (f.classic)
            benchmark::RegisterBenchmark((std::string("Classic/") + f.name).c_str(), BM_Classic, f)
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("Resample", BM_Resample)->Arg(48000)->Arg(22050)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&count, rest.data());
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (!markdown.empty()) write_markdown(reporter, markdown);
    benchmark::Shutdown();
    return 0;
}
