// The background tune: a marimba melody over ukulele strums, a round bass and
// a whisper of shaker, in C major (C - Am - F - G), 120 beats a minute.
//
// Everything is rendered into a circular buffer exactly four bars long: a
// note that rings past the end continues at the start, and the reverb runs
// over the loop several times so that its state at the end of the last pass
// is the state it would have when the loop repeats. The file therefore joins
// itself without a click however often the engine loops it.

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "noise.h"
#include "sounds.h"

namespace zyn::assets {
namespace {

constexpr int kRate = 44100;
constexpr double kBeat = 0.5;  // seconds: 120 bpm
constexpr int kBeats = 16;
constexpr int kFrames = int(kRate * kBeat * kBeats);  // 352800: exactly 8 s
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kPeak = 0.25;  // -12 dBFS leaves room for the steps on top

double midi_hz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

struct Stereo {
    std::vector<double> left = std::vector<double>(kFrames, 0.0);
    std::vector<double> right = std::vector<double>(kFrames, 0.0);

    // Adds a mono signal starting at `start`, wrapping past the loop's end;
    // pan -1 is left, +1 right (equal-power).
    void add(int start, const std::vector<double>& signal, double pan) {
        const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
        const double gl = std::cos(angle), gr = std::sin(angle);
        for (std::size_t i = 0; i < signal.size(); ++i) {
            const std::size_t at = (std::size_t(start) + i) % std::size_t(kFrames);
            left[at] += signal[i] * gl;
            right[at] += signal[i] * gr;
        }
    }
};

int beat_frame(double beat) { return int(std::lround(beat * kBeat * kRate)); }

// A struck bar: the fundamental rings, the bright fourth partial (the tuned
// overtone of a marimba bar sits near 4x) dies within a few tens of ms.
std::vector<double> marimba(double hz, double seconds) {
    const int n = int(seconds * kRate);
    std::vector<double> out(std::size_t(n), 0.0);
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double attack = std::min(1.0, t / 0.002);
        const double body = std::sin(kTwoPi * hz * t) * std::exp(-t / 0.45);
        const double overtone = 0.28 * std::sin(kTwoPi * hz * 3.93 * t) * std::exp(-t / 0.05);
        const double knock = 0.06 * std::sin(kTwoPi * hz * 9.2 * t) * std::exp(-t / 0.012);
        const double release = std::min(1.0, double(n - i) / (0.01 * kRate));
        out[std::size_t(i)] = attack * release * (body + overtone + knock);
    }
    return out;
}

// A plucked nylon string by Karplus-Strong: a burst of noise recirculating
// through a delay line with a two-point average (Karplus & Strong, 1983).
std::vector<double> nylon_string(double hz, double seconds, Noise& noise) {
    const int n = int(seconds * kRate);
    const double period = kRate / hz;
    const int length = int(period);
    const double frac = period - length;  // tuning by a first-order allpass
    const double coefficient = (1.0 - frac) / (1.0 + frac);
    std::vector<double> line(static_cast<std::size_t>(length));
    double smooth = 0.0;
    for (auto& v : line) {
        smooth = 0.5 * smooth + 0.5 * noise.bipolar();  // a softer pick
        v = smooth;
    }
    std::vector<double> out(std::size_t(n), 0.0);
    double previous_in = 0.0, previous_out = 0.0, last = 0.0;
    std::size_t index = 0;
    for (int i = 0; i < n; ++i) {
        const double current = line[index];
        const double averaged = 0.996 * 0.5 * (current + last);
        last = current;
        const double tuned = coefficient * averaged + previous_in - coefficient * previous_out;
        previous_in = averaged;
        previous_out = tuned;
        line[index] = tuned;
        index = (index + 1) % line.size();
        const double release = std::min(1.0, double(n - i) / (0.02 * kRate));
        out[std::size_t(i)] = current * release;
    }
    return out;
}

// A round, soft bass: a sine with a little second and third harmonic.
std::vector<double> bass(double hz, double seconds) {
    const int n = int(seconds * kRate);
    std::vector<double> out(std::size_t(n), 0.0);
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double attack = std::min(1.0, t / 0.006);
        const double release = std::min(1.0, double(n - i) / (0.04 * kRate));
        const double envelope = attack * release * (0.55 + 0.45 * std::exp(-t / 0.18));
        const double phase = kTwoPi * hz * t;
        out[std::size_t(i)] =
            envelope * (std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.1 * std::sin(3 * phase));
    }
    return out;
}

// A shaker grain: high-passed noise with a quick decay.
std::vector<double> shaker(Noise& noise) {
    const int n = int(0.06 * kRate);
    std::vector<double> out(std::size_t(n), 0.0);
    double previous = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double white = noise.bipolar();
        const double high = white - previous;
        previous = white;
        const double envelope = std::min(1.0, t / 0.004) * std::exp(-t / 0.015);
        out[std::size_t(i)] = high * envelope;
    }
    return out;
}

struct Note {
    double beat;
    int midi;
    double beats;
};

// A small Schroeder reverberator: four damped combs in parallel into two
// allpasses (the Freeverb delay lengths), the right channel slightly longer.
class Room {
public:
    explicit Room(int spread) {
        for (std::size_t i = 0; i < combs_.size(); ++i)
            combs_[i].buffer.assign(std::size_t(kCombs[i] + spread), 0.0);
        for (std::size_t i = 0; i < allpasses_.size(); ++i)
            allpasses_[i].buffer.assign(std::size_t(kAllpasses[i] + spread), 0.0);
    }

    double process(double in) {
        double sum = 0.0;
        for (auto& c : combs_) {
            const double out = c.buffer[c.index];
            c.store = out * 0.7 + c.store * 0.3;  // damping: highs die first
            c.buffer[c.index] = in + c.store * 0.80;
            c.index = (c.index + 1) % c.buffer.size();
            sum += out;
        }
        for (auto& a : allpasses_) {
            const double delayed = a.buffer[a.index];
            a.buffer[a.index] = sum + delayed * 0.5;
            a.index = (a.index + 1) % a.buffer.size();
            sum = delayed - sum;
        }
        return sum * 0.25;
    }

private:
    static constexpr std::array<int, 4> kCombs{1116, 1188, 1277, 1356};
    static constexpr std::array<int, 2> kAllpasses{556, 441};
    struct Comb {
        std::vector<double> buffer;
        std::size_t index = 0;
        double store = 0.0;
    };
    struct Allpass {
        std::vector<double> buffer;
        std::size_t index = 0;
    };
    std::array<Comb, 4> combs_;
    std::array<Allpass, 2> allpasses_;
};

}  // namespace

Pcm16 make_background_loop() {
    Stereo dry;
    Noise noise(20240611);

    // MIDI notes: C5 = 72.
    const std::vector<Note> melody{
        {0, 76, 0.5},   {0.5, 79, 0.5},  {1, 84, 1},     {2, 79, 0.5},    {2.5, 76, 0.5},
        {3, 79, 1},     {4, 81, 0.5},    {4.5, 79, 0.5}, {5, 76, 1},      {6, 72, 0.5},
        {6.5, 76, 0.5}, {7, 81, 1},      {8, 77, 0.5},   {8.5, 81, 0.5},  {9, 84, 1},
        {10, 81, 0.5},  {10.5, 77, 0.5}, {11, 81, 0.5},  {11.5, 84, 0.5}, {12, 86, 1},
        {13, 83, 0.5},  {13.5, 79, 0.5}, {14, 83, 0.5},  {14.5, 81, 0.5}, {15, 79, 1},
    };
    for (const auto& n : melody)
        dry.add(beat_frame(n.beat), marimba(midi_hz(n.midi), std::max(1.2, n.beats * kBeat + 0.8)), 0.25);

    // Ukulele shapes in re-entrant tuning (G4 C4 E4 A4), one chord per bar.
    const std::array<std::array<int, 4>, 4> chords{{
        {67, 60, 64, 72},  // C
        {69, 60, 64, 69},  // Am
        {69, 60, 65, 69},  // F
        {67, 62, 67, 71},  // G
    }};
    // Strums: down on every beat, a lighter up-strum after beats 2 and 4.
    const std::array<std::pair<double, double>, 6> strums{
        {{0, 0.8}, {1, 0.6}, {1.5, 0.4}, {2, 0.7}, {3, 0.6}, {3.5, 0.4}}};
    for (int bar = 0; bar < 4; ++bar)
        for (std::size_t s = 0; s < strums.size(); ++s) {
            const auto [beat, level] = strums[s];
            const bool up = beat - std::floor(beat) > 0.25;
            for (int string = 0; string < 4; ++string) {
                const int order = up ? 3 - string : string;
                const int start = beat_frame(bar * 4 + beat) + order * int(0.011 * kRate);
                auto pluck = nylon_string(midi_hz(chords[std::size_t(bar)][std::size_t(string)]), 1.0, noise);
                for (auto& v : pluck) v *= 0.22 * level;
                dry.add(start, pluck, -0.35);
            }
        }

    // Bass: root, a fifth on beat 3, the root again leading on.
    const std::array<std::array<int, 3>, 4> bass_notes{
        {{48, 43, 48}, {45, 52, 45}, {41, 48, 41}, {43, 50, 43}}};
    for (int bar = 0; bar < 4; ++bar) {
        const auto& b = bass_notes[std::size_t(bar)];
        const double at = bar * 4.0;
        auto put = [&](double beat, int note, double beats) {
            auto v = bass(midi_hz(note), beats * kBeat);
            for (auto& s : v) s *= 0.42;
            dry.add(beat_frame(at + beat), v, 0.0);
        };
        put(0, b[0], 1.5);
        put(2, b[1], 1.0);
        put(3, b[2], 0.9);
    }

    for (int eighth = 0; eighth < kBeats * 2; ++eighth) {
        auto grain = shaker(noise);
        const double level = eighth % 2 ? 0.05 : 0.03;
        for (auto& v : grain) v *= level;
        dry.add(beat_frame(eighth * 0.5), grain, eighth % 4 < 2 ? 0.4 : 0.2);
    }

    // Reverb in steady state: three passes, keeping the last.
    Room room_left(0), room_right(23);
    std::vector<double> wet_left(kFrames), wet_right(kFrames);
    for (int pass = 0; pass < 3; ++pass)
        for (int i = 0; i < kFrames; ++i) {
            const double in = 0.5 * (dry.left[std::size_t(i)] + dry.right[std::size_t(i)]);
            wet_left[std::size_t(i)] = room_left.process(in);
            wet_right[std::size_t(i)] = room_right.process(in);
        }

    std::vector<double> left(kFrames), right(kFrames);
    double peak = 0.0;
    for (std::size_t i = 0; i < std::size_t(kFrames); ++i) {
        left[i] = dry.left[i] + 0.35 * wet_left[i];
        right[i] = dry.right[i] + 0.35 * wet_right[i];
        peak = std::max({peak, std::abs(left[i]), std::abs(right[i])});
    }

    // The loop joins itself anywhere, but its very first sample is heard
    // after silence: start the file up to 10 ms before the downbeat, where
    // both channels are closest to zero. The shift is far too small to hear.
    std::size_t start = 0;
    double quietest = 1e9;
    for (std::size_t lead = 0; lead < std::size_t(kRate / 100); ++lead) {
        const std::size_t at = (std::size_t(kFrames) - lead) % std::size_t(kFrames);
        const double level = std::abs(left[at]) + std::abs(right[at]);
        if (level < quietest) {
            quietest = level;
            start = at;
        }
    }

    Pcm16 out;
    out.channels = 2;
    out.rate = kRate;
    out.samples.resize(std::size_t(kFrames) * 2);
    const double gain = peak > 0.0 ? kPeak * 32767.0 / peak : 0.0;
    for (std::size_t i = 0; i < std::size_t(kFrames); ++i) {
        const std::size_t from = (start + i) % std::size_t(kFrames);
        out.samples[2 * i] = std::int16_t(std::lround(left[from] * gain));
        out.samples[2 * i + 1] = std::int16_t(std::lround(right[from] * gain));
    }
    return out;
}

}  // namespace zyn::assets
