#include "source_placement.h"

namespace zyn::space {

SourcePlacement place_source(const Listener &listener, const Doppler &doppler, const DistanceModel &model,
                             const Vec3 &position, const Vec3 &velocity) {
    SourcePlacement p;
    p.direction = direction_from_listener(listener, position, &p.distance);
    p.gain = distance_gain(model, p.distance);
    p.pan = equal_power_pan(p.direction);
    p.pitch = doppler_pitch(doppler, listener, position, velocity);
    return p;
}

}  // namespace zyn::space
