// Command-line options of zynplay and their parser.
#pragma once

#include <string>
#include <vector>

namespace zynplay {

struct EqBand {
    float centre;     // Hz
    float gain_db;    // dB as the engine takes it (the centre gets twice this)
    float octaves;    // bandwidth
};

struct Options {
    std::vector<std::string> files;
    bool stream = false;
    bool info = false;
    bool list_devices = false;
    bool quiet = false;  // no progress lines or status line; complaints still go to stderr
    bool help = false;
    bool version = false;

    bool speed_given = false;
    float speed = 1.0f;
    float volume = 1.0f;
    float pan = 0.0f;
    bool has_position = false;  // --position: the sound placed in space, the listener at the origin facing -z
    float position[3] = {0.0f, 0.0f, 0.0f};
    std::string hrtf;  // --hrtf: "default" or a SOFA file; "" for none
    int loops = 1;  // 0: without end
    bool loops_given = false;

    bool has_range = false;
    double range_start = 0.0;  // seconds
    double range_end = -1.0;   // seconds; below 0: to the end of the file

    bool has_master_volume = false;
    float master_volume = 1.0f;
    std::vector<EqBand> eq;
    float pitch = 0.0f;  // 0: no pitch shift

    int rate = 44100;
    int channels = 2;
    int frames = 2048;
    int buffers = 3;
    int device = -1;
    std::string device_name;  // --device NAME: looked up in the plug-in's listing
    std::string plug;         // --plug NAME: the only plug-in tried

    std::string out;      // render to this WAV file
    bool force = false;   // --out may replace an existing file
    std::string plugins;  // plug-in folder
};

// Fills options from argv. On a usage error returns false and puts a one-line
// reason into error.
bool parse_options(int argc, char **argv, Options &options, std::string &error);

// The --help text.
const char *usage_text();

}  // namespace zynplay
