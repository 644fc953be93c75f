#include "player.h"

#include "master_tap.h"
#include "status_line.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zynplay {

namespace {

std::atomic<bool> interrupted{false};
std::atomic<bool> quit{false};

void on_interrupt(int) {
    interrupted.store(true);
    // A second Ctrl+C ends the program the usual way.
    std::signal(SIGINT, SIG_DFL);
}

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string executable_folder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return "";
    std::string text(path, static_cast<size_t>(n));
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

bool is_directory(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool file_exists(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

int terminal_width() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
    return 80;
}

void report(const std::string &subject, const std::string &why) {
    std::fprintf(stderr, "zynplay: %s%s%s\n", subject.c_str(), subject.empty() ? "" : ": ", why.c_str());
}

// The silent output: a real-time clock without a device.
bool on_null_output() { return std::strcmp(ZYN_GET_PLUGNAME(), "Null output") == 0; }

}  // namespace

std::string choose_plugin_folder(const Options &options) {
    std::string folder;
    if (!options.plugins.empty()) {
        folder = options.plugins;
        if (folder.back() != '/') folder += '/';
        ZYN_SET_PLUGPATH(folder.c_str());
        return folder;
    }
    // In the build tree the plug-ins sit in lib/ next to zynplay; an
    // installed zynplay leaves the choice to the engine.
    std::string beside = executable_folder() + "lib/";
    if (is_directory(beside)) ZYN_SET_PLUGPATH(beside.c_str());
    return ZYN_GET_PLUGPATH();
}

int count_plugin_files(const std::string &folder) {
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return 0;
    int count = 0;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("plug-", 0) == 0 && name.size() > 8 && name.compare(name.size() - 3, 3, ".so") == 0) ++count;
    }
    closedir(dir);
    return count;
}

ExitCode list_devices(const Options &options) {
    // The WAV writer would take every device number: it is not a device.
    unsetenv("ZYN_WAV_OUT");
    const std::string folder = choose_plugin_folder(options);
    if (ZYN_INIT(options.rate, options.channels, options.buffers, options.frames, -1) != 1 &&
        ZYN_GET_PLUGNAME()[0] == '\0') {
        report("no output device", "no output plug-in could be loaded from " +
                                       (folder.empty() ? std::string("the default folder") : folder));
        ZYN_EXIT();
        return exit_device;
    }
    std::printf("Plug-ins: %d usable now of %d in %s\n", ZYN_GET_NUMOFPLUGOUTS(), count_plugin_files(folder),
                folder.c_str());
    std::printf("  --device -1 (default): %s, %s\n", ZYN_GET_PLUGNAME(), ZYN_GET_PLUGDEVICE());
    // Each number goes to the first plug-in that opens it; the silent output
    // takes any number, so the first one that lands there ends the list.
    for (int device = 0; device < 32; ++device) {
        if (ZYN_INIT(options.rate, options.channels, options.buffers, options.frames, device) != 1 ||
            on_null_output())
            break;
        std::printf("  --device %d: %s, %s\n", device, ZYN_GET_PLUGNAME(), ZYN_GET_PLUGDEVICE());
    }
    std::printf("  (the silent output, %s, stands in when no device opens)\n", "Null output");
    ZYN_EXIT();
    return exit_ok;
}

bool Player::was_interrupted() { return interrupted.load(); }

void watch_interrupts() {
    struct sigaction action{};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

struct Player::Transport {
    bool stream = false;
    std::string file;
    int32_t wave = -1;
    int32_t sound = -1;
    int32_t initial_loops = 1;
    float speed = 1.0f;
    float volume = 1.0f;
    bool paused = false;
    bool muted = false;
    double total = -1.0;        // seconds, below 0 when unknown
    double stream_start = 0.0;  // engine play time when the stream began
    double elapsed = 0.0;
    bool skip = false;          // n: on to the next file
};

Player::Player(const Options &options) : options_(options) {
    rendering_ = !options.out.empty();
    interactive_ = isatty(STDOUT_FILENO) == 1;
}

Player::~Player() { close(); }

bool Player::quit_requested() const { return quit.load() || interrupted.load(); }

ExitCode Player::open() {
    if (rendering_) {
        // The WAV writer takes its file from the environment when it opens.
        unlink(options_.out.c_str());
        setenv("ZYN_WAV_OUT", options_.out.c_str(), 1);
        // A stream decodes only a few blocks ahead, so it is rendered at the
        // device's own pace; loaded waves render as fast as the mixer runs.
        setenv("ZYN_WAV_REALTIME", options_.stream ? "1" : "0", 1);
    }
    plug_folder_ = choose_plugin_folder(options_);

    int32_t started = ZYN_INIT(options_.rate, options_.channels, options_.buffers, options_.frames,
                               options_.device);
    const std::string name = ZYN_GET_PLUGNAME();
    if (started != 1) {
        char why[256];
        if (!name.empty())
            std::snprintf(why, sizeof why, "the %s output opened but did not start%s%s", name.c_str(),
                          *ZYN_GET_PLUGERROR() ? ": " : "", ZYN_GET_PLUGERROR());
        else if (ZYN_GET_NUMOFPLUGOUTS() == 0)
            std::snprintf(why, sizeof why, "no output plug-in could be loaded from %s",
                          plug_folder_.empty() ? "the default folder" : plug_folder_.c_str());
        else
            std::snprintf(why, sizeof why, "no output plug-in accepted %d Hz, %d channel(s), %d frames x %d buffers",
                          options_.rate, options_.channels, options_.frames, options_.buffers);
        report("no output device", why);
        ZYN_EXIT();
        if (rendering_) unlink(options_.out.c_str());
        return exit_device;
    }
    if (!rendering_ && on_null_output()) {
        if (options_.device >= 0) {
            report("no output device", "--device " + std::to_string(options_.device) +
                                           " does not exist (no plug-in opens it; see --list-devices)");
            ZYN_EXIT();
            return exit_device;
        }
        if (!options_.info) report("", "no sound device found: playing to the silent output");
    }
    opened_ = true;
    if (rendering_ && !file_exists(options_.out)) {
        report("no output device", "the WAV writer (plug-wav.so) did not open " + options_.out +
                                       " (output went to " + name + ")");
        close();
        unlink(options_.out.c_str());
        return exit_device;
    }
    writer_open_ = rendering_;
    rate_ = ZYN_GET_PLUGRATE();
    channels_ = ZYN_GET_PLUGCHANNELS();
    block_bytes_ = ZYN_GET_PLUGBUFFERSIZE();
    if (rendering_) {
        // Hold output until the first sound is ready; it restarts the file then.
        ZYN_STOP();
        output_restart_pending_ = true;
    }
    if (options_.has_master_volume) ZYN_SET_MASTERVOLUME(options_.master_volume);
    for (size_t i = 0; i < options_.eq.size(); ++i) {
        const EqBand &band = options_.eq[i];
        ZYN_SET_MASTERFILTER(static_cast<int32_t>(i), band.centre, band.gain_db, band.octaves, 1);
    }
    install_master_tap(options_.pitch);
    return exit_ok;
}

void Player::start_output() {
    if (!rendering_) return;
    run_first_ = blocks_out();
    if (output_restart_pending_) {
        // Reopening the writer starts the file afresh, so the silence mixed
        // before the first sound was ready never reaches it.
        output_restart_pending_ = false;
        reset_blocks_out();
        run_first_ = 0;
        ZYN_INIT(options_.rate, options_.channels, options_.buffers, options_.frames, options_.device);
    } else {
        ZYN_START();
    }
}

// Ends one item of a render: lets the block that ended it (and tail_blocks
// more) reach the file, stops output and notes which blocks to keep.
void Player::finish_render(bool finished, int tail_blocks) {
    int64_t last = blocks_out();
    if (finished && end_block() >= 0) {
        last = end_block() + 1 + tail_blocks;
        const Clock::time_point start = Clock::now();
        const double patience = 2.0 + (tail_blocks + 1.0) * options_.frames / std::max(rate_, 1);
        while (blocks_out() < last + 1 && ZYN_GET_PLUGRUNNING() == 1 && seconds_since(start) < patience)
            sleep_ms(1);
    }
    ZYN_STOP();
    watch_nothing();
    last = std::min(last, blocks_out());
    if (last > run_first_) runs_.push_back({run_first_, last});
}

ExitCode Player::print_info() {
    std::printf("Output:     %s on %s\n", ZYN_GET_PLUGNAME(), ZYN_GET_PLUGDEVICE());
    std::printf("Format:     %d Hz, %d channel(s), %d-bit %s\n", rate_, channels_, ZYN_GET_PLUGBITS(),
                ZYN_GET_PLUGSIGNED() ? "signed" : "unsigned");
    const int32_t frames = ZYN_GET_PLUGFRAMES(), buffers = ZYN_GET_PLUGBUFFERS();
    std::printf("Block:      %d frames (%d bytes), %d buffers, latency %.1f ms\n", frames, block_bytes_, buffers,
                rate_ > 0 ? 1000.0 * buffers * frames / rate_ : 0.0);
    std::printf("Plug-ins:   %d usable now of %d in %s\n", ZYN_GET_NUMOFPLUGOUTS(),
                count_plugin_files(plug_folder_), plug_folder_.c_str());
    struct Feature {
        const char *name;
        int32_t (*query)(void);
    };
    const Feature features[] = {{"fpu", ISFPU},   {"tsc", ISTSC},       {"cmov", ISCMOV},
                                {"mmx", ISMMX},   {"mmx2", ISMMX2},     {"sse", ISSSE},
                                {"sse2", ISSSE2}, {"3dnow", IS3DNOW},   {"3dnow2", IS3DNOW2}};
    std::string present;
    for (const Feature &feature : features)
        if (feature.query() == 1) present += std::string(present.empty() ? "" : " ") + feature.name;
    std::printf("Processor:  %s; %d MHz\n", present.empty() ? "(none)" : present.c_str(), MHZ());
    std::fflush(stdout);

    // From the headers alone: nothing is decoded.
    ExitCode result = exit_ok;
    for (const std::string &path : options_.files) {
        MediaProbe probe = probe_media(path);
        if (!probe.known) {
            report(path, probe.problem);
            result = exit_file;
            continue;
        }
        if (probe.seconds >= 0.0)
            std::printf("%s: %s; %.3f s\n", path.c_str(), probe.description.c_str(), probe.seconds);
        else
            std::printf("%s: %s; length unknown\n", path.c_str(), probe.description.c_str());
    }
    return result;
}

ExitCode Player::play(const std::string &path) {
    // The header only names the file in the progress lines; the engine's
    // loader decides what plays.
    MediaProbe probe = probe_media(path);
    if (options_.stream) {
        if (probe.mpeg) return play_stream(path, probe);
        report(path, "--stream plays MP3 files only; this one is loaded whole");
    }
    return play_wave(path, probe);
}

ExitCode Player::play_wave(const std::string &path, const MediaProbe &probe) {
    Transport t;
    t.file = path;
    if (ZYN_LOAD_FILE(path.c_str(), &t.wave) != 1) {
        report("", ZYN_GET_LASTERROR());
        return exit_file;
    }
    int16_t *wave_start = nullptr, *wave_end = nullptr;
    int32_t wave_channels = 0;
    ZYN_GET_WAVEPOINTERS(t.wave, &wave_start, &wave_end, &wave_channels);
    const int64_t channels = std::max<int32_t>(wave_channels, 1);
    const int64_t wave_frames = (wave_end - wave_start) / channels;

    int64_t first = 0, last = wave_frames;  // played frames [first, last)
    if (options_.has_range) {
        first = std::llround(options_.range_start * rate_);
        if (options_.range_end >= 0.0) last = std::min<int64_t>(last, std::llround(options_.range_end * rate_));
        if (first >= last) {
            report(path, "--range starts at " + format_clock(options_.range_start) +
                             ", at or after the end of the file (" +
                             format_clock(static_cast<double>(wave_frames) / rate_) + " long)");
            ZYN_DESTROY_WAVE(&t.wave);
            return exit_file;
        }
    }
    if (ZYN_CREATE_SOUND(t.wave, &t.sound) != 1) {
        report(path, "the engine could not make a sound for it");
        ZYN_DESTROY_WAVE(&t.wave);
        return exit_file;
    }
    t.speed = options_.speed;
    t.volume = options_.volume;
    ZYN_SET_SOUNDSPEED(t.sound, t.speed);
    ZYN_SET_SOUNDVOLUME(t.sound, t.volume);
    ZYN_SET_SOUNDPAN(t.sound, options_.pan);
    int16_t *range_start = wave_start + first * channels;
    int16_t *range_end = wave_start + last * channels;
    // Backwards play starts at the last frame: from the first it would wrap
    // at once and spend a pass.
    int16_t *position = t.speed < 0.0f ? range_end - channels : range_start;
    ZYN_SET_SOUNDPOINTERS(t.sound, range_start, position, range_end);
    t.initial_loops = options_.loops == 0 ? ZYN_LOOP_FOREVER : options_.loops;
    const double pass = static_cast<double>(last - first) / rate_ / std::fabs(t.speed);
    t.total = options_.loops == 0 ? -1.0 : pass * t.initial_loops;

    if (chatty())
        std::printf("Playing %s (%s, %s)\n", path.c_str(), probe.known ? probe.description.c_str() : "audio",
                    t.total >= 0.0 ? format_time(t.total).c_str() : "without end");
    std::fflush(stdout);
    // The sound is complete before it is given loops: the mixer never sees it half set.
    ZYN_SET_SOUNDLOOPS(t.sound, options_.loops == 0 ? -1 : options_.loops);
    watch_sound(t.sound);
    start_output();
    played_anything_ = true;
    bool finished = run_until_done(t);
    if (rendering_) {
        // The pitch shifter still holds one frame of the sound.
        int tail = options_.pitch > 0.0f ? (1024 + options_.frames - 1) / options_.frames : 0;
        finish_render(finished, tail);
        rendered_seconds_ += t.elapsed;
    }
    ZYN_DESTROY_WAVE(&t.wave);
    if (chatty() && finished) std::printf("Finished %s\n", path.c_str());
    std::fflush(stdout);
    return exit_ok;
}

ExitCode Player::play_stream(const std::string &path, const MediaProbe &probe) {
    Transport t;
    t.stream = true;
    t.file = path;
    t.volume = options_.volume;
    t.total = probe.seconds;
    if (options_.speed_given || options_.has_range || options_.loops_given) {
        std::string ignored;
        for (const auto &[given, name] : {std::pair{options_.speed_given, "--speed"},
                                          std::pair{options_.has_range, "--range"},
                                          std::pair{options_.loops_given, "--loops"}})
            if (given) ignored += std::string(ignored.empty() ? "" : ", ") + name;
        report(path, ignored + " do(es) not apply to a stream; it plays once at speed 1");
    }
    if (ZYN_CREATE_MP3STREAM(path.c_str()) != 1) {
        report(path, "the stream could not be opened");
        return exit_file;
    }
    if (chatty())
        std::printf("Streaming %s (%s, %s)\n", path.c_str(), probe.description.c_str(),
                    format_time(t.total).c_str());
    std::fflush(stdout);
    watch_stream();
    if (ZYN_PLAY_MP3STREAM(t.volume, options_.pan) != 1) {
        ZYN_END_MP3STREAM();
        report(path, "the stream could not be started");
        return exit_file;
    }
    start_output();
    played_anything_ = true;
    t.stream_start = ZYN_GET_PLAYTIME();
    bool finished = run_until_done(t);
    if (rendering_) {
        finish_render(finished, options_.pitch > 0.0f ? (1024 + options_.frames - 1) / options_.frames : 0);
        rendered_seconds_ += t.elapsed;
    }
    ZYN_END_MP3STREAM();
    if (finished && t.elapsed <= 0.0) {
        report(path, "no MPEG audio could be decoded from it");
        return exit_file;
    }
    if (chatty() && finished) std::printf("Finished %s\n", path.c_str());
    std::fflush(stdout);
    return exit_ok;
}

// Follows the playing item until it ends (true) or the user quits (false).
bool Player::run_until_done(Transport &t) {
    const int tick_ms = rendering_ ? 5 : interactive_ ? 40 : 50;
    LevelMeter meter;
    Clock::time_point last_tick = Clock::now(), last_draw = Clock::now() - std::chrono::seconds(1);
    const Clock::time_point began = Clock::now();
    bool stream_began = false;
    Clock::time_point stopped_since = Clock::now();
    for (;;) {
        if (interactive_)
            for (int32_t key = ZYN_GET_KEYCODE(); key != 0; key = ZYN_GET_KEYCODE()) handle_key(key, t);
        if (quit_requested() || t.skip) {
            if (interactive_ && !options_.quiet) draw_status(t, true);
            return false;
        }
        const double dt = seconds_since(last_tick);
        last_tick = Clock::now();
        meter_db_ = meter.update(take_peak(), dt);

        bool ended = false;
        if (t.stream) {
            const bool playing = ZYN_GET_PLAYINGSTREAMS() == 1;
            if (playing) stream_began = true;
            if (!t.paused) t.elapsed = std::max(0.0, ZYN_GET_PLAYTIME() - t.stream_start);
            ended = stream_began && !playing && !t.paused;
            // A file that passes for MPEG audio but decodes to nothing never begins.
            if (!stream_began && !t.paused && seconds_since(began) > 5.0) {
                t.elapsed = 0.0;
                ended = true;
            }
        } else {
            int16_t *loop_start = nullptr, *position = nullptr, *loop_end = nullptr;
            int32_t loops = 0;
            ZYN_GET_SOUNDPOINTERS(t.sound, &loop_start, &position, &loop_end);
            ZYN_GET_SOUNDLOOPS(t.sound, &loops);
            const double span = static_cast<double>(loop_end - loop_start);
            double fraction = 0.0;
            if (span > 0.0)
                fraction = (t.speed < 0.0f ? loop_end - position : position - loop_start) / span;
            fraction = std::clamp(fraction, 0.0, 1.0);
            const double pass = span / channels_ / rate_ / std::fabs(t.speed);
            const double passes_done = static_cast<double>(t.initial_loops) - loops;
            // A render ends on the block the output thread saw the sound end
            // in; that note follows the loop count within one fill.
            if (loops != 0) stopped_since = Clock::now();
            ended = loops == 0 && (!rendering_ || end_block() >= 0 || seconds_since(stopped_since) > 1.0);
            t.elapsed = ended && t.total >= 0.0 ? t.total : (passes_done + fraction) * pass;
        }
        if (ended) {
            if (interactive_ && !options_.quiet) draw_status(t, true);
            return true;
        }
        if (interactive_ && !options_.quiet && seconds_since(last_draw) >= 0.04) {
            draw_status(t, false);
            last_draw = Clock::now();
        }
        sleep_ms(tick_ms);
    }
}

void Player::handle_key(int32_t key, Transport &t) {
    switch (key) {
        case 'q':
        case 'Q':
        case 27:
            quit.store(true);
            break;
        case 'n':
        case 'N':
            t.skip = true;
            if (t.paused && t.stream) ZYN_START();
            break;
        case ' ':
            t.paused = !t.paused;
            if (t.stream) {
                // The stream has no pause of its own: hold the output instead.
                if (t.paused) ZYN_STOP();
                else ZYN_START();
                if (!t.paused) t.stream_start = ZYN_GET_PLAYTIME() - t.elapsed;
            } else {
                ZYN_SET_SOUNDPAUSED(t.sound, t.paused ? 1 : 0);
            }
            break;
        case 'm':
        case 'M':
            t.muted = !t.muted;
            if (t.stream) ZYN_SET_STREAMVOLUME(t.muted ? 0.0f : t.volume);
            else ZYN_SET_SOUNDMUTED(t.sound, t.muted ? 1 : 0);
            break;
        case '+':
        case '=':
        case '-':
        case '_': {
            const float step = (key == '+' || key == '=') ? 0.1f : -0.1f;
            t.volume = std::clamp(std::round((t.volume + step) * 10.0f) / 10.0f, 0.0f, 2.0f);
            if (t.stream) {
                if (!t.muted) ZYN_SET_STREAMVOLUME(t.volume);
            } else {
                ZYN_SET_SOUNDVOLUME(t.sound, t.volume);
            }
            break;
        }
        default:
            break;
    }
}

void Player::draw_status(Transport &t, bool final_line) {
    StatusInfo info;
    info.file = t.file;
    info.elapsed = t.elapsed;
    info.total = t.total;
    info.level_db = meter_db_;
    info.volume = t.volume;
    info.paused = t.paused;
    info.muted = t.muted;
    const int width = terminal_width() - 1;
    bool keys_shown = false;
    std::string line = format_status(info, width, &keys_shown);
    if (!keys_shown && !keys_told_) {
        // A narrow terminal: the keys are told once, above the line.
        std::printf("\rKeys: %s\n", kKeyHelp);
        keys_told_ = true;
    }
    line.resize(static_cast<size_t>(width), ' ');
    std::printf("\r%s%s", line.c_str(), final_line ? "\n" : "");
    std::fflush(stdout);
}

void Player::close() {
    if (!opened_) return;
    opened_ = false;
    if (!rendering_ && played_anything_ && !interrupted.load() && !quit.load()) {
        // Let the device play out what it still holds (and the shifter's delay).
        double latency = static_cast<double>(ZYN_GET_PLUGBUFFERS()) * ZYN_GET_PLUGFRAMES() / std::max(rate_, 1);
        if (options_.pitch > 0.0f) latency += 1024.0 / std::max(rate_, 1);
        sleep_ms(static_cast<int>(latency * 1000.0) + 20);
    }
    ZYN_EXIT();
    if (writer_open_) {
        std::string why;
        // A run that played nothing leaves no empty WAV file behind.
        if (!played_anything_) unlink(options_.out.c_str());
        else if (!keep_block_runs(options_.out, block_bytes_, runs_, why)) report(options_.out, why);
    }
    if (rendering_ && played_anything_ && chatty())
        std::printf("Rendered %s to %s\n", format_time(rendered_seconds_).c_str(), options_.out.c_str());
}

}  // namespace zynplay
