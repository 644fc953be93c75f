// The end of the scene program: hooks that run first (a screenshot), then the
// window closes and the process ends.
#pragma once

#include <cstdint>
#include <functional>

namespace zyn::scene {

[[noreturn]] void end_program(int32_t code);
void add_exit_hook(std::function<void()> hook);

}  // namespace zyn::scene
