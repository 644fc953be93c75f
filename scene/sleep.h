// Waiting that keeps the window presented and served meanwhile.
#pragma once

#include <cstdint>

namespace zyn::scene {

void sleep_ms(int32_t milliseconds);

}  // namespace zyn::scene
