#include "scene_options.h"

#include <cerrno>
#include <cstdlib>

namespace zyn::scene {
namespace {

bool to_integer(const std::string &text, int64_t low, int64_t high, int64_t *value) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

bool parse_keys(const std::string &list, std::vector<std::pair<int64_t, int32_t>> *keys) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        const std::string item = list.substr(start, comma - start);
        const size_t colon = item.find(':');
        int64_t frame = 0, code = 0;
        if (colon == std::string::npos || !to_integer(item.substr(0, colon), 0, INT64_MAX / 2, &frame) ||
            !to_integer(item.substr(colon + 1), 1, 511, &code))
            return false;
        keys->emplace_back(frame, static_cast<int32_t>(code));
        start = comma + 1;
    }
    return true;
}

}  // namespace

const char *const kSceneUsage =
    "usage: zyn-scene [--frames N] [--keys FRAME:CODE,...] [--screenshot FILE.png] [--trace]\n"
    "  --frames N            end after N frames (exit code 0)\n"
    "  --keys F:C,...        queue key code C before the key poll of frame F\n"
    "                        (27 Escape, 331 left, 333 right, 363 close)\n"
    "  --screenshot FILE     save the picture as PNG when the scene ends\n"
    "  --trace               print each frame's walker state on stderr\n";

bool parse_scene_options(int argc, const char *const *argv, SceneOptions *options, std::string *error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--trace") {
            options->trace = true;
        } else if (arg == "--frames" && has_value) {
            if (!to_integer(argv[++i], 0, INT64_MAX / 2, &options->frames)) {
                *error = std::string("bad frame count: ") + argv[i];
                return false;
            }
        } else if (arg == "--keys" && has_value) {
            if (!parse_keys(argv[++i], &options->keys)) {
                *error = std::string("bad key list: ") + argv[i];
                return false;
            }
        } else if (arg == "--screenshot" && has_value) {
            options->screenshot = argv[++i];
        } else {
            *error = "unknown option or missing value: " + arg;
            return false;
        }
    }
    return true;
}

}  // namespace zyn::scene
