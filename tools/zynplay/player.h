// One zynplay run: opens the engine, plays or renders the files in turn.
#pragma once

#include "key_reader.h"
#include "media_probe.h"
#include "options.h"
#include "render_target.h"
#include "wav_writer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zynplay {

// 130 and 143 follow the shell's 128 + signal number for SIGINT and SIGTERM.
enum ExitCode {
    exit_ok = 0,
    exit_usage = 1,
    exit_file = 2,
    exit_device = 3,  // also an --out file that could not be written
    exit_interrupted = 130,
    exit_terminated = 143
};

class Player {
  public:
    explicit Player(const Options &options);
    ~Player();
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    // Starts reading keys (in a terminal) and opens the output device;
    // exit_ok or exit_device (with the reason on stderr).
    ExitCode open();
    // Prints the device, the processor and every file (--info).
    ExitCode print_info();
    // Plays or renders one file; exit_ok or exit_file.
    ExitCode play(const std::string &path);
    // True once q, Ctrl+C or SIGTERM asked to end the run.
    bool quit_requested() const;
    // Lets the last sound drain and shuts the engine down. With --out it puts
    // the render in place, unless nothing played or a signal ended the run;
    // exit_device when the file could not be written.
    ExitCode close();

  private:
    struct Transport;  // the playing item: a sound or a track

    ExitCode open_device();
    ExitCode open_render();
    ExitCode play_wave(const std::string &path, const MediaProbe &probe);
    ExitCode play_track(const std::string &path, const MediaProbe &probe);
    void seek_track(Transport &transport, double seconds);
    bool chatty() const { return !interactive_ && !options_.quiet; }
    bool render_block();
    void finish_render(bool finished, int tail_blocks);
    ExitCode place_render();
    bool run_until_done(Transport &transport);
    void handle_key(int32_t key, Transport &transport);
    void draw_status(Transport &transport, bool final_line);
    // The plug-in (--plug, or the WAV writer for a render) and the device
    // index (--device N or NAME, looked up in the listing) ZYN_INIT opens;
    // false with the reason.
    bool choose_output(std::string &problem);

    const Options &options_;
    KeyReader keys_;
    std::unique_ptr<RenderTarget> target_;
    WavWriter writer_;             // into target_'s temporary file
    std::vector<int16_t> block_;   // one block of the render
    std::string render_problem_;   // why the render could not be completed
    // What the keys set carries on from file to file.
    float volume_ = 1.0f;
    bool muted_ = false;
    bool quit_ = false;
    bool rendering_ = false;
    bool interactive_ = false;
    bool opened_ = false;
    bool keys_told_ = false;
    bool played_anything_ = false;
    int32_t device_ = -1;  // the device index ZYN_INIT opens
    int32_t rate_ = 0;
    int32_t channels_ = 0;
    int32_t block_bytes_ = 0;
    std::string plug_folder_;
    double meter_db_ = -90.0;
    double rendered_seconds_ = 0.0;
};

// --list-devices: the plug-ins of the folder in the engine's order, and the
// devices each can open now, listed without opening any.
ExitCode list_devices(const Options &options);

// The plug-*.so files of a folder in the order the engine tries them.
std::vector<std::string> plugin_files(const std::string &folder);

// The plug-in folder zynplay hands the engine: --plugins, else lib/ beside
// zynplay when it exists, else the engine's default. Sets it in the engine.
std::string choose_plugin_folder(const Options &options);

// plug-*.so files in a folder.
int count_plugin_files(const std::string &folder);

}  // namespace zynplay
