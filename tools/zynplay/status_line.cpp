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

std::string format_clock(double seconds) {
    if (!(seconds >= 0.0)) seconds = 0.0;
    const auto ms = static_cast<long long>(std::llround(seconds * 1000.0));
    const long long h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, rest = ms % 1000;
    char text[48];
    if (h > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld", h, m, s, rest);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", m, s, rest);
    return text;
}

namespace {

std::string bar(double fraction, int cells, char full, char empty) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    int filled = static_cast<int>(fraction * cells + 0.5);
    return std::string(static_cast<size_t>(filled), full) + std::string(static_cast<size_t>(cells - filled), empty);
}

}  // namespace

std::string format_status(const StatusInfo &info, int width, bool *keys_shown) {
    std::string times = format_time(info.elapsed) + " / " + (info.total >= 0.0 ? format_time(info.total) : "--:--");
    std::string progress = info.total > 0.0 ? bar(info.elapsed / info.total, 16, '#', '-') : std::string(16, '~');
    // The meter spans 60 dB in 10 cells.
    const double meter_fraction = (info.level_db + 60.0) / 60.0;
    char level[16];
    if (info.level_db <= -60.0)
        std::snprintf(level, sizeof level, " -inf");
    else
        std::snprintf(level, sizeof level, "%5.1f", info.level_db);
    char volume[24];
    std::snprintf(volume, sizeof volume, "vol %d%%", static_cast<int>(std::lround(info.volume * 100.0f)));
    std::string output;
    if (info.latency_ms >= 0.0f) output += " lat " + std::to_string(std::lround(info.latency_ms)) + "ms";
    if (info.underruns >= 0) output += " underruns " + std::to_string(info.underruns);
    const std::string state = info.offline ? " OFFLINE" : info.paused ? " PAUSED" : info.muted ? " MUTED" : "";
    const std::string core = " " + times + " [" + progress + "] " + bar(meter_fraction, 10, '|', '.') + " " + level +
                             " dB " + volume + state + output;
    const std::string keys = std::string("  ") + (info.seekable ? kTrackKeyHelp : kKeyHelp);

    std::string name = info.file;
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    // The key help goes first when room is short, then the name is shortened.
    constexpr int kShortestName = 16;
    const int name_size = static_cast<int>(name.size());
    const bool show_keys =
        width - static_cast<int>(core.size() + keys.size()) >= std::min(name_size, kShortestName);
    const int room = std::max(4, width - static_cast<int>(core.size() + (show_keys ? keys.size() : 0)));
    if (name_size > room) name = name.substr(0, static_cast<size_t>(room - 3)) + "...";
    if (keys_shown != nullptr) *keys_shown = show_keys;
    std::string line = name + core + (show_keys ? keys : "");
    if (width > 0 && static_cast<int>(line.size()) > width) line.resize(static_cast<size_t>(width));
    return line;
}

}  // namespace zynplay
