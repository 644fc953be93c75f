// The scene's random numbers.
#pragma once

namespace zyn::scene {

// Uniform on [0, 1), the same sequence every run.
double random_unit();

}  // namespace zyn::scene
