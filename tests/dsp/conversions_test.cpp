// Level and angle conversions with their single-precision factors.
#include "zyn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(Conversions, VolumeToDecibels) {
    EXPECT_EQ(ZYN_VOLUME_2_DB(1.0f), 0.0f);
    EXPECT_NEAR(ZYN_VOLUME_2_DB(0.5f), -6.0206f, 1e-4);
    EXPECT_NEAR(ZYN_VOLUME_2_DB(2.0f), 6.0206f, 1e-4);
    EXPECT_FLOAT_EQ(ZYN_VOLUME_2_DB(0.1f), -20.0f);
    EXPECT_EQ(ZYN_VOLUME_2_DB(0.0f), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(ZYN_VOLUME_2_DB(-1.0f)));
}

TEST(Conversions, DecibelsToVolumeCarryTheSinglePrecisionTwentieth) {
    EXPECT_EQ(ZYN_DB_2_VOLUME(0.0f), 1.0f);
    EXPECT_FLOAT_EQ(ZYN_DB_2_VOLUME(-6.0f), 0.50118721f);
    EXPECT_FLOAT_EQ(ZYN_DB_2_VOLUME(6.0f), 1.9952624f);
    EXPECT_EQ(ZYN_DB_2_VOLUME(20.0f), 10.0f);
    // 0.05 in single precision is a little above 0.05: -20 dB lands one
    // float step below 0.1.
    EXPECT_EQ(ZYN_DB_2_VOLUME(-20.0f), 0.099999994f);
    EXPECT_NE(ZYN_DB_2_VOLUME(-20.0f), 0.1f);
}

TEST(Conversions, AnglesUseSinglePrecisionFactors) {
    const double pi = 3.14159265358979323846;
    EXPECT_NEAR(ZYN_RAD2DEG(pi), 180.0000021, 1e-7);
    EXPECT_NE(ZYN_RAD2DEG(pi), 180.0);
    EXPECT_NEAR(ZYN_DEG2RAD(180.0), 3.1415926293, 1e-10);
    EXPECT_EQ(ZYN_RAD2DEG(1.0), 57.295780181884766);
    EXPECT_EQ(ZYN_DEG2RAD(1.0), 0.01745329238474369);
}

TEST(Conversions, PowerIsTheStandardOne) {
    EXPECT_EQ(ZYN_POW(2.0, 10.0), 1024.0);
    EXPECT_TRUE(std::isnan(ZYN_POW(-8.0, 1.0 / 3.0)));
    EXPECT_EQ(ZYN_POW(0.0, 0.0), 1.0);
}
