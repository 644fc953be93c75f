// How a positional sound's gain falls with distance: the clamped laws of
// the common 3D audio interfaces (OpenAL 1.1 and its EFX guide, section
// "Distance models"). With d the distance clamped to reference..maximum:
//   inverse      gain = reference / (reference + rolloff x (d - reference))
//   linear       gain = 1 - rolloff x (d - reference) / (maximum - reference),
//                never below 0 (with an infinite maximum: 1, no fall)
//   exponential  gain = (d / reference) ^ -rolloff
//   none         gain = 1
// Inside the reference distance each law gives 1; beyond the maximum it
// stays at the maximum's gain. Defaults: inverse, reference 1 m, maximum
// infinite, rolloff 1.
#pragma once

#include <cstdint>
#include <limits>

namespace zyn::space {

enum DistanceLaw : int32_t {
    kDistanceNone = 0,  // the values of ZYN_DISTANCE_NONE .. ZYN_DISTANCE_EXPONENTIAL
    kDistanceInverse = 1,
    kDistanceLinear = 2,
    kDistanceExponential = 3,
};

struct DistanceModel {
    int32_t law = kDistanceInverse;
    float reference = 1.0f;
    float maximum = std::numeric_limits<float>::infinity();
    float rolloff = 1.0f;
};

// Checks a requested model: nullptr when usable (out holds it), else the
// reason (out untouched). Refused: an unknown law; a reference that is NaN,
// infinite or not above 0; a maximum that is NaN or below the reference
// (+infinity is allowed); a rolloff that is NaN, infinite or negative. With
// the law none the three numbers are not looked at (the defaults are kept).
const char *check_distance_model(int32_t law, float reference, float maximum, float rolloff,
                                 DistanceModel *out);

// The gain at distance metres (0 or more) under a checked model: 0..1.
float distance_gain(const DistanceModel &model, double distance);

}  // namespace zyn::space
