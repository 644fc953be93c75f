// Command-line options of the scene for scripted runs. Without options the
// scene runs until Escape or the close button.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zyn::scene {

struct SceneOptions {
    int64_t frames = -1;                           // --frames N: end after N frames
    std::vector<std::pair<int64_t, int32_t>> keys;  // --keys F:CODE,...: queued before frame F's key poll
    std::string screenshot;                        // --screenshot FILE.png: the frame buffer at exit
    bool trace = false;                            // --trace: each frame's walker state on stderr
};

// False (with a message in *error) for an unknown option or a malformed value.
bool parse_scene_options(int argc, const char *const *argv, SceneOptions *options, std::string *error);

extern const char *const kSceneUsage;

}  // namespace zyn::scene
