// libFuzzer target: a track opened from arbitrary bytes in memory, played,
// sought at any frame, looped over any stretch, paused, faded, stopped and
// closed, on the hand-pumped device. The bytes at the input's end are the
// script (FuzzedDataProvider takes integers from the end), the rest is the
// file image, so a seed is a sound file followed by a few script bytes.
//
// Findings: crashes, sanitizer reports, leaks, hangs, and broken promises
// (a refused open that leaves a handle, a position outside the file, a
// track that neither plays its frames nor ends).
#include "engine_state.h"
#include "lifecycle.h"
#include "mixer.h"
#include "streaming/decoder_pool.h"
#include "zyn.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kMaxSteps = 24;
constexpr int kMaxBlocks = 96;

[[noreturn]] void report(const char *what) {
    std::fprintf(stderr, "track_fuzz: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

void expect(bool ok, const char *what) {
    if (!ok) report(what);
}

struct Device {
    int32_t rate = 0, channels = 0, frames = 0;
};
Device g_device;

void open_device(uint8_t selector) {
    static const int32_t kRates[4] = {44100, 48000, 22050, 8000};
    static const int32_t kFrames[4] = {256, 64, 1000, 17};
    const Device want{kRates[selector & 3], (selector & 4) != 0 ? 1 : 2, kFrames[(selector >> 3) & 3]};
    if (want.rate == g_device.rate && want.channels == g_device.channels && want.frames == g_device.frames)
        return;
    expect(ZYN_INIT(want.rate, want.channels, 3, want.frames, -1) == 1, "the pump fixture opens");
    g_device = want;
}

// One fill into a block of the device's size, as the fixture would make it.
void mix_block(std::vector<int16_t> &block) {
    zyn::top_up_tracks();
    PlugoutRecord *record = nullptr;
    {
        zyn::EngineLock hold(zyn::engine().lock);
        record = zyn::open_plugout();
    }
    expect(record != nullptr, "a device is open");
    block.assign(static_cast<size_t>(record->buffer_size / 2), 0);
    record->buffer = block.data();
    zyn::fill_block(record);
}

void check_position(int32_t track, int64_t frames) {
    int64_t position = -5;
    expect(ZYN_GET_TRACKPOSITION(track, &position) == 1, "an open track has a position");
    expect(position >= 0, "a position is never negative");
    if (frames >= 0) expect(position <= frames, "a position lies inside the file");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    ZYN_SET_PLUGPATH(ZYN_FUZZ_PUMP_DIR);
    zyn::set_unload_grace(std::chrono::milliseconds(0));
    open_device(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    open_device(in.ConsumeIntegral<uint8_t>());
    struct Step {
        uint8_t what;
        int64_t a, b;
    };
    std::vector<Step> steps(static_cast<size_t>(in.ConsumeIntegralInRange<int>(0, kMaxSteps)));
    for (Step &s : steps) s = {in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<int64_t>(), in.ConsumeIntegral<int64_t>()};
    const std::vector<uint8_t> image = in.ConsumeRemainingBytes<uint8_t>();

    int32_t track = 7;
    if (ZYN_OPEN_TRACKMEMORY(image.data(), image.size(), &track) != 1) {
        expect(track == -1, "a refused open leaves the handle at -1");
        expect(ZYN_GET_LASTERROR()[0] != '\0', "a refused open says why");
        return 0;
    }
    int64_t frames = 0;
    int32_t rate = 0, channels = 0;
    expect(ZYN_GET_TRACKINFO(track, &frames, &rate, &channels) == 1, "an open track answers");
    expect(rate >= 1000 && channels >= 1 && frames >= -1, "a track's format is one zyn plays");

    std::vector<int16_t> block;
    int blocks = 0;
    // Frames near the file (and a little past it), or anywhere at all.
    const auto span = [&](int64_t v) {
        const uint64_t range = frames > 0 && frames < INT64_MAX - 2 ? static_cast<uint64_t>(frames) + 2 : 100000;
        return static_cast<int64_t>(static_cast<uint64_t>(v) % range);
    };
    for (const Step &s : steps) {
        switch (s.what % 9) {
            case 0: ZYN_PLAY_TRACK(track, (s.a & 3) == 3 ? ZYN_LOOP_FOREVER : static_cast<int32_t>(s.a % 4)); break;
            case 1: ZYN_SEEK_TRACK(track, (s.b & 1) ? span(s.a) : s.a); break;
            case 2: ZYN_SET_TRACKLOOP(track, span(s.a), (s.b & 7) == 0 ? -1 : span(s.b)); break;
            case 3: ZYN_STOP_TRACK(track); break;
            case 4: ZYN_SET_TRACKPAUSED(track, static_cast<int32_t>(s.a & 1)); break;
            case 5: ZYN_FADE_TRACK(track, static_cast<float>(s.a % 3) / 2.0f, static_cast<float>(s.b % 200), static_cast<int32_t>(s.a & 4)); break;
            case 6: ZYN_SET_TRACKPAN(track, static_cast<float>(s.a % 5) / 2.0f - 1.0f); break;
            default:
                for (int64_t n = 1 + (s.a & 7); n > 0 && blocks < kMaxBlocks; --n, ++blocks) mix_block(block);
                break;
        }
        check_position(track, frames);
        int64_t late = -1;
        expect(ZYN_GET_TRACKUNDERRUNS(track, &late) == 1 && late == 0,
               "a track topped up before every block is never late");
    }
    expect(ZYN_CLOSE_TRACK(&track) == 1 && track == -1, "an open track closes");
    return 0;
}
