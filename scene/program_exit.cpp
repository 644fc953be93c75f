#include "program_exit.h"

#include "screen.h"

#include <cstdlib>
#include <vector>

namespace zyn::scene {
namespace {

std::vector<std::function<void()>> &exit_hooks() {
    static std::vector<std::function<void()>> hooks;
    return hooks;
}

}  // namespace

void add_exit_hook(std::function<void()> hook) { exit_hooks().push_back(std::move(hook)); }

void end_program(int32_t code) {
    for (auto &hook : exit_hooks()) hook();
    exit_hooks().clear();
    close_screen();
    std::exit(code);
}

}  // namespace zyn::scene
