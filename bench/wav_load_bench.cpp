// Loading long WAV files: a 10-minute 16-bit stereo file at the device rate,
// one at 48000 Hz converted down, and 8-bit mono at 22050 Hz converted up to
// stereo. The files are written once into the temporary folder.
#include "media/wav_loader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void put(std::vector<uint8_t> &out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

class WavFile {
  public:
    WavFile(int seconds, uint32_t rate, uint16_t channels, uint16_t bits) {
        char name[] = "/tmp/zyn-wav-bench-XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        const uint32_t align = channels * bits / 8u;
        const uint32_t data = static_cast<uint32_t>(seconds) * rate * align;
        std::vector<uint8_t> head;
        for (char c : std::string("RIFF")) head.push_back(static_cast<uint8_t>(c));
        put(head, data + 36, 4);
        for (char c : std::string("WAVEfmt ")) head.push_back(static_cast<uint8_t>(c));
        put(head, 16, 4);
        put(head, 1, 2);
        put(head, channels, 2);
        put(head, rate, 4);
        put(head, rate * align, 4);
        put(head, align, 2);
        put(head, bits, 2);
        for (char c : std::string("data")) head.push_back(static_cast<uint8_t>(c));
        put(head, data, 4);
        FILE *f = fdopen(fd, "wb");
        std::fwrite(head.data(), 1, head.size(), f);
        std::vector<uint8_t> block(1 << 20);
        uint32_t noise = 1;
        for (uint8_t &b : block) b = static_cast<uint8_t>((noise = noise * 1664525u + 1013904223u) >> 24);
        for (uint32_t left = data; left > 0;) {
            const uint32_t n = left < block.size() ? left : static_cast<uint32_t>(block.size());
            std::fwrite(block.data(), 1, n, f);
            left -= n;
        }
        std::fclose(f);
        bytes_ = static_cast<int64_t>(data);
    }
    ~WavFile() { unlink(path_.c_str()); }
    const char *path() const { return path_.c_str(); }
    int64_t bytes() const { return bytes_; }

  private:
    std::string path_;
    int64_t bytes_ = 0;
};

void load(benchmark::State &state, const WavFile &file, int32_t channels) {
    for (auto _ : state) {
        int16_t *samples = nullptr;
        int32_t bytes = 0;
        if (!zyn::load_wav_converted(file.path(), 44100, 16, channels, &samples, &bytes)) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(samples[bytes / 4]);
        std::free(samples);
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
}

void BM_TenMinutesStereo44100(benchmark::State &state) {
    static const WavFile file(600, 44100, 2, 16);
    load(state, file, 2);
}
BENCHMARK(BM_TenMinutesStereo44100)->Unit(benchmark::kMillisecond);

void BM_TenMinutesStereo48000Down(benchmark::State &state) {
    static const WavFile file(600, 48000, 2, 16);
    load(state, file, 2);
}
BENCHMARK(BM_TenMinutesStereo48000Down)->Unit(benchmark::kMillisecond);

void BM_TenMinutes8BitMono22050UpToStereo(benchmark::State &state) {
    static const WavFile file(600, 22050, 1, 8);
    load(state, file, 2);
}
BENCHMARK(BM_TenMinutes8BitMono22050UpToStereo)->Unit(benchmark::kMillisecond);

void BM_TenMinutesStereoToMonoDevice(benchmark::State &state) {
    static const WavFile file(600, 44100, 2, 16);
    load(state, file, 1);
}
BENCHMARK(BM_TenMinutesStereoToMonoDevice)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
