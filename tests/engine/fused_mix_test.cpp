// The one-pass mixing of sounds held against the per-step path (render into
// the work buffer, scale, pan, then sum the blocks): over random waves,
// speeds, volumes, pans, loops, play ranges, row states and channel limits,
// every block and every row's position, loop count and release must agree.
#include "mixer.h"
#include "streaming/frame_ring.h"
#include "test_support.h"
#include "whitebox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace zyn_test;

namespace {

struct RowState {
    int16_t *wave_start;
    int16_t *position;
    int32_t loops;
    std::vector<int16_t> buffer;
};

struct StreamState {
    int32_t active;
    int64_t consumed;  // frames taken from the ring; -1 without one
};

struct StreamFixture;
StreamFixture *g_stream = nullptr;  // the stream a test set up, if any

struct EngineSnapshot {
    std::vector<RowState> rows;
    StreamState stream;
};

EngineSnapshot take_snapshot() {
    zyn::EngineState &e = zyn::engine();
    EngineSnapshot snap;
    const auto words = static_cast<size_t>(e.work_buffer_bytes) / 2;
    for (int32_t i = 0; i < e.sound_count; ++i) {
        const zyn::SoundEntry &s = e.sounds[static_cast<size_t>(i)];
        RowState r{s.wave_start, s.position, s.loops, {}};
        if (s.buffer != nullptr) r.buffer.assign(s.buffer, s.buffer + words);
        snap.rows.push_back(std::move(r));
    }
    snap.stream = {e.mp3_stream.active.load(), e.mp3_stream.ring != nullptr ? e.mp3_stream.ring->consumed() : -1};
    return snap;
}

void rewind_stream(int64_t consumed);

void restore(const EngineSnapshot &snap) {
    zyn::EngineState &e = zyn::engine();
    for (size_t i = 0; i < snap.rows.size(); ++i) {
        zyn::SoundEntry &s = e.sounds[i];
        s.wave_start = snap.rows[i].wave_start;
        s.position = snap.rows[i].position;
        s.loops = snap.rows[i].loops;
        if (!snap.rows[i].buffer.empty())
            std::memcpy(s.buffer, snap.rows[i].buffer.data(), snap.rows[i].buffer.size() * 2);
    }
    e.mp3_stream.active.store(snap.stream.active);
    if (snap.stream.consumed >= 0) rewind_stream(snap.stream.consumed);
}

// What a fill leaves that the next fill or the application can see.
struct Outcome {
    std::vector<int16_t> block;
    std::vector<int16_t *> wave_start;
    std::vector<int16_t *> position;
    std::vector<int32_t> loops;
    int32_t playing;
};

Outcome fill(PumpDevice &device, bool fused) {
    zyn::set_fused_mixing(fused);
    Outcome o;
    o.block = device.pump();
    zyn::EngineState &e = zyn::engine();
    for (int32_t i = 0; i < e.sound_count; ++i) {
        const zyn::SoundEntry &s = e.sounds[static_cast<size_t>(i)];
        o.wave_start.push_back(s.wave_start);
        o.position.push_back(s.position);
        o.loops.push_back(s.loops);
    }
    o.playing = ZYN_GET_PLAYINGSOUNDS();
    return o;
}

void flip_callback(int16_t *samples, int32_t channels, int32_t frames) {
    for (int32_t i = 0; i < channels * frames; i += 3) samples[i] = static_cast<int16_t>(~samples[i]);
}

class Scenario {
  public:
    explicit Scenario(uint32_t seed) : rng_(seed) {}

    int32_t pick(int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng_);
    }
    template <typename T>
    T one_of(const std::vector<T> &values) {
        return values[static_cast<size_t>(pick(0, static_cast<int32_t>(values.size()) - 1))];
    }

    std::vector<int16_t> wave(int32_t frames, int32_t channels) {
        std::vector<int16_t> samples(static_cast<size_t>(frames * channels));
        const int32_t style = pick(0, 2);
        for (int16_t &s : samples)
            s = style == 0   ? static_cast<int16_t>(pick(-32768, 32767))
                : style == 1 ? one_of<int16_t>({-32768, 32767, -1, 0, 1, -32767})
                             : static_cast<int16_t>(pick(-300, 300));
        return samples;
    }

    // A sound row with random settings, written as the sound setters would
    // leave it or beyond (direct row values).
    void add_sound(int32_t channels) {
        const int32_t frames = pick(1, 700);
        const int32_t wave = add_raw_wave(this->wave(frames, channels));
        RawSound how;
        how.loops = one_of<int32_t>({1, 1, 2, 3, 1 << 30});
        how.speed = one_of<float>({1.0f, 1.0f, 1.0f, 1.5f, 0.5f, -1.0f, -2.3f, 1e-6f, 0.0001f,
                                   3.7f, 100.0f, 0.0f, 2.0f, 0.75f});
        how.volume = one_of<float>({1.0f, 0.0f, 0.0001f, 0.5f, 0.8f, 1.7f, 2.0f, 5.0f, 0.3f,
                                    -0.5f, 2.999f, 1.00001f});
        how.pan = one_of<float>({0.0f, 0.0f, 0.3f, -0.3f, 1.0f, -1.0f, 0.999f, -0.5f, 0.123f});
        how.has_handle = pick(0, 1);
        how.muted = pick(0, 5) == 0;
        how.paused = pick(0, 7) == 0;
        const int32_t row = add_raw_sound(wave, how);
        zyn::SoundEntry &s = sound_row(row);
        if (pick(0, 2) == 0) {  // a play range, often shorter than a block
            const int32_t first = pick(0, frames - 1);
            const int32_t last = pick(first + 1, frames);
            s.loop_start = s.wave_start + first * channels;
            s.loop_end = s.wave_start + last * channels;
            s.position = s.loop_start + pick(0, last - first - 1) * channels;
        } else if (pick(0, 3) == 0) {
            s.position = s.wave_start + pick(0, frames - 1) * channels;
        }
        if (pick(0, 6) == 0) {  // gains as a pan setter would not leave them
            s.left_gain = one_of<float>({0.5f, 1.0f, 0.0f, 1.5f});
            s.right_gain = one_of<float>({0.25f, 1.0f, 2.5f});
        }
        if (pick(0, 5) == 0) {
            s.callback = flip_callback;
            s.callback_enabled = pick(0, 3) == 0 ? 0 : 1;
        }
    }

  private:
    std::mt19937 rng_;
};

// Runs fills with both paths from the same state and compares what they leave.
void expect_same_fills(PumpDevice &device, int32_t fills, const std::string &what) {
    for (int32_t f = 0; f < fills; ++f) {
        const EngineSnapshot before = take_snapshot();
        const Outcome reference = fill(device, false);
        restore(before);
        const Outcome fused = fill(device, true);
        ASSERT_EQ(fused.block, reference.block) << what << ", fill " << f;
        ASSERT_EQ(fused.wave_start, reference.wave_start) << what << ", fill " << f;
        ASSERT_EQ(fused.position, reference.position) << what << ", fill " << f;
        ASSERT_EQ(fused.loops, reference.loops) << what << ", fill " << f;
        ASSERT_EQ(fused.playing, reference.playing) << what << ", fill " << f;
    }
}

// Frees every row so the next scenario starts from an empty table; the
// work buffers stay for the rows placed next.
void clear_rows() {
    zyn::EngineState &e = zyn::engine();
    for (int32_t i = 0; i < e.sound_count; ++i) e.sounds[static_cast<size_t>(i)].wave_start = nullptr;
}

void run_scenarios(int32_t channels, int32_t block_frames, int32_t first_seed, int32_t count) {
    PumpDevice device(44100, channels, block_frames);
    ASSERT_TRUE(device.ok());
    zyn::EngineState &e = zyn::engine();
    for (int32_t seed = first_seed; seed < first_seed + count; ++seed) {
        Scenario sc(static_cast<uint32_t>(seed));
        clear_rows();
        const int32_t sounds = sc.pick(1, 10);
        for (int32_t i = 0; i < sounds; ++i) sc.add_sound(channels);
        e.max_channels = sc.one_of<int32_t>({1, 2, 3, 128, 128});
        expect_same_fills(device, 8, "seed " + std::to_string(seed));
    }
    zyn::set_fused_mixing(true);
}

// The stream's buffers belong to the test: the engine must not free them.
// Its ring holds exactly the decoded frames, from the start again at will.
struct StreamFixture {
    std::vector<int16_t> frames;
    std::vector<int16_t> mix;
    zyn::FrameRing ring;
    explicit StreamFixture(std::vector<int16_t> decoded) : frames(std::move(decoded)) {
        ring.allocate(static_cast<int64_t>(frames.size() / 2), 2);
        rewind(0);
        g_stream = this;
    }
    // The ring full of the frames, consumed frames already taken.
    void rewind(int64_t consumed) {
        ring.reset();
        int64_t room = 0;
        std::memcpy(ring.write_span(&room), frames.data(), frames.size() * 2);
        ring.commit(room);
        ring.consume(consumed);
    }
    ~StreamFixture() {
        zyn::Mp3Stream &st = zyn::engine().mp3_stream;
        st.active.store(0);
        st.ring = nullptr;
        st.mix_buffer = nullptr;
        g_stream = nullptr;
    }
};

void rewind_stream(int64_t consumed) {
    if (g_stream != nullptr) g_stream->rewind(consumed);
}

}  // namespace

TEST(FusedMix, StereoSoundsGiveTheBlocksAndPositionsOfThePerStepPath) {
    run_scenarios(2, 100, 1, 150);
}

TEST(FusedMix, ShortAndLongBlocksToo) {
    run_scenarios(2, 1, 300, 40);
    run_scenarios(2, 1000, 400, 60);
}

TEST(FusedMix, AStreamBlockComesFirstAndCountsTowardsTheChannelLimit) {
    constexpr int32_t kBlockFrames = 64;
    PumpDevice device(44100, 2, kBlockFrames);
    ASSERT_TRUE(device.ok());
    zyn::EngineState &e = zyn::engine();
    for (int32_t seed = 1000; seed < 1060; ++seed) {
        Scenario sc(static_cast<uint32_t>(seed));
        clear_rows();
        // A decoded ring of three and a half blocks, ending the stream once drained.
        StreamFixture fixture(sc.wave(kBlockFrames * 7 / 2, 2));
        fixture.mix.assign(static_cast<size_t>(device.block_bytes() / 2), 0);
        zyn::Mp3Stream &st = e.mp3_stream;
        st.ring = &fixture.ring;
        st.mix_buffer = fixture.mix.data();
        st.decoding.store(0);
        st.volume = 1.0f;
        st.pan = sc.one_of<float>({0.0f, 0.4f, -0.7f});
        st.left_gain = st.pan > 0 ? 1.0f - st.pan : 1.0f;
        st.right_gain = st.pan < 0 ? 1.0f + st.pan : 1.0f;
        st.active.store(1);
        const int32_t sounds = sc.pick(0, 6);
        for (int32_t i = 0; i < sounds; ++i) sc.add_sound(2);
        e.max_channels = sc.one_of<int32_t>({1, 2, 3, 128});
        expect_same_fills(device, 6, "seed " + std::to_string(seed));
    }
    zyn::set_fused_mixing(true);
}
