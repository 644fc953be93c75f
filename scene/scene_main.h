#pragma once

namespace zyn::scene {

// The scene: engine start, background, props, walker, bubbles, the frame
// loop until Escape or the close button, teardown. Never returns: the
// process ends with exit code 0, 1 for a picture sheet without frames,
// 2 for a bad command line or when no window can be opened.
[[noreturn]] void scene_main(int argc, const char *const *argv);

}  // namespace zyn::scene
