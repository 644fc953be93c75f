// Helpers of the scene's tests: an offscreen screen, counted beeps that also
// stand for a key pressed by the player, and a temporary folder of pictures.
#pragma once

#include "beep.h"
#include "bmp_fixture.h"
#include "keys.h"
#include "zyn.h"

#include <filesystem>
#include <string>
#include <unistd.h>

namespace scene_test {

// Every beep is counted and answered by a key press, so a report's wait ends.
class Player {
  public:
    Player() {
        zyn::scene::set_beep_hook([this] {
            ++beeps;
            if (answer_beeps) zyn::scene::push_key(answer_key);
        });
    }
    ~Player() { zyn::scene::set_beep_hook(nullptr); }
    int beeps = 0;
    bool answer_beeps = true;
    int32_t answer_key = ' ';
};

class TempFolder {
  public:
    TempFolder() {
        char name[] = "/tmp/zyn-scene-test-XXXXXX";
        path_ = mkdtemp(name) != nullptr ? name : "/tmp";
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

// A 24-bit picture whose pixel (x, y) is colour(x, y).
template <typename F>
void write_picture(const std::string &path, int32_t w, int32_t h, F colour) {
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) pixels.push_back(colour(x, y) & 0xFFFFFF);
    write_file(path, make_bmp24(w, h, pixels));
}

}  // namespace scene_test
