#include "placed_playback.h"

#include "dsp/region_walker.h"
#include "dsp/resampler_position.h"

#include <cstddef>

namespace zyn {
namespace {

inline void place_mono(const PlacedLinearRun &r, int32_t j, int32_t v) {
    const float m = static_cast<float>(v) * 0x1p-15f;
    const int32_t i = r.at + j;
    const auto n = static_cast<float>(i + 1);
    r.acc[2 * i] += m * (r.left_from + r.left_step * n);
    r.acc[2 * i + 1] += m * (r.right_from + r.right_step * n);
}

// The smallest j with fraction + j x step >= target (count when there is none).
int64_t first_reaching(int64_t target, uint32_t fraction, uint32_t step, int64_t count) {
    if (target <= static_cast<int64_t>(fraction)) return 0;
    if (step == 0) return count;
    const int64_t j = (target - static_cast<int64_t>(fraction) + step - 1) / step;
    return j < count ? j : count;
}

// The walker's sink: each piece of a pass, its frames whose two source
// frames lie inside the region through the bound loop, the others (at the
// region's edges) here, the taps mapped the way the resampler's edges map
// them: ahead into the next pass (silence after the last), behind into the
// other end of the region.
template <bool kForward>
struct IntoSum {
    const PlacedVariants &variants;
    walk::Region region;
    PlacedLinearRun run;  // at counts the frames placed so far

    int32_t edge_sum(int64_t base, uint64_t d, bool wrap_ahead) const {
        const auto *first = reinterpret_cast<const int16_t *>(region.first);
        const int64_t frames = region.length / 4;
        int64_t k = 0;
        uint32_t t = 0;
        locate(d, kForward, &k, &t);
        k += base;
        const auto t14 = static_cast<int32_t>(t >> 2);
        int32_t v = 0;
        for (int64_t m = 0; m < 2; ++m) {
            int64_t i = k + m;
            const bool beyond_end = i >= frames, before_start = i < 0;
            if (beyond_end || before_start) {
                const bool ahead = kForward ? beyond_end : before_start;
                if (ahead && !wrap_ahead) continue;
                i %= frames;
                if (i < 0) i += frames;
            }
            v += (m == 0 ? 16384 - t14 : t14) * (first[2 * i] + first[2 * i + 1]);
        }
        return v;
    }

    void gather(const int16_t *origin, uint32_t fraction, uint32_t step, int32_t n, bool last_pass) {
        const auto *first = reinterpret_cast<const int16_t *>(region.first);
        const int64_t frames = region.length / 4;
        const int64_t base = (origin - first) / 2;
        int64_t j0 = 0, j1 = 0;
        if (kForward) {
            j1 = first_reaching((frames - 1 - base) * 65536, fraction, step, n);
        } else {
            const int64_t upper = base - (frames - 2);
            j0 = upper > 0 ? first_reaching((upper - 1) * 65536 + 1, fraction, step, n) : 0;
            j1 = base >= 0 ? first_reaching(base * 65536 + 1, fraction, step, n) : 0;
        }
        if (j1 < j0) j1 = j0;
        for (int64_t j = 0; j < j0; ++j)
            place_mono(run, static_cast<int32_t>(j), edge_sum(base, fraction + static_cast<uint64_t>(j) * step, !last_pass));
        if (j1 > j0) {
            const uint64_t d = fraction + static_cast<uint64_t>(j0) * step;
            const auto whole = static_cast<int64_t>(d >> 16);
            PlacedLinearRun inside = run;
            inside.origin = first + 2 * (base + (kForward ? whole : -whole));
            inside.fraction = static_cast<uint32_t>(d & 0xFFFF);
            inside.step = step;
            inside.forward = kForward;
            inside.at = run.at + static_cast<int32_t>(j0);
            inside.low = -(base + (kForward ? whole : -whole));
            inside.high = inside.low + frames - 1;
            variants.linear(inside, 0, static_cast<int32_t>(j1 - j0));
        }
        for (int64_t j = j1; j < n; ++j)
            place_mono(run, static_cast<int32_t>(j), edge_sum(base, fraction + static_cast<uint64_t>(j) * step, !last_pass));
        run.at += n;
    }
    void silence(int32_t n) { run.at += n; }
};

}  // namespace

void placed_linear_plain(const PlacedLinearRun &r, int32_t first, int32_t frames) {
    uint64_t d = r.fraction + static_cast<uint64_t>(first) * r.step;
    for (int32_t j = first; j < frames; ++j, d += r.step) {
        int64_t k = 0;
        uint32_t t = 0;
        locate(d, r.forward, &k, &t);
        const int16_t *s = r.origin + 2 * k;
        const auto t14 = static_cast<int32_t>(t >> 2);
        place_mono(r, j, (s[0] + s[1]) * (16384 - t14) + (s[2] + s[3]) * t14);
    }
}

bool place_linear_playback(const PlacedVariants &v, float *acc, const PlacedGains &g, const int16_t *start,
                           int16_t **pos, const int16_t *end, int32_t *loops, uint32_t *fraction, float speed,
                           int32_t frames) {
    if (acc == nullptr || start == nullptr || pos == nullptr || end == nullptr || loops == nullptr ||
        fraction == nullptr || frames <= 0)
        return false;
    if (!(speed > 0.0f) && !(speed < 0.0f)) return false;
    const uint64_t step = walk::speed_step(speed);
    if (walk::step_wraps<4>(step)) return false;
    const walk::Region r = walk::frame_region<4>(start, end);
    if (r.length == 0) return false;
    const PlacedLinearRun run{acc, nullptr, 0, 0, speed > 0.0f, 0, 0, 0, g.left_from, g.right_from, g.left_step,
                              g.right_step};
    if (speed > 0.0f) {
        IntoSum<true> sink{v, r, run};
        walk::walk_slice<4, true>(sink, r, pos, loops, step, frames, fraction);
    } else {
        IntoSum<false> sink{v, r, run};
        walk::walk_slice<4, false>(sink, r, pos, loops, step, frames, fraction);
    }
    return true;
}

}  // namespace zyn
