// The one-line display of what is playing, redrawn in place on a terminal.
#pragma once

#include <string>

namespace zynplay {

struct StatusInfo {
    std::string file;
    double elapsed = 0.0;  // seconds
    double total = -1.0;   // seconds; below 0 when unknown (endless loops, streams)
    double level_db = -90.0;
    float volume = 1.0f;
    bool paused = false;
    bool muted = false;
};

// The text of the line, at most width columns, without \r or newline.
std::string format_status(const StatusInfo &info, int width);

// "m:ss.t"
std::string format_time(double seconds);

}  // namespace zynplay
