// The geometry of positional sound: distance laws at the promised points,
// equal-power panning in the listener's frame, the Doppler factor, and the
// refusals of hostile input.
#include "space/source_placement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

using namespace zyn::space;

namespace {

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

double to_db(double gain) { return 20.0 * std::log10(gain); }

DistanceModel model(int32_t law, float reference, float maximum, float rolloff) {
    DistanceModel m;
    EXPECT_EQ(check_distance_model(law, reference, maximum, rolloff, &m), nullptr);
    return m;
}

Listener listener(const float position[3], const float forward[3], const float up[3]) {
    Listener l;
    EXPECT_EQ(set_listener(l, position, forward, up), nullptr);
    return l;
}

}  // namespace

TEST(DistanceModel, GainsAtTwiceAndFourTimesTheReference) {
    // Expected gains from the laws' definitions: inverse ref / (ref + r (d - ref)),
    // linear 1 - r (d - ref) / (max - ref), exponential (d / ref)^-r.
    const struct {
        DistanceModel m;
        double at2, at4;
    } rows[] = {
        {DistanceModel{}, 1.0 / 2.0, 1.0 / 4.0},
        {model(kDistanceInverse, 3.0f, kInf, 0.5f), 1.0 / 1.5, 1.0 / 2.5},
        {model(kDistanceLinear, 2.0f, 18.0f, 1.0f), 1.0 - 2.0 / 16.0, 1.0 - 6.0 / 16.0},
        {model(kDistanceLinear, 1.0f, 3.0f, 1.0f), 0.5, 0.0},  // beyond the maximum: the maximum's gain
        {model(kDistanceExponential, 1.5f, kInf, 1.0f), 0.5, 0.25},
        {model(kDistanceExponential, 1.0f, kInf, 2.0f), 0.25, 1.0 / 16.0},
        {model(kDistanceExponential, 1.0f, 2.0f, 2.0f), 0.25, 0.25},
        {model(kDistanceNone, 0.0f, kNan, -1.0f), 1.0, 1.0},
    };
    for (const auto &row : rows) {
        const double ref = row.m.reference;
        for (const auto &[distance, expected] : {std::pair{2.0 * ref, row.at2}, std::pair{4.0 * ref, row.at4}}) {
            const double gain = distance_gain(row.m, distance);
            if (expected == 0.0)
                EXPECT_EQ(gain, 0.0);
            else
                EXPECT_NEAR(to_db(gain), to_db(expected), 0.1) << "law " << row.m.law << " at " << distance;
        }
        EXPECT_EQ(distance_gain(row.m, 0.5 * ref), 1.0f) << "inside the reference distance";
    }
}

TEST(DistanceModel, RefusesHostileSettings) {
    const struct {
        int32_t law;
        float reference, maximum, rolloff;
    } rows[] = {{kDistanceInverse, 0.0f, 10.0f, 1.0f},   {kDistanceInverse, -1.0f, 10.0f, 1.0f},
                {kDistanceLinear, kNan, 10.0f, 1.0f},    {kDistanceLinear, kInf, kInf, 1.0f},
                {kDistanceLinear, 2.0f, 1.0f, 1.0f},     {kDistanceExponential, 1.0f, kNan, 1.0f},
                {kDistanceInverse, 1.0f, 10.0f, -0.5f},  {kDistanceInverse, 1.0f, 10.0f, kInf},
                {kDistanceExponential, 1.0f, 10.0f, kNan}, {4, 1.0f, 10.0f, 1.0f},
                {-1, 1.0f, 10.0f, 1.0f}};
    for (const auto &row : rows) {
        DistanceModel m;
        m.rolloff = 7.0f;
        EXPECT_NE(check_distance_model(row.law, row.reference, row.maximum, row.rolloff, &m), nullptr)
            << row.law << " " << row.reference << " " << row.maximum << " " << row.rolloff;
        EXPECT_EQ(m.rolloff, 7.0f) << "a refusal leaves the model alone";
    }
}

TEST(DirectionPan, SidesInTheListenersFrame) {
    const float origin[3] = {0, 0, 0}, ahead[3] = {0, 0, -1}, up[3] = {0, 1, 0};
    const float east[3] = {1, 0, 0}, tilted_up[3] = {0.2f, 1, 0};
    const float far[3] = {100, 50, -20};
    const struct {
        Listener l;
        float source[3];
        int side;  // -1 left, 0 centre, +1 right
    } rows[] = {
        {Listener{}, {5, 0, 0}, +1},
        {Listener{}, {-5, 0, 0}, -1},
        {Listener{}, {0, 0, -5}, 0},
        {Listener{}, {0, 0, 5}, 0},             // behind: centred on a stereo pair
        {Listener{}, {0, 9, 0}, 0},             // above
        {Listener{}, {0, 0, 0}, 0},             // at the listener
        {listener(origin, east, up), {0, 0, 3}, +1},   // facing +x, +z is to the right
        {listener(origin, east, tilted_up), {0, 0, -3}, -1},
        {listener(far, ahead, up), {105, 50, -20}, +1},
        {listener(far, ahead, up), {100, 50, -20}, 0},
    };
    for (const auto &row : rows) {
        const SourcePlacement p = place_source(row.l, Doppler{}, DistanceModel{}, vec3(row.source), Vec3{});
        EXPECT_NEAR(p.pan.left * p.pan.left + p.pan.right * p.pan.right, 1.0, 1e-6) << "equal power";
        if (row.side == 0) {
            EXPECT_FLOAT_EQ(p.pan.left, p.pan.right);
        } else {
            const float near = row.side > 0 ? p.pan.right : p.pan.left;
            const float away = row.side > 0 ? p.pan.left : p.pan.right;
            EXPECT_FLOAT_EQ(near, 1.0f);
            EXPECT_LT(to_db(std::fabs(away) + 1e-30), -40.0) << "the far side at least 40 dB down";
        }
    }
}

TEST(Listener, RefusesHostileVectorsAndKeepsItsState) {
    const float ok[3] = {1, 2, 3}, ahead[3] = {0, 0, -1}, up[3] = {0, 1, 0};
    const float nan[3] = {0, kNan, 0}, inf[3] = {kInf, 0, 0}, huge[3] = {0, 0, 2e12f};
    const float zero[3] = {0, 0, 0}, tiny[3] = {0, 1e-12f, 0}, along[3] = {0, 0, 5}, almost[3] = {0, 1e-5f, -1};
    const struct {
        const float *position, *forward, *up;
    } rows[] = {{nan, ahead, up},   {inf, ahead, up}, {huge, ahead, up},  {ok, zero, up},    {ok, ahead, zero},
                {ok, ahead, along}, {ok, tiny, up},   {ok, ahead, almost}, {nullptr, ahead, up}, {ok, ahead, nan}};
    for (const auto &row : rows) {
        Listener l = listener(ok, ahead, up);
        EXPECT_NE(set_listener(l, row.position, row.forward, row.up), nullptr);
        EXPECT_EQ(l.position.x, 1.0);
        EXPECT_EQ(l.forward.z, -1.0);
    }
    Listener l;
    EXPECT_NE(set_listener_velocity(l, nan), nullptr);
    EXPECT_NE(set_listener_velocity(l, nullptr), nullptr);
    EXPECT_EQ(l.velocity.y, 0.0);
}

TEST(Doppler, ShiftsAlongTheLineBetweenThem) {
    const double c = 343.3, v = 34.33;  // a tenth of the speed of sound
    Listener moving;
    const float towards_source[3] = {0, 0, -static_cast<float>(v)};
    ASSERT_EQ(set_listener_velocity(moving, towards_source), nullptr);
    Doppler half;
    ASSERT_EQ(check_doppler(0.5f, 343.3f, &half), nullptr);
    Doppler off;
    ASSERT_EQ(check_doppler(0.0f, 343.3f, &off), nullptr);
    const Vec3 ahead{0, 0, -50};
    const struct {
        Doppler d;
        Listener l;
        Vec3 position, velocity;
        double expected;
    } rows[] = {
        {Doppler{}, Listener{}, ahead, Vec3{0, 0, v}, c / (c - v)},            // approaching: 1.111
        {Doppler{}, Listener{}, ahead, Vec3{0, 0, -v}, c / (c + v)},           // receding
        {Doppler{}, Listener{}, ahead, Vec3{v, 0, 0}, 1.0},                    // crossing the line
        {Doppler{}, moving, ahead, Vec3{}, (c + v) / c},                       // listener approaching
        {half, Listener{}, ahead, Vec3{0, 0, v}, c / (c - 0.5 * v)},
        {off, Listener{}, ahead, Vec3{0, 0, v}, 1.0},
        {Doppler{}, Listener{}, Vec3{}, Vec3{0, 0, v}, 1.0},                   // at the listener
        {Doppler{}, Listener{}, ahead, Vec3{0, 0, 10 * c}, 1.0 / (1.0 - 0.9)},  // supersonic: held
        {Doppler{}, Listener{}, ahead, Vec3{0, 0, -10 * c}, 1.0 / (1.0 + 0.9)},
    };
    for (const auto &row : rows) {
        const float f = doppler_pitch(row.d, row.l, row.position, row.velocity);
        EXPECT_NEAR(f / row.expected, 1.0, 0.005) << "expected " << row.expected;
    }
    EXPECT_NEAR(doppler_pitch(Doppler{}, Listener{}, ahead, Vec3{0, 0, v}), 1.111, 0.005 * 1.111);
    Doppler d;
    const std::pair<float, float> hostile[] = {{kNan, 343.3f}, {-1.0f, 343.3f}, {kInf, 343.3f}, {1.0f, 0.0f},
                                               {1.0f, -5.0f},  {1.0f, kInf},    {1.0f, kNan}};
    for (const auto &[factor, speed] : hostile) {
        EXPECT_NE(check_doppler(factor, speed, &d), nullptr) << factor << " " << speed;
        EXPECT_EQ(d.factor, 1.0f);
    }
}
