#include "distance_model.h"

#include <cmath>

namespace zyn::space {

const char *check_distance_model(int32_t law, float reference, float maximum, float rolloff,
                                 DistanceModel *out) {
    if (law < kDistanceNone || law > kDistanceExponential)
        return "the distance model is none of NONE, INVERSE, LINEAR, EXPONENTIAL";
    DistanceModel m;
    m.law = law;
    if (law != kDistanceNone) {
        if (!(std::isfinite(reference) && reference > 0.0f)) return "the reference distance is not above 0";
        if (std::isnan(maximum) || maximum < reference) return "the maximum distance is below the reference distance";
        if (!(std::isfinite(rolloff) && rolloff >= 0.0f)) return "the rolloff factor is not 0 or more";
        m.reference = reference;
        m.maximum = maximum;
        m.rolloff = rolloff;
    }
    *out = m;
    return nullptr;
}

float distance_gain(const DistanceModel &model, double distance) {
    if (model.law == kDistanceNone) return 1.0f;
    const double ref = model.reference, max = model.maximum, rolloff = model.rolloff;
    double d = distance != distance ? ref : distance;
    d = d < ref ? ref : (d > max ? max : d);
    double gain = 1.0;
    switch (model.law) {
        case kDistanceInverse:
            gain = ref / (ref + rolloff * (d - ref));
            break;
        case kDistanceLinear:
            // A maximum at the reference leaves no distance to fall over.
            gain = std::isinf(max) || max <= ref ? 1.0 : 1.0 - rolloff * (d - ref) / (max - ref);
            break;
        case kDistanceExponential:
            gain = std::pow(d / ref, -rolloff);
            break;
        default:
            break;
    }
    if (!(gain > 0.0)) return 0.0f;
    return gain > 1.0 ? 1.0f : static_cast<float>(gain);
}

}  // namespace zyn::space
