// Decoder speed: loading a three-minute MP3 and Ogg Vorbis file as a wave
// against decoding the same file with libmad / vorbisfile alone into memory,
// the MP3 stream's CPU cost per second of audio, and the pitch shifter's
// real-time factor on stereo 44.1 kHz.
#include "test_support.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <benchmark/benchmark.h>
#include <mad.h>
#include <vorbis/vorbisfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kSeconds = 180.0;

struct Files {
    zyn_test::TempDir dir;
    std::string mp3;
    std::string ogg;
    bool ok = false;
    Files() {
        // Three minutes of a chord with a slow sweep and some noise, so the
        // encoders have real work and the file is not trivially compressible.
        const std::string wav = dir.file("music.wav");
        mp3 = dir.file("music.mp3");
        ogg = dir.file("music.ogg");
        const std::string synth = "sox -n -r 44100 -c 2 -b 16 -e signed '" + wav + "' synth " +
                                  std::to_string(kSeconds) +
                                  " sine 220-880 sine 330 pinknoise vol 0.3 >/dev/null 2>&1";
        ok = std::system(synth.c_str()) == 0 &&
             std::system(("lame --quiet -b 192 '" + wav + "' '" + mp3 + "'").c_str()) == 0 &&
             std::system(("oggenc -Q -q 5 -o '" + ogg + "' '" + wav + "'").c_str()) == 0;
        setenv("TMPDIR", dir.path().c_str(), 1);
    }
};

Files &files() {
    static Files f;
    return f;
}

std::vector<unsigned char> read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

double process_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

void BM_LoadMp3File(benchmark::State &state) {
    if (!files().ok) return state.SkipWithError("fixture tools missing");
    zyn_test::PumpDevice device;
    for (auto _ : state) {
        int32_t wave = -1;
        if (ZYN_LOAD_MP3FILE(files().mp3.c_str(), &wave, "") != 1) return state.SkipWithError("load failed");
        ZYN_DESTROY_WAVE(&wave);
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

struct MadSink {
    std::vector<unsigned char> image;
    bool given = false;
    std::vector<int16_t> pcm;
};

mad_flow mad_input(void *data, mad_stream *stream) {
    auto *s = static_cast<MadSink *>(data);
    if (s->given) return MAD_FLOW_STOP;
    s->given = true;
    mad_stream_buffer(stream, s->image.data(), s->image.size());
    return MAD_FLOW_CONTINUE;
}

mad_flow mad_output(void *data, const mad_header *, mad_pcm *pcm) {
    auto *s = static_cast<MadSink *>(data);
    const size_t at = s->pcm.size();
    s->pcm.resize(at + 2 * static_cast<size_t>(pcm->length));
    SCALEMP3FRAME_22_16(s->pcm.data() + at, pcm->samples[0], pcm->samples[pcm->channels > 1 ? 1 : 0],
                        pcm->length);
    return MAD_FLOW_CONTINUE;
}

mad_flow mad_error(void *, mad_stream *stream, mad_frame *) {
    return MAD_RECOVERABLE(stream->error) ? MAD_FLOW_CONTINUE : MAD_FLOW_BREAK;
}

void BM_Mp3WithLibmadAlone(benchmark::State &state) {
    if (!files().ok) return state.SkipWithError("fixture tools missing");
    for (auto _ : state) {
        MadSink sink;
        sink.image = read_all(files().mp3);
        mad_decoder decoder;
        mad_decoder_init(&decoder, &sink, mad_input, nullptr, nullptr, mad_output, mad_error, nullptr);
        mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
        mad_decoder_finish(&decoder);
        benchmark::DoNotOptimize(sink.pcm.data());
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_LoadOggFile(benchmark::State &state) {
    if (!files().ok) return state.SkipWithError("fixture tools missing");
    zyn_test::PumpDevice device;
    for (auto _ : state) {
        int32_t wave = -1;
        if (ZYN_LOAD_OGGFILE(files().ogg.c_str(), &wave, "") != 1) return state.SkipWithError("load failed");
        ZYN_DESTROY_WAVE(&wave);
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_OggWithVorbisfileAlone(benchmark::State &state) {
    if (!files().ok) return state.SkipWithError("fixture tools missing");
    for (auto _ : state) {
        OggVorbis_File vf;
        if (ov_fopen(files().ogg.c_str(), &vf) != 0) return state.SkipWithError("open failed");
        std::vector<char> pcm;
        char chunk[16384];
        int link = 0;
        long n;
        while ((n = ov_read(&vf, chunk, sizeof chunk, 0, 2, 1, &link)) != 0)
            if (n > 0) pcm.insert(pcm.end(), chunk, chunk + n);
        ov_clear(&vf);
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

int64_t g_stream_blocks = 0;
void count_block(int16_t *, int32_t, int32_t) { ++g_stream_blocks; }

// The whole file through the stream and hand-pumped fills: process CPU time
// (decoder thread and mixer) per second of audio.
void BM_StreamDecodeCpu(benchmark::State &state) {
    if (!files().ok) return state.SkipWithError("fixture tools missing");
    zyn_test::PumpDevice device(44100, 2, 2048);
    double cpu = 0.0;
    double audio = 0.0;
    for (auto _ : state) {
        if (ZYN_CREATE_MP3STREAM(files().mp3.c_str()) != 1) return state.SkipWithError("stream failed");
        ZYN_SET_STREAMCALLBACK(count_block);
        ZYN_ENABLE_STREAMCALLBACK();
        g_stream_blocks = 0;
        const double start = process_cpu_seconds();
        if (ZYN_PLAY_MP3STREAM(1.0f, 0.0f) != 1) return state.SkipWithError("stream failed");
        float v = 0.0f;
        while (ZYN_GET_STREAMVOLUME(&v) == 1) {
            const int64_t before = g_stream_blocks;
            device.pump();
            // Waiting for the decoder costs no CPU: sleep rather than spin.
            if (g_stream_blocks == before) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        cpu += process_cpu_seconds() - start;
        audio += static_cast<double>(g_stream_blocks) * 2048.0 / 44100.0;
    }
    state.counters["cpu_ms_per_audio_s"] = audio > 0 ? 1000.0 * cpu / audio : 0.0;
}

void BM_PitchShiftStereo(benchmark::State &state) {
    zyn_test::PumpDevice device(44100, 2);
    std::vector<int16_t> block(2 * 44100);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(8000.0 * std::sin(0.0627 * static_cast<double>(i / 2)));
    std::vector<int16_t> out(block.size());
    for (auto _ : state) {
        ZYN_PITCHSHIFT(out.data(), block.data(), 1.5f, 44100);
        benchmark::DoNotOptimize(out.data());
    }
    // Seconds of stereo audio shifted per second: the real-time factor.
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_LoadMp3File)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Mp3WithLibmadAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadOggFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OggWithVorbisfileAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamDecodeCpu)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_PitchShiftStereo)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
