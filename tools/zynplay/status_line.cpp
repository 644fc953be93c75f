#include "status_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zynplay {

std::string format_time(double seconds) {
    if (!(seconds >= 0.0)) seconds = 0.0;
    long tenths = std::lround(seconds * 10.0);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, (tenths / 10) % 60, tenths % 10);
    return text;
}

namespace {

std::string bar(double fraction, int cells, char full, char empty) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    int filled = static_cast<int>(fraction * cells + 0.5);
    return std::string(static_cast<size_t>(filled), full) + std::string(static_cast<size_t>(cells - filled), empty);
}

}  // namespace

std::string format_status(const StatusInfo &info, int width) {
    std::string times = format_time(info.elapsed) + " / " + (info.total >= 0.0 ? format_time(info.total) : "--:--");
    std::string progress = info.total > 0.0 ? bar(info.elapsed / info.total, 20, '#', '-') : std::string(20, '?');
    // The meter shows 60 dB in 10 cells.
    double meter_fraction = (info.level_db + 60.0) / 60.0;
    char level[32];
    if (info.level_db <= -60.0)
        std::snprintf(level, sizeof level, " -inf dB");
    else
        std::snprintf(level, sizeof level, "%5.1f dB", info.level_db);
    char volume[24];
    std::snprintf(volume, sizeof volume, "vol %3d%%", static_cast<int>(std::lround(info.volume * 100.0f)));
    std::string state = info.paused ? " PAUSED" : info.muted ? " MUTED" : "";
    std::string tail = " " + times + " [" + progress + "] |" + bar(meter_fraction, 10, '=', ' ') + "| " +
                       level + " " + volume + state + "  space:pause m:mute +/-:vol q:quit";
    int room = width - static_cast<int>(tail.size());
    std::string name = info.file;
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    if (room < 8) {
        // Narrow terminals: drop the key help before the name.
        size_t keys = tail.find("  space:");
        tail = tail.substr(0, keys);
        room = width - static_cast<int>(tail.size());
    }
    if (room < 4) room = 4;
    if (static_cast<int>(name.size()) > room) name = name.substr(0, static_cast<size_t>(room - 3)) + "...";
    std::string line = name + tail;
    if (static_cast<int>(line.size()) > width && width > 0) line.resize(static_cast<size_t>(width));
    return line;
}

}  // namespace zynplay
