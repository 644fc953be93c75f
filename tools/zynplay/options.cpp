#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zynplay {

namespace {

bool to_double(const std::string &text, double &value) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value);
}

bool to_int(const std::string &text, int &value) {
    if (text.empty()) return false;
    errno = 0;
    char *end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size()) return false;
    if (parsed < std::numeric_limits<int>::min() || parsed > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(parsed);
    return true;
}

// Splits "a:b:c" into its fields (empty fields kept).
std::vector<std::string> split_fields(const std::string &text) {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        size_t colon = text.find(':', from);
        fields.push_back(text.substr(from, colon == std::string::npos ? std::string::npos
                                                                        : colon - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    return fields;
}

struct Parser {
    Options &o;
    std::string &error;

    bool fail(const std::string &why) {
        error = why;
        return false;
    }

    bool number(const std::string &name, const std::string &text, double low, double high,
                double &value) {
        if (!to_double(text, value)) return fail(name + ": '" + text + "' is not a number");
        if (value < low || value > high)
            return fail(name + ": " + text + " is outside " + std::to_string(low).substr(0, 8) +
                        " .. " + std::to_string(high).substr(0, 8));
        return true;
    }

    bool integer(const std::string &name, const std::string &text, int low, int high, int &value) {
        if (!to_int(text, value)) return fail(name + ": '" + text + "' is not a whole number");
        if (value < low || value > high)
            return fail(name + ": " + text + " is outside " + std::to_string(low) + " .. " +
                        std::to_string(high));
        return true;
    }

    bool range(const std::string &text) {
        std::vector<std::string> f = split_fields(text);
        if (f.size() != 2) return fail("--range: expected START:END in seconds, got '" + text + "'");
        double start = 0.0, end = -1.0;
        if (!f[0].empty() && !number("--range start", f[0], 0.0, 1e7, start)) return false;
        if (!f[1].empty() && !number("--range end", f[1], 0.0, 1e7, end)) return false;
        if (end >= 0.0 && end <= start) return fail("--range: END must be after START in '" + text + "'");
        o.has_range = true;
        o.range_start = start;
        o.range_end = end;
        return true;
    }

    bool eq(const std::string &text) {
        std::vector<std::string> f = split_fields(text);
        if (f.size() != 3)
            return fail("--eq: expected FREQ:GAIN_DB:BANDWIDTH_OCT, got '" + text + "'");
        if (o.eq.size() >= 10) return fail("--eq: at most ten bands");
        double centre, gain, octaves;
        if (!number("--eq frequency", f[0], 1.0, 96000.0, centre)) return false;
        if (!number("--eq gain", f[1], -60.0, 60.0, gain)) return false;
        if (!number("--eq bandwidth", f[2], 0.01, 8.0, octaves)) return false;
        o.eq.push_back({static_cast<float>(centre), static_cast<float>(gain),
                        static_cast<float>(octaves)});
        return true;
    }

    bool option(const std::string &name, const std::string &value) {
        double d = 0.0;
        if (name == "--speed") {
            if (!number(name, value, -16383.0, 16383.0, d)) return false;
            if (d == 0.0) return fail("--speed: 0 would not move; use a negative speed to play backwards");
            o.speed = static_cast<float>(d);
        } else if (name == "--volume") {
            if (!number(name, value, 0.0, 2.0, d)) return false;
            o.volume = static_cast<float>(d);
        } else if (name == "--pan") {
            if (!number(name, value, -1.0, 1.0, d)) return false;
            o.pan = static_cast<float>(d);
        } else if (name == "--loops") {
            return integer(name, value, 0, 1000000, o.loops);
        } else if (name == "--range") {
            return range(value);
        } else if (name == "--master-volume") {
            if (!number(name, value, 0.0, 2.0, d)) return false;
            o.has_master_volume = true;
            o.master_volume = static_cast<float>(d);
        } else if (name == "--eq") {
            return eq(value);
        } else if (name == "--pitch") {
            if (!number(name, value, 0.125, 8.0, d)) return false;
            o.pitch = static_cast<float>(d);
        } else if (name == "--rate") {
            return integer(name, value, 4000, 192000, o.rate);
        } else if (name == "--channels") {
            return integer(name, value, 1, 2, o.channels);
        } else if (name == "--frames") {
            return integer(name, value, 64, 65536, o.frames);
        } else if (name == "--buffers") {
            return integer(name, value, 1, 64, o.buffers);
        } else if (name == "--device") {
            return integer(name, value, -1, 1024, o.device);
        } else if (name == "--out") {
            if (value.empty()) return fail("--out: empty file name");
            o.out = value;
        } else if (name == "--plugins") {
            if (value.empty()) return fail("--plugins: empty folder name");
            o.plugins = value;
        } else {
            return fail("unknown option '" + name + "' (see --help)");
        }
        return true;
    }
};

bool takes_value(const std::string &name) {
    static const char *const flags[] = {"--stream", "--info", "--help", "-h", "--version"};
    for (const char *flag : flags)
        if (name == flag) return false;
    return true;
}

}  // namespace

bool parse_options(int argc, char **argv, Options &options, std::string &error) {
    Parser parser{options, error};
    bool only_files = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (only_files || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_files = true;
            continue;
        }
        std::string name = arg, value;
        size_t equals = arg.find('=');
        bool inline_value = arg.rfind("--", 0) == 0 && equals != std::string::npos;
        if (inline_value) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (name == "--stream") options.stream = true;
        else if (name == "--info") options.info = true;
        else if (name == "--help" || name == "-h") options.help = true;
        else if (name == "--version") options.version = true;
        if (!takes_value(name)) {
            if (inline_value) return parser.fail(name + " takes no value");
            continue;
        }
        if (!inline_value) {
            if (i + 1 >= argc) return parser.fail(name + " needs a value (see --help)");
            value = argv[++i];
        }
        if (!parser.option(name, value)) return false;
    }
    if (options.help || options.version) return true;
    if (options.files.empty()) return parser.fail("no file given (see --help)");
    if (!options.out.empty() && options.loops == 0)
        return parser.fail("--loops 0 plays without end and cannot be rendered with --out");
    for (const EqBand &band : options.eq)
        if (band.centre >= options.rate / 2.0f)
            return parser.fail("--eq: " + std::to_string(static_cast<int>(band.centre)) +
                               " Hz is not below half the sample rate");
    return true;
}

const char *usage_text() {
    return
        "Usage: zynplay [OPTION]... FILE...\n"
        "Plays WAV, MP3 and Ogg Vorbis files one after another through the zyn sound engine,\n"
        "or renders them to a WAV file. The format is recognised from the file's content.\n"
        "\n"
        "Sound:\n"
        "  --speed X         playback speed factor (2 = twice as fast, negative = backwards)\n"
        "  --volume X        volume factor 0..2 (default 1)\n"
        "  --pan X           -1 (left) .. +1 (right), default 0\n"
        "  --loops N         passes to play (default 1, 0 = without end)\n"
        "  --range S:E       play only seconds S to E of each file (either may be empty)\n"
        "  --stream          play MP3 files through the engine's stream instead of loading\n"
        "                    them whole (speed, range, loops do not apply)\n"
        "Master stage (applies to the whole mix):\n"
        "  --master-volume X factor 0..2\n"
        "  --eq F:G:B        peaking band at F Hz, gain G dB (the centre receives twice G),\n"
        "                    bandwidth B octaves; repeat for up to ten bands\n"
        "  --pitch X         shift the pitch by factor X (2 = one octave up), 0.125..8;\n"
        "                    adds 1024 frames of delay\n"
        "Output:\n"
        "  --out FILE.wav    render to a WAV file as fast as the machine allows instead of\n"
        "                    playing (with --stream the render runs in real time)\n"
        "  --rate HZ         sample rate (default 44100)\n"
        "  --channels N      1 or 2 (default 2)\n"
        "  --frames N        frames per block (default 2048)\n"
        "  --buffers N       device buffers (default 3); latency = buffers x frames / rate\n"
        "  --device N        device number for plug-ins that have several (default -1)\n"
        "  --plugins DIR     folder of the output plug-ins (plug-*.so)\n"
        "Other:\n"
        "  --info            print the output device, the processor and each file's format\n"
        "                    and length, then end without playing\n"
        "  --help            this text\n"
        "  --version         the version\n"
        "\n"
        "Keys while playing in a terminal: space pause, m mute, + / - volume, n next file,\n"
        "q quit.\n"
        "When standard output is not a terminal, zynplay prints plain lines and reads no keys.\n"
        "\n"
        "Output plug-ins are tried in the order wav, pulse, alsa, null; the WAV writer is\n"
        "chosen when ZYN_WAV_OUT names a file (--out sets it). Without --plugins, zynplay\n"
        "uses <folder of zynplay>/lib/ when it exists, else the engine's own default.\n"
        "\n"
        "Exit status: 0 all files played, 1 usage error, 2 a file could not be played,\n"
        "3 no output device could be opened.\n";
}

}  // namespace zynplay
