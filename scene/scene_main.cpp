#include "scene_main.h"

#include "blit.h"
#include "bubble_field.h"
#include "image_loader.h"
#include "png_writer.h"
#include "scene_options.h"
#include "keys.h"
#include "program_exit.h"
#include "screen.h"
#include "sleep.h"
#include "sprite.h"
#include "trace.h"
#include "walker.h"
#include "zyn.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zyn::scene {
namespace {

struct Prop {
    const char *file;
    int32_t x, y;
};

constexpr Prop kProps[] = {
    {"./data/p_home.bmp", 40, 200},  {"./data/t_home.bmp", 160, 110}, {"./data/s_home.bmp", 300, 110},
    {"./data/kk_sign.bmp", 460, 20}, {"./data/kk.bmp", 560, 115},
};

void paint_sky(Image &screen, const Image *sky) {
    // Each put covers the previous ones from its x on, so every column ends up
    // showing the sky's first column.
    for (int32_t x = 0; x < SCREEN_WIDTH; ++x) put(screen, x, 0, sky, PUT_COPY);
}

void paint_ground(Image &screen) {
    for (int32_t y = 240; y <= 480; ++y) {
        // Two's complement on purpose: the bits of the negative g spill into
        // the upper channels and make the pale yellow band.
        const int32_t g = (y - 480) / 2;
        const uint32_t colour = 0xFF000000u | static_cast<uint32_t>(g) << 16 |
                                static_cast<uint32_t>(g / 2) << 8 | static_cast<uint32_t>(g);
        draw_line(screen, 0, y, 0 + 799, y + 0, colour);
    }
}

const char *sound_name(StepSound sound) {
    switch (sound) {
        case StepSound::step_left: return "step-left";
        case StepSound::step_right: return "step-right";
        default: return "none";
    }
}

}  // namespace

void scene_main(int argc, const char *const *argv) {
    SceneOptions options;
    std::string error;
    if (!parse_scene_options(argc, argv, &options, &error)) {
        std::fprintf(stderr, "zyn-scene: %s\n%s", error.c_str(), kSceneUsage);
        std::exit(2);
    }

    if (options.trace) set_trace_stream(stderr);

    ZYN_SET_PLUGPATH("./lib/");
    const int32_t sound_ok = ZYN_INIT(44100, 2, 3, 2048, -1);
    if (options.trace) std::fprintf(stderr, "sound_ok %d\n", sound_ok);
    int32_t loop_wave = 0, step_left_wave = 0, step_right_wave = 0;
    if (sound_ok != 0) {
        ZYN_LOAD_WAVFILE("./data/loop.wav", &loop_wave);
        ZYN_LOAD_WAVFILE("./data/s_step_left.wav", &step_left_wave);
        ZYN_LOAD_WAVFILE("./data/s_step_right.wav", &step_right_wave);
    }

    if (!open_screen(SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0, 4, 0)) {
        std::fprintf(stderr, "zyn-scene: cannot open the window: %s\n", SDL_GetError());
        std::exit(2);
    }
    if (!options.screenshot.empty()) {
        const std::string file = options.screenshot;
        add_exit_hook([file] {
            if (!write_png(file, screen_image())) std::fprintf(stderr, "zyn-scene: cannot write %s\n", file.c_str());
        });
    }
    Image &screen = screen_image();

    ImagePtr sky = load_image("./data/sky_264.bmp");
    paint_sky(screen, sky.get());
    paint_ground(screen);
    mark_screen_changed();

    std::unique_ptr<Sprite> props[5];
    for (size_t i = 0; i < 5; ++i) {
        props[i] = std::make_unique<Sprite>();
        props[i]->add_sheet(kProps[i].file, 0, 0);
        props[i]->draw(0, 0, kProps[i].x, kProps[i].y, DRAW_TRANS);
    }

    auto walker_sprite = std::make_unique<Sprite>();
    WalkerSheets sheets;
    sheets.walk_right = walker_sprite->add_sheet("./data/s_walk_right.bmp", 28, 40);
    sheets.n_walk_right = walker_sprite->frame_count(sheets.walk_right);
    sheets.turn_left = walker_sprite->add_sheet("./data/s_turn_left.bmp", 28, 40);
    sheets.n_turn_left = walker_sprite->frame_count(sheets.turn_left);
    sheets.walk_left = walker_sprite->add_sheet("./data/s_walk_left.bmp", 28, 40);
    sheets.n_walk_left = walker_sprite->frame_count(sheets.walk_left);
    sheets.turn_right = walker_sprite->add_sheet("./data/s_turn_right.bmp", 28, 40);
    sheets.n_turn_right = walker_sprite->frame_count(sheets.turn_right);
    Walker walker(sheets);

    auto bubbles = std::make_unique<BubbleField>("./data/bubble_8.bmp", "./data/bubble_16.bmp",
                                                 "./data/bubble_24.bmp");
    if (sound_ok != 0) ZYN_PLAY_WAVE(loop_wave, -1, 1.0f, 1.0f, 0.0f, nullptr);

    int32_t key = 0;
    for (int64_t frame_number = 0;; ++frame_number) {
        if (key == KEY_ESCAPE || key == KEY_CLOSE) break;
        if (options.frames >= 0 && frame_number >= options.frames) break;
        bubbles->update();
        const WalkerDrawing drawing = walker.step();
        const bool played = sound_ok == 1 && drawing.sound != StepSound::none;
        if (played) {
            const int32_t wave = drawing.sound == StepSound::step_left ? step_left_wave : step_right_wave;
            ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, nullptr);
        }
        walker_sprite->draw(drawing.sheet, drawing.frame, drawing.x, drawing.y, DRAW_TRANS);
        sleep_ms(40);
        for (const auto &[at, code] : options.keys)
            if (at == frame_number) push_key(code);
        key = poll_key();
        walker.on_key(key);
        if (options.trace)
            std::fprintf(stderr,
                         "frame %lld sheet %d anim %d x %d sound %s played %d key %d state %d prev %d turning %d\n",
                         static_cast<long long>(frame_number), drawing.sheet, drawing.frame, drawing.x,
                         sound_name(drawing.sound), played ? 1 : 0, key, walker.state, walker.prev_state, walker.turning);
    }

    bubbles.reset();
    walker_sprite.reset();
    for (int i = 4; i >= 0; --i) props[i].reset();
    end_program(0);
}

}  // namespace zyn::scene
