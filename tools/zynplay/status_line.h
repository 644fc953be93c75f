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
    bool seekable = false;  // a track: the arrow keys seek
    float latency_ms = -1.0f;  // from mix to sound; below 0 when not known
    long long underruns = -1;  // times the device ran dry; below 0 when not known
    bool offline = false;      // the device is gone (output goes on silently)
};

// The key help zynplay shows with the line.
constexpr const char *kKeyHelp = "space:pause m:mute +/-:vol n:next q:quit";
constexpr const char *kTrackKeyHelp = "space:pause m:mute +/-:vol left/right:seek n:next q:quit";

// The text of the line, at most width columns, without \r or newline. The key
// help ends the line when there is room; *keys_shown (may be null) says so.
std::string format_status(const StatusInfo &info, int width, bool *keys_shown = nullptr);

// "m:ss.t"
std::string format_time(double seconds);

// "m:ss.mmm", or "h:mm:ss.mmm" from an hour on: times in messages.
std::string format_clock(double seconds);

}  // namespace zynplay
