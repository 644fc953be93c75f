#include "options.h"

#include "status_line.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <limits>
#include <sys/stat.h>

namespace zynplay {

namespace {

bool is_folder(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// 2 -> "2", 0.125 -> "0.125", 16383 -> "16383".
std::string plain_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

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
std::vector<std::string> split_fields(const std::string &text, char separator = ':') {
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        size_t colon = text.find(separator, from);
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
            return fail(name + ": " + text + " is outside " + plain_number(low) + " .. " + plain_number(high));
        return true;
    }

    // A time in seconds within low .. high, told back as clock times.
    bool seconds(const std::string &name, const std::string &text, double low, double high, double &value) {
        if (!to_double(text, value)) return fail(name + ": '" + text + "' is not a time in seconds");
        if (value < low || value > high)
            return fail(name + ": " + format_clock(value) + " is outside " + format_clock(low) + " .. " +
                        format_clock(high));
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
        if (!f[0].empty() && !seconds("--range start", f[0], 0.0, 1e7, start)) return false;
        if (!f[1].empty() && !seconds("--range end", f[1], 0.0, 1e7, end)) return false;
        if (end >= 0.0 && end <= start)
            return fail("--range: the end " + format_clock(end) + " is not after the start " + format_clock(start));
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

    bool position(const std::string &text) {
        const std::vector<std::string> f = split_fields(text, ',');
        if (f.size() != 3) return fail("--position: expected X,Y,Z in metres, got '" + text + "'");
        for (size_t i = 0; i < 3; ++i) {
            double v = 0.0;
            if (!number("--position", f[i], -1.0e6, 1.0e6, v)) return false;
            o.position[i] = static_cast<float>(v);
        }
        o.has_position = true;
        return true;
    }

    // The render goes to a WAV file; a name that promises anything else, or
    // a folder, would be a surprise afterwards.
    bool out(const std::string &value) {
        if (value.empty()) return fail("--out: empty file name");
        if (is_folder(value)) return fail("--out: '" + value + "' is a folder; name a .wav file");
        std::string ending = value.size() >= 4 ? value.substr(value.size() - 4) : "";
        for (char &c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ending != ".wav") return fail("--out: '" + value + "' does not end in .wav; zynplay renders WAV files only");
        o.out = value;
        return true;
    }

    bool option(const std::string &name, const std::string &value) {
        double d = 0.0;
        if (name == "--speed") {
            if (!number(name, value, -16383.0, 16383.0, d)) return false;
            if (d == 0.0) return fail("--speed: 0 would not move; use a negative speed to play backwards");
            o.speed = static_cast<float>(d);
            o.speed_given = true;
        } else if (name == "--volume") {
            if (!number(name, value, 0.0, 2.0, d)) return false;
            o.volume = static_cast<float>(d);
        } else if (name == "--pan") {
            if (!number(name, value, -1.0, 1.0, d)) return false;
            o.pan = static_cast<float>(d);
        } else if (name == "--position") {
            return position(value);
        } else if (name == "--loops") {
            o.loops_given = true;
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
            // A number is an entry of the listing; anything else a device's name.
            const bool number_given = !value.empty() && value.find_first_not_of("-0123456789") == std::string::npos;
            if (number_given) return integer(name, value, -1, 1024, o.device);
            if (value.empty()) return fail("--device: empty device name");
            o.device_name = value;
            o.device = -1;
        } else if (name == "--plug") {
            if (value.empty()) return fail("--plug: empty plug-in name");
            o.plug = value;
        } else if (name == "--out") {
            return out(value);
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
    static const char *const flags[] = {"--stream", "--info", "--list-devices", "--quiet", "-q",
                                        "--help",   "-h",     "--version",      "--force"};
    for (const char *flag : flags)
        if (name == flag) return false;
    return true;
}

// Negative numbers ("--speed -1") are values; "-q" or "--out" are not.
bool looks_like_option(const std::string &text) {
    if (text.size() < 2 || text[0] != '-') return false;
    return !(std::isdigit(static_cast<unsigned char>(text[1])) || text[1] == '.');
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
        else if (name == "--list-devices") options.list_devices = true;
        else if (name == "--quiet" || name == "-q") options.quiet = true;
        else if (name == "--help" || name == "-h") options.help = true;
        else if (name == "--version") options.version = true;
        else if (name == "--force") options.force = true;
        if (name == "--hrtf") {  // a flag, or --hrtf=FILE.sofa
            if (inline_value && value.empty()) return parser.fail("--hrtf=: empty file name");
            options.hrtf = inline_value ? value : "default";
            continue;
        }
        if (!takes_value(name)) {
            if (inline_value) return parser.fail(name + " takes no value");
            continue;
        }
        if (!inline_value) {
            if (i + 1 >= argc) return parser.fail(name + " needs a value (see --help)");
            value = argv[++i];
            // "--out --out x.wav" must not render into a file named --out.
            if (looks_like_option(value))
                return parser.fail(name + " needs a value, but got the option '" + value + "'");
        }
        if (!parser.option(name, value)) return false;
    }
    if (options.help || options.version || options.list_devices) return true;
    if (options.files.empty()) return parser.fail("no file given (see --help)");
    if (options.has_position && options.stream)
        return parser.fail("--position places sounds; a --stream track is not one");
    if (!options.hrtf.empty() && !options.has_position)
        return parser.fail("--hrtf renders a sound placed with --position");
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
        "Plays sound files (WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3) one after another through\n"
        "the zyn sound engine at their own level, or renders them to a WAV file. The format is\n"
        "recognised from the file's content.\n"
        "\n"
        "Sound:\n"
        "  --speed X         playback speed factor (2 = twice as fast, negative = backwards)\n"
        "  --volume X        volume factor 0..2 (default 1)\n"
        "  --pan X           -1 (left) .. +1 (right), default 0\n"
        "  --position X,Y,Z  place the sound in space, in metres (the listener stands at\n"
        "                    the origin facing -z, +x to the right, +y up): its distance\n"
        "                    lowers it (1 at 1 m, 1/2 at 2 m) and its side pans it,\n"
        "                    replacing --pan; not with --stream\n"
        "  --hrtf[=FILE]     hear a placed sound binaurally (for headphones) through the\n"
        "                    head-related responses of a SOFA file; without FILE, the set\n"
        "                    libmysofa installs\n"
        "  --loops N         passes to play (default 1, 0 = without end)\n"
        "  --range S:E       play only seconds S to E of each file (either may be empty)\n"
        "  --stream          play each file as a track, decoded while it plays instead of\n"
        "                    loaded whole (any format; speed does not apply; the left and\n"
        "                    right arrow keys seek 5 s)\n"
        "Master stage (applies to the whole mix):\n"
        "  --master-volume X factor 0..2\n"
        "  --eq F:G:B        peaking band at F Hz, gain G dB (the centre receives twice G),\n"
        "                    bandwidth B octaves; repeat for up to ten bands\n"
        "  --pitch X         shift the pitch by factor X (2 = one octave up), 0.125..8;\n"
        "                    adds 1024 frames of delay\n"
        "Output:\n"
        "  --out FILE.wav    render to a WAV file as fast as the machine allows instead of\n"
        "                    playing (the engine mixes into the file; no device opens); the\n"
        "                    name must end in .wav and must not be one of the files played. The\n"
        "                    render is written beside FILE.wav under a temporary name and\n"
        "                    takes its name only when complete: a run that fails, plays\n"
        "                    nothing or is interrupted leaves FILE.wav as it was\n"
        "  --force           let --out replace an existing file (without it, an existing\n"
        "                    FILE.wav is an error and stays untouched)\n"
        "  --rate HZ         sample rate (default 44100)\n"
        "  --channels N      1 or 2 (default 2)\n"
        "  --frames N        frames per block (default 2048)\n"
        "  --buffers N       device buffers (default 3); latency = buffers x frames / rate,\n"
        "                    139 ms by default, 17 ms with --frames 256\n"
        "  --plug NAME       the output plug-in to use, by its name (pulse, alsa, null,\n"
        "                    wav, or any other plug-NAME.so; also as --list-devices or\n"
        "                    --info shows it); the others are not tried\n"
        "  --device N|NAME   device N of the plug-in's listing (0 = its default; default\n"
        "                    -1, the default device), or the device of that name; only\n"
        "                    that plug-in is tried, and a device it cannot open (gone,\n"
        "                    or never there) is an error\n"
        "  --plugins DIR     folder of the output plug-ins (plug-*.so)\n"
        "Other:\n"
        "  --info            print the output device, the processor and each file's format\n"
        "                    and length (from its header: nothing is decoded), then end\n"
        "                    without playing\n"
        "  --list-devices    list the plug-ins and the devices each can open now (without\n"
        "                    opening any), then end\n"
        "  -q, --quiet       print no progress or status line (complaints still go to stderr)\n"
        "  --help            this text\n"
        "  --version         the version\n"
        "\n"
        "Keys while playing in a terminal: space pause, m mute, + / - volume (volume and\n"
        "mute carry on to the next file), n next file, q quit (a render keeps what it has\n"
        "so far). Keys pressed while a file is being opened wait for it.\n"
        "Without a sound device zynplay plays to the silent output (real-time, no sound) and\n"
        "says so on stderr.\n"
        "When standard output is not a terminal, zynplay prints plain lines and reads no keys.\n"
        "\n"
        "Output plug-ins are tried in the order wav, pulse, alsa, null, then any other\n"
        "plug-*.so by name; the WAV writer is chosen when ZYN_WAV_OUT names a file. --out\n"
        "renders on zynplay's own thread and uses no plug-in. Without --plugins, zynplay\n"
        "uses <folder of zynplay>/lib/ when it exists, else the engine's own default. In a\n"
        "terminal the status line shows the output's latency and how often the device ran\n"
        "dry (underruns); OFFLINE while the device is gone (the engine plays on silently\n"
        "and comes back by itself).\n"
        "\n"
        "Exit status: 0 all files played, 1 usage error (also an --out file that is one of\n"
        "the files, or that exists without --force), 2 a file could not be played, 3 the\n"
        "output (a device, or the --out file) could not be opened or written, 130 interrupted\n"
        "(Ctrl+C), 143 ended by SIGTERM. Any other signal that ends zynplay puts the terminal\n"
        "back as it was and removes a half-written render first.\n";
}

}  // namespace zynplay
