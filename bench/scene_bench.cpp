// One frame of the scene's drawing: the bubble update (50 restores, grabs and
// alpha puts) plus one walker draw, on the frame buffer without a window.
// The frame lasts 40 ms; this must be a small fraction of it.
#include "beep.h"
#include "bmp_fixture.h"
#include "bubble_field.h"
#include "screen.h"
#include "sprite.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace zyn::scene;

namespace {

std::string write_picture(const std::string &folder, const std::string &name, int w, int h) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels.push_back(((x + y) % 3) ? 0xC0C0F0u : 0x101010u);
    const std::string path = folder + "/" + name;
    scene_test::write_file(path, scene_test::make_bmp24(w, h, pixels));
    return path;
}

void BM_SceneFrame(benchmark::State &state) {
    char name[] = "/tmp/zyn-scene-bench-XXXXXX";
    const std::string folder = mkdtemp(name);
    open_offscreen_screen();
    set_beep_hook([] {});
    Image &screen = screen_image();
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) screen.row(y)[x] = 0xFF000000u | uint32_t(x * 31 + y * 7);
    BubbleField bubbles(write_picture(folder, "b8.bmp", 8, 8), write_picture(folder, "b16.bmp", 16, 16),
                        write_picture(folder, "b24.bmp", 24, 24));
    Sprite walker;
    walker.add_sheet(write_picture(folder, "walk.bmp", 28 * 8, 40), 28, 40);
    int32_t x = 360, frame = 0, step = 1;
    for (auto _ : state) {
        bubbles.update();
        walker.draw(0, frame, x, 240, DRAW_TRANS);
        frame = (frame + 1) % 8;
        x += step;
        if (x == 771 || x == 0) step = -step;
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
