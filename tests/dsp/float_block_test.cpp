// Float blocks between the 16-bit mix and the float stages: gain ramps that
// arrive on the last frame, rounding, saturation, first contributions, and
// NaN kept out of a block.
#include "dsp/float_block.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

TEST(FloatBlock, GainsRampToTheirNewValueOnTheLastFrame) {
    const std::vector<int16_t> stereo = {1000, 3000, -2000, 2000, 400, 400, 0, 8000};  // 4 frames
    std::vector<float> mono(4);
    zyn::mono_from_block(mono.data(), stereo.data(), 4, 2, 0.0f, 1.0f);
    const float expected[4] = {0.25f * 2000.0f, 0.5f * 0.0f, 0.75f * 400.0f, 1.0f * 4000.0f};
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(mono[static_cast<size_t>(i)], expected[i]) << i;

    std::vector<float> bus = {1.0f, 1.0f, 1.0f, 1.0f};
    zyn::add_to_bus(bus.data(), stereo.data(), 4, 2, 0.5f, 0.5f);
    zyn::add_to_bus(bus.data(), std::vector<int16_t>{100, 100, 100, 100}.data(), 4, 1, 1.0f, 1.0f);
    const float summed[4] = {1.0f + 1000.0f + 100.0f, 1.0f + 0.0f + 100.0f, 1.0f + 200.0f + 100.0f, 1.0f + 2000.0f + 100.0f};
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(bus[static_cast<size_t>(i)], summed[i]) << i;

    std::vector<int16_t> out(8, 0);
    const std::vector<float> source = {1000.0f, 1000.0f, 1000.0f, 1000.0f};
    zyn::add_panned(out.data(), source.data(), 4, 1.0f, 0.0f, 0.0f, 1.0f, true);
    const int16_t panned[8] = {750, 250, 500, 500, 250, 750, 0, 1000};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[static_cast<size_t>(i)], panned[i]) << i;
}

TEST(FloatBlock, AddsRoundedAndSaturated) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int16_t before;
        float add;
        bool first;
        int16_t after;
    } rows[] = {{100, 0.5f, false, 100},        {100, 1.5f, false, 102},      {100, -0.6f, false, 99},
                {32000, 5000.0f, false, 32767}, {-32000, -900.0f, false, -32768},
                {-5, 70000.0f, true, 32767},    {1234, 7.4f, true, 7},        {1234, nan, false, 1234},
                {1234, nan, true, 0}};
    for (const auto &row : rows) {
        int16_t sample = row.before;
        zyn::add_float_samples(&sample, &row.add, 1, row.first);
        EXPECT_EQ(sample, row.after) << row.before << " + " << row.add << (row.first ? " (first)" : "");
    }
    std::vector<int16_t> mono = {10};
    const float stereo[2] = {100.0f, 301.0f};
    zyn::add_stereo_float(mono.data(), 1, stereo, 1, false);
    EXPECT_EQ(mono[0], 10 + 200) << "a mono block gets the mean, rounded half to even";
}
