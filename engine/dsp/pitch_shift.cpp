// Pitch shifting by short-time Fourier analysis and resynthesis: Hann frames
// of 1024 samples, eight per frame length (hop 128), each bin's true frequency
// estimated from its phase advance, frames overlap-added: the phase vocoder
// as described by Dolson ("The phase vocoder: a tutorial", Computer Music
// Journal 10/4, 1986).
//
// The spectrum is moved partial by partial, after Laroche and Dolson ("New
// phase-vocoder techniques for pitch-shifting, harmonizing and other exotic
// effects", IEEE WASPAA 1999): each peak of the magnitude spectrum and the
// bins around it (down to the lowest bins between it and its neighbours) move
// together by the whole number of bins nearest to the shift of the peak's
// true frequency, keeping their magnitudes and their phases relative to the
// peak, and turned by a rotation that advances the peak's phase at exactly
// pitch x its true frequency. A partial thus keeps the shape of a windowed
// sinusoid; moving bins one by one, as the textbook shifter does, gives
// several output bins of one partial phases that cancel in the overlap-add
// (whole tones vanished at some pitches). The remaining error, at most half
// a bin between the lobe's place and the exact frequency, costs at most
// 0.9 dB. A channel that has never been shifted resynthesises unison bin by
// bin as the textbook shifter does; once shifted, unison keeps the rotations.
//
// The shifter keeps its history between calls, so a signal can be fed through
// it block by block. Each calling thread has a history of its own, so that
// what one thread shifts never leaks into another's signal: the output
// thread (inside a fill, where callbacks run) uses one made at start-up and
// never allocates; any other thread gets its own on its first call.
#include "pitch_shift.h"

#include "engine_state.h"
#include "fill_thread.h"
#include "zyn.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace zyn {
namespace {

constexpr int kFrame = 1024;
constexpr int kHop = 128;
constexpr int kOversampling = kFrame / kHop;
constexpr int kInputOffset = kFrame - kHop;  // 896
constexpr int kBins = kFrame / 2 + 1;        // 513
constexpr float kTwoPi = 6.2831855f;
constexpr float kPi = 3.1415927f;
constexpr float kExpectedAdvance = 0.78539819f;  // 2 pi x hop / frame

struct ChannelHistory {
    float in_fifo[kFrame];
    float out_fifo[kHop];
    float last_phase[kBins];
    float sum_phase[kBins];
    float out_accum[2 * kFrame];  // entries from 1024 up stay 0
    float rotation[kBins];        // per analysis bin: the turn of the partial it belonged to
    int32_t shifted;              // 1 once a frame was moved partial by partial
};

struct Scratch {
    float work[2 * kFrame];
    float phase[kBins];
    float magnitude[kBins];  // slot 512 always holds 0
    float analysis_freq[kBins];
    float synth_magn[kFrame];
    float synth_freq[kBins];  // not cleared between frames
    float moved[kFrame];      // 512 complex bins of the shifted spectrum
    float next_rotation[kBins];
    int16_t peaks[kBins];
};

template <int Channels>
struct PitchShifterState {
    int32_t ready;
    float bin_width;
    float window[kFrame];
    int32_t rover;
    ChannelHistory channel[Channels];
    Scratch scratch;
};

// One thread's shifters, zero-initialised, never reset.
struct Shifters {
    PitchShifterState<1> mono;
    PitchShifterState<2> stereo;
};

// The output thread's: fills run one at a time under the engine lock.
Shifters g_output_shifters;

// The calling thread's shifters, or null when there is no memory for them.
Shifters *thread_shifters() {
    if (inside_fill()) return &g_output_shifters;
    thread_local std::unique_ptr<Shifters> own;
    if (!own) own.reset(new (std::nothrow) Shifters());
    return own.get();
}

struct FftTables {
    float cosine[10];
    float sine[10];
    int16_t pairs[512][2];
    int32_t pair_count;

    FftTables() : pair_count(0) {
        cosine[0] = -1.0f;
        sine[0] = -4.1020687e-10f;  // sin of pi rounded to float
        for (int t = 1; t < 10; ++t) {
            const float arg = kPi / static_cast<float>(1 << t);
            cosine[t] = static_cast<float>(std::cos(arg));
            sine[t] = static_cast<float>(std::sin(arg));
        }
        for (int i = 2; i < 2 * kFrame - 2; i += 2) {
            int j = 0;
            for (int b = 2; b < 2 * kFrame; b <<= 1) {
                if (i & b) ++j;
                j <<= 1;
            }
            if (i < j) {
                pairs[pair_count][0] = static_cast<int16_t>(i);
                pairs[pair_count][1] = static_cast<int16_t>(j);
                ++pair_count;
            }
        }
    }
};

const FftTables &fft_tables() {
    static const FftTables tables;
    return tables;
}

template <int Channels>
void make_ready(PitchShifterState<Channels> &st, float rate) {
    st.bin_width = rate / static_cast<float>(kFrame);
    for (int k = 0; k < kFrame; ++k)
        st.window[k] = -0.5f * std::cos(kTwoPi * static_cast<float>(k) / static_cast<float>(kFrame)) + 0.5f;
    st.rover = kInputOffset;
    st.ready = 1;
}

inline int16_t to_sample(float v) {
    const float x = std::nearbyint(v * 32767.0f);
    if (!(x > -32768.0f)) return x != x ? 0 : -32768;  // NaN gives silence
    if (x > 32767.0f) return 32767;
    return static_cast<int16_t>(x);
}

// A phase kept within one turn loses no precision however long the signal
// runs; an unwrapped sum grows by up to 400 radians per frame and leaves a
// float too coarse for the phase after a few minutes.
inline float wrap_phase(double p) {
    if (!std::isfinite(p)) return 0.0f;
    const double turn = 6.283185307179586;
    return static_cast<float>(p - turn * std::nearbyint(p / turn));
}

// Laroche and Dolson's partial-by-partial shift of one analysed frame (work
// holds its spectrum) into sc.moved; see the file comment.
void move_partials(ChannelHistory &ch, Scratch &sc, float bin_width, float pitch) {
    constexpr int kTop = kFrame / 2;  // bins 0..511 are resynthesised
    int32_t peak_count = 0;
    for (int k = 1; k < kTop - 1; ++k) {
        const float m = sc.magnitude[k];
        if (m > 1e-12f && m > sc.magnitude[k - 1] && m >= sc.magnitude[k + 1])
            sc.peaks[peak_count++] = static_cast<int16_t>(k);
    }
    std::memset(sc.moved, 0, sizeof sc.moved);
    const float *x = sc.work;
    int lo = 0;
    for (int32_t i = 0; i < peak_count; ++i) {
        const int p = sc.peaks[i];
        // The region ends at the lowest bin before the next peak.
        int hi = kTop - 1;
        if (i + 1 < peak_count) {
            hi = p;
            for (int k = p + 1; k < sc.peaks[i + 1]; ++k)
                if (sc.magnitude[k] < sc.magnitude[hi]) hi = k;
        }
        const double centre = static_cast<double>(sc.analysis_freq[p]) / bin_width;  // in bins
        const long offset = std::lrint((static_cast<double>(pitch) - 1.0) * centre);
        // One hop is an eighth of a frame: a partial of c bins turns 2 pi c / 8 per hop.
        const float turn = wrap_phase(static_cast<double>(ch.rotation[p]) +
                                      (static_cast<double>(pitch) - 1.0) * centre * (kTwoPi / 8.0));
        const float c = 2.0f * std::cos(turn);
        const float s = 2.0f * std::sin(turn);
        for (int k = lo; k <= hi; ++k) {
            sc.next_rotation[k] = turn;
            const long to = k + offset;
            if (to < 0 || to >= kTop) continue;
            const float re = x[2 * k], im = x[2 * k + 1];
            sc.moved[2 * to] += re * c - im * s;
            sc.moved[2 * to + 1] += re * s + im * c;
        }
        lo = hi + 1;
    }
    for (int k = lo; k < kBins; ++k) sc.next_rotation[k] = 0.0f;
    std::memcpy(ch.rotation, sc.next_rotation, sizeof ch.rotation);
}

// Adds one resynthesised frame (real parts of work) and moves both fifos on by a hop.
void overlap_add(ChannelHistory &ch, const float *work, const float *window) {
    for (int k = 0; k < kFrame; ++k)
        ch.out_accum[k] += 2.0f * window[k] * work[2 * k] / 4096.0f;
    std::memcpy(ch.out_fifo, ch.out_accum, sizeof ch.out_fifo);
    std::memmove(ch.out_accum, ch.out_accum + kHop, sizeof(float) * kFrame);
    std::memmove(ch.in_fifo, ch.in_fifo + kHop, sizeof(float) * kInputOffset);
}

// One analysis/resynthesis frame of one channel.
void process_frame(ChannelHistory &ch, Scratch &sc, const float *window, float bin_width,
                   float pitch) {
    float *work = sc.work;
    for (int k = 0; k < kFrame; ++k) {
        work[2 * k] = ch.in_fifo[k] * window[k];
        work[2 * k + 1] = 0.0f;
    }
    fft_1024(work, -1);

    for (int k = 0; k < kFrame / 2; ++k) {
        const float re = work[2 * k];
        const float im = work[2 * k + 1];
        sc.phase[k] = std::atan2(im, re);
        sc.magnitude[k] = 2.0f * std::sqrt(re * re + im * im);
    }
    for (int k = 0; k < kBins; ++k) {
        float d = sc.phase[k] - ch.last_phase[k];
        ch.last_phase[k] = sc.phase[k];
        d -= static_cast<float>(k) * kExpectedAdvance;
        // Bring the deviation into +-pi.
        long q = std::lrint(d / kPi);
        if (q >= 0)
            q += q & 1;
        else
            q -= q & 1;
        d -= static_cast<float>(q) * kPi;
        d = static_cast<float>(kOversampling) * d / kTwoPi;
        sc.analysis_freq[k] = static_cast<float>(k) * bin_width + bin_width * d;
    }

    if (pitch != 1.0f || ch.shifted != 0) {
        ch.shifted = 1;
        move_partials(ch, sc, bin_width, pitch);
        std::memcpy(work, sc.moved, sizeof sc.moved);
        std::memset(work + kFrame, 0, sizeof(float) * kFrame);
        fft_1024(work, 1);
        overlap_add(ch, work, window);
        return;
    }

    std::memset(sc.synth_magn, 0, sizeof sc.synth_magn);
    for (int k = 0; k < kFrame / 2; ++k) {
        const float source = std::nearbyint(static_cast<float>(k) / pitch);
        if (source <= 512.0f) {
            const int j = static_cast<int>(source);
            sc.synth_magn[k] += sc.magnitude[j];
            sc.synth_freq[k] = pitch * sc.analysis_freq[j];
        }
    }

    for (int k = 0; k < kBins; ++k) {
        float d = sc.synth_freq[k] - static_cast<float>(k) * bin_width;
        d /= bin_width;
        d = kTwoPi * d / static_cast<float>(kOversampling);
        d += static_cast<float>(k) * kExpectedAdvance;
        ch.sum_phase[k] = wrap_phase(static_cast<double>(ch.sum_phase[k]) + d);
    }

    for (int k = 0; k < kFrame / 2; ++k) {
        work[2 * k] = sc.synth_magn[k] * std::cos(ch.sum_phase[k]);
        work[2 * k + 1] = sc.synth_magn[k] * std::sin(ch.sum_phase[k]);
    }
    // work[1024] and work[1025] keep the forward transform's values.
    std::memset(work + kFrame + 2, 0, sizeof(float) * (kFrame - 2));
    fft_1024(work, 1);
    overlap_add(ch, work, window);
}

template <int Channels>
void shift(PitchShifterState<Channels> &st, int16_t *dst, const int16_t *src, float pitch,
           float rate, int32_t count) {
    if (dst == nullptr || src == nullptr || count <= 0) return;
    // k / pitch must name a bin; an infinite pitch would poison the phases for good.
    if (!(pitch > 0.0f) || !std::isfinite(pitch)) return;
    if (st.ready == 0) make_ready(st, rate);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t at = st.rover - kInputOffset;
        float in[Channels];
        for (int c = 0; c < Channels; ++c)
            in[c] = static_cast<float>(src[Channels * i + c]) * 0.000030517578125f;
        for (int c = 0; c < Channels; ++c) {
            st.channel[c].in_fifo[st.rover] = in[c];
            dst[Channels * i + c] = to_sample(st.channel[c].out_fifo[at]);
        }
        if (++st.rover < kFrame) continue;
        st.rover = kInputOffset;
        for (int c = 0; c < Channels; ++c)
            process_frame(st.channel[c], st.scratch, st.window, st.bin_width, pitch);
    }
}

}  // namespace

void fft_1024(float *buffer, int32_t sign) {
    const FftTables &tab = fft_tables();
    for (int32_t p = 0; p < tab.pair_count; ++p) {
        const int i = tab.pairs[p][0];
        const int j = tab.pairs[p][1];
        float t = buffer[i];
        buffer[i] = buffer[j];
        buffer[j] = t;
        t = buffer[i + 1];
        buffer[i + 1] = buffer[j + 1];
        buffer[j + 1] = t;
    }
    const float direction = sign < 0 ? -1.0f : 1.0f;
    for (int t = 0; t < 10; ++t) {
        const int half = 2 << t;
        const int span = 2 * half;
        float ur = 1.0f;
        float ui = 0.0f;
        const float wr = tab.cosine[t];
        const float wi = direction * tab.sine[t];
        for (int j = 0; j < half; j += 2) {
            for (int i = j; i < 2 * kFrame; i += span) {
                float *p = buffer + i;
                float *q = p + half;
                const float tr = q[0] * ur - q[1] * ui;
                const float ti = q[0] * ui + q[1] * ur;
                q[0] = p[0] - tr;
                q[1] = p[1] - ti;
                p[0] += tr;
                p[1] += ti;
            }
            const float next = ur * wr - ui * wi;
            ui = ur * wi + ui * wr;
            ur = next;
        }
    }
}

void pitch_shift_mono(int16_t *dst, const int16_t *src, float pitch, float rate, int32_t count) {
    if (Shifters *own = thread_shifters()) shift(own->mono, dst, src, pitch, rate, count);
}

void pitch_shift_stereo(int16_t *dst, const int16_t *src, float pitch, float rate, int32_t count) {
    if (Shifters *own = thread_shifters()) shift(own->stereo, dst, src, pitch, rate, count);
}

}  // namespace zyn

using namespace zyn;

extern "C" void ZYN_PITCHSHIFT(int16_t *dst, int16_t *src, float pitch, int32_t count) {
    PitchShiftRoutine routine = nullptr;
    float rate = 0.0f;
    {
        // Recursive: a master callback inside the fill may call this.
        EngineLock hold(engine().lock);
        if (engine().initialized.load() == 0) return;
        const PlugoutRecord *open = open_plugout();
        if (open == nullptr) return;
        rate = static_cast<float>(open->rate);
        routine = engine().slots.pitch_shift_routine;
    }
    if (routine != nullptr) routine(dst, src, pitch, rate, count);
}
