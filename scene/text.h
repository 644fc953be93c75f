// Text output: one line at a time in 8 x 8 cells (100 x 60) from the top-left
// text position, or on stdout without a screen.
#pragma once

#include <string>
#include <vector>

namespace zyn::scene {

void print_line(const std::string &text);
const std::vector<std::string> &printed_lines();  // every line printed so far

}  // namespace zyn::scene
