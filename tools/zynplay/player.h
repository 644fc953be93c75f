// One zynplay run: opens the engine, plays or renders the files in turn.
#pragma once

#include "media_probe.h"
#include "options.h"
#include "wav_trim.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zynplay {

enum ExitCode { exit_ok = 0, exit_usage = 1, exit_file = 2, exit_device = 3, exit_interrupted = 130 };

class Player {
  public:
    explicit Player(const Options &options);
    ~Player();
    Player(const Player &) = delete;
    Player &operator=(const Player &) = delete;

    // Opens the output device; exit_ok or exit_device (with the reason on stderr).
    ExitCode open();
    // Prints the device, the processor and every file (--info).
    ExitCode print_info();
    // Plays or renders one file; exit_ok or exit_file.
    ExitCode play(const std::string &path);
    // True once q or an interrupt asked to end the run.
    bool quit_requested() const;
    // True once Ctrl+C (or SIGTERM) asked to end the run.
    static bool was_interrupted();
    // Lets the last sound drain and shuts the engine down (completes --out).
    void close();

  private:
    struct Transport;  // the playing item: a sound or the stream

    ExitCode play_wave(const std::string &path, const MediaProbe &probe);
    ExitCode play_stream(const std::string &path, const MediaProbe &probe);
    bool chatty() const { return !interactive_ && !options_.quiet; }
    void start_output();
    void finish_render(bool finished, int tail_blocks);
    bool run_until_done(Transport &transport);
    void handle_key(int32_t key, Transport &transport);
    void draw_status(Transport &transport, bool final_line);

    const Options &options_;
    bool rendering_ = false;
    bool interactive_ = false;
    bool opened_ = false;
    bool writer_open_ = false;
    bool keys_told_ = false;
    bool output_restart_pending_ = false;
    bool played_anything_ = false;
    int32_t rate_ = 0;
    int32_t channels_ = 0;
    int32_t block_bytes_ = 0;
    std::string plug_folder_;
    double meter_db_ = -90.0;
    double rendered_seconds_ = 0.0;
    int64_t run_first_ = 0;          // first block of the item being rendered
    std::vector<BlockRun> runs_;     // blocks of the output file worth keeping
};

// Installs the handler that turns Ctrl+C into a clean quit.
void watch_interrupts();

// --list-devices: the plug-ins in the folder, and what opens for the default
// device and for device numbers from 0 on.
ExitCode list_devices(const Options &options);

// The plug-in folder zynplay hands the engine: --plugins, else lib/ beside
// zynplay when it exists, else the engine's default. Sets it in the engine.
std::string choose_plugin_folder(const Options &options);

// plug-*.so files in a folder.
int count_plugin_files(const std::string &folder);

}  // namespace zynplay
