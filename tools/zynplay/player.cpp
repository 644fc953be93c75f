#include "player.h"

#include "exit_signals.h"
#include "master_tap.h"
#include "status_line.h"
#include "zyn.h"
#include "zyn_kernels.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zynplay {

namespace {

using Clock = std::chrono::steady_clock;

// Extended key codes of the terminal's arrow keys (ZYN_GET_KEYCODE).
constexpr int32_t kKeyLeft = 256 + 75;
constexpr int32_t kKeyRight = 256 + 77;
constexpr double kSeekSeconds = 5.0;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Blocks that hold the pitch shifter's delay of 1024 frames after a sound.
int pitch_tail_blocks(float pitch) {
    const int32_t frames = std::max(ZYN_GET_PLUGFRAMES(), 1);
    return pitch > 0.0f ? (1024 + frames - 1) / frames : 0;
}

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

std::vector<std::string> plugin_files(const std::string &folder) {
    static const char *const kKnown[] = {"plug-wav.so", "plug-pulse.so", "plug-alsa.so", "plug-null.so"};
    std::vector<std::string> known, others;
    DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return known;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("plug-", 0) != 0 || name.size() <= 8 || name.compare(name.size() - 3, 3, ".so") != 0) continue;
        if (std::find(std::begin(kKnown), std::end(kKnown), name) == std::end(kKnown)) others.push_back(name);
    }
    closedir(dir);
    // The engine's order: the known names first, the others by name.
    for (const char *name : kKnown)
        if (access((folder + name).c_str(), F_OK) == 0) known.push_back(name);
    std::sort(others.begin(), others.end());
    known.insert(known.end(), others.begin(), others.end());
    return known;
}

int count_plugin_files(const std::string &folder) { return static_cast<int>(plugin_files(folder).size()); }

namespace {

// Why the engine left a plug-in file out, from the reason it gives for a
// name it has no plug-in for: "...; left out: plug-x.so: why; plug-y.so: ...)".
std::string why_left_out(const std::string &file) {
    const std::string text = ZYN_GET_LASTERROR();
    const size_t list = text.find("left out: ");
    const size_t at = list == std::string::npos ? list : text.find(file + ": ", list);
    if (at == std::string::npos) return "";
    const size_t from = at + file.size() + 2;
    size_t to = text.find("; plug-", from);
    if (to == std::string::npos) to = text.size() - 1;  // the closing parenthesis
    return text.substr(from, to - from);
}

}  // namespace

ExitCode list_devices(const Options &options) {
    const std::string folder = choose_plugin_folder(options);
    const std::vector<std::string> files = plugin_files(folder);
    if (files.empty()) {
        report("no output device", "no output plug-in in " +
                                       (folder.empty() ? std::string("the default folder") : folder));
        return exit_device;
    }
    std::printf("Plug-ins in %s, tried in this order (--plug NAME uses one, --device N|NAME a device of it):\n",
                folder.c_str());
    for (const std::string &file : files) {
        const std::string name = file.substr(5, file.size() - 8);
        ZYN_SET_PLUGNAME(file.c_str());
        const int32_t count = ZYN_GET_NUMOFDEVICES();
        if (count < 1) {
            const std::string why = why_left_out(file);
            std::printf("  %s (%s): not usable now%s%s\n", name.c_str(), file.c_str(), why.empty() ? "" : ": ",
                        why.c_str());
            continue;
        }
        std::printf("  %s (%s)\n", name.c_str(), file.c_str());
        for (int32_t i = 0; i < count; ++i) std::printf("    --device %-3d %s\n", i, ZYN_GET_DEVICENAME(i));
    }
    ZYN_SET_PLUGNAME(nullptr);
    ZYN_EXIT();
    return exit_ok;
}

struct Player::Transport {
    std::string file;
    int32_t wave = -1;
    int32_t sound = -1;
    int32_t track = -1;        // a track instead of a sound (--stream)
    int32_t track_rate = 0;    // the track's file's own rate
    int64_t first = 0;         // a track's pass in its file's frames: [first, last)
    int64_t last = -1;         // -1: to the end, of a length the header does not give
    int64_t position = 0;      // where the track stood at the last look
    int64_t passes_done = 0;   // of a looping track
    int32_t initial_loops = 1;
    float speed = 1.0f;
    bool paused = false;
    double total = -1.0;        // seconds, below 0 when unknown
    double elapsed = 0.0;
    bool skip = false;          // n: on to the next file
};

Player::Player(const Options &options) : options_(options) {
    rendering_ = !options.out.empty();
    interactive_ = isatty(STDOUT_FILENO) == 1;
    volume_ = options.volume;
}

Player::~Player() { close(); }

bool Player::quit_requested() const {
    return quit_ || keys_.quit_pressed() || stop_request() != StopRequest::none;
}

ExitCode Player::open() {
    // From now on a key waits for the player instead of echoing on the screen.
    if (interactive_ && !options_.info) keys_.start();
    plug_folder_ = choose_plugin_folder(options_);
    const ExitCode opened = rendering_ ? open_render() : open_device();
    if (opened != exit_ok) return opened;
    rate_ = ZYN_GET_PLUGRATE();
    channels_ = ZYN_GET_PLUGCHANNELS();
    block_bytes_ = ZYN_GET_PLUGBUFFERSIZE();
    if (options_.has_master_volume) ZYN_SET_MASTERVOLUME(options_.master_volume);
    for (size_t i = 0; i < options_.eq.size(); ++i) {
        const EqBand &band = options_.eq[i];
        ZYN_SET_MASTERFILTER(static_cast<int32_t>(i), band.centre, band.gain_db, band.octaves, 1);
    }
    install_master_tap(options_.pitch);
    if (!options_.hrtf.empty() && ZYN_SET_HRTF(options_.hrtf.c_str()) != 1) {
        report("--hrtf", ZYN_GET_LASTERROR());
        return exit_usage;
    }
    return exit_ok;
}

// --out: the engine mixes on this thread (ZYN_RENDER), block by block, into
// the render's temporary file; no device and no plug-in take part.
ExitCode Player::open_render() {
    target_ = std::make_unique<RenderTarget>(options_.out, options_.force);
    std::string why;
    if (!target_->create(why)) {
        report(options_.out, why);
        return exit_device;
    }
    if (ZYN_INIT_RENDER(options_.rate, options_.channels, options_.frames) != 1) {
        report("cannot render", ZYN_GET_LASTERROR());
        target_->discard();
        return exit_device;
    }
    opened_ = true;
    if (!writer_.open(target_->temporary(), ZYN_GET_PLUGRATE(), ZYN_GET_PLUGCHANNELS(), why)) {
        report(options_.out, why);
        close();
        return exit_device;
    }
    block_.assign(static_cast<size_t>(ZYN_GET_PLUGFRAMES()) * static_cast<size_t>(ZYN_GET_PLUGCHANNELS()), 0);
    return exit_ok;
}

ExitCode Player::open_device() {
    std::string choice_problem;
    if (!choose_output(choice_problem)) {
        report("no output device", choice_problem);
        ZYN_EXIT();
        return exit_device;
    }
    int32_t started = ZYN_INIT(options_.rate, options_.channels, options_.buffers, options_.frames, device_);
    const std::string name = ZYN_GET_PLUGNAME();
    if (started != 1) {
        char why[512];
        if (name.empty() && (!options_.plug.empty() || device_ >= 0))
            std::snprintf(why, sizeof why, "%s", ZYN_GET_LASTERROR());
        else if (!name.empty())
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
        return exit_device;
    }
    // Only when it was not asked for.
    if (on_null_output() && options_.plug.empty() && device_ < 0 && !options_.info)
        report("", "no sound device found: playing to the silent output");
    opened_ = true;
    return exit_ok;
}

// Mixes the next block into the render. False (the reason kept for the
// end) when the file does not take it.
bool Player::render_block() {
    const auto frames = static_cast<int32_t>(block_.size() / static_cast<size_t>(std::max(channels_, 1)));
    std::string why;
    if (ZYN_RENDER(block_.data(), frames) != 1) why = ZYN_GET_LASTERROR();
    else if (writer_.write(block_.data(), frames, why)) return true;
    if (render_problem_.empty()) render_problem_ = why;
    return false;
}

// Ends one item of a render: blocks more for the pitch shifter's delay,
// counted from the block after the one the item ended in.
void Player::finish_render(bool finished, int tail_blocks) {
    for (int i = 0; finished && i < tail_blocks; ++i)
        if (!render_block()) return;
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
    // No clock speed: measuring it would keep the answer waiting a second.
    std::printf("Processor:  %s\n", present.empty() ? "(none)" : present.c_str());
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
    if (options_.stream) return play_track(path, probe);
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
    ZYN_SET_SOUNDSPEED(t.sound, t.speed);
    ZYN_SET_SOUNDVOLUME(t.sound, volume_);
    ZYN_SET_SOUNDMUTED(t.sound, muted_ ? 1 : 0);
    ZYN_SET_SOUNDPAN(t.sound, options_.pan);
    if (options_.has_position) ZYN_SET_SOUNDPOSITION(t.sound, options_.position);
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
    played_anything_ = true;
    bool finished = run_until_done(t);
    if (rendering_) {
        finish_render(finished, pitch_tail_blocks(options_.pitch));
        rendered_seconds_ += t.elapsed;
    }
    ZYN_DESTROY_WAVE(&t.wave);
    if (chatty() && finished) std::printf("Finished %s\n", path.c_str());
    std::fflush(stdout);
    return exit_ok;
}

ExitCode Player::play_track(const std::string &path, const MediaProbe &probe) {
    Transport t;
    t.file = path;
    if (options_.speed_given) report(path, "--speed does not apply to a track; it plays at speed 1");
    if (ZYN_OPEN_TRACK(path.c_str(), &t.track) != 1) {
        report("", ZYN_GET_LASTERROR());
        return exit_file;
    }
    int64_t frames = -1;
    ZYN_GET_TRACKINFO(t.track, &frames, &t.track_rate, nullptr);
    t.last = frames;
    if (options_.has_range) {
        t.first = std::llround(options_.range_start * t.track_rate);
        if (options_.range_end >= 0.0) {
            const int64_t end = std::llround(options_.range_end * t.track_rate);
            t.last = frames >= 0 ? std::min(frames, end) : end;
        }
        if ((t.last >= 0 && t.first >= t.last) ||
            (t.first > 0 && ZYN_SEEK_TRACK(t.track, t.first) != 1) ||
            ZYN_SET_TRACKLOOP(t.track, t.first, t.last) != 1) {
            report(path, "--range starts at " + format_clock(options_.range_start) +
                             ", at or after the end of the file" +
                             (frames >= 0 ? " (" + format_clock(static_cast<double>(frames) / t.track_rate) + " long)"
                                          : std::string()));
            ZYN_CLOSE_TRACK(&t.track);
            return exit_file;
        }
    }
    ZYN_SET_TRACKVOLUME(t.track, muted_ ? 0.0f : volume_);
    ZYN_SET_TRACKPAN(t.track, options_.pan);
    t.initial_loops = options_.loops == 0 ? ZYN_LOOP_FOREVER : options_.loops;
    if (t.last >= 0 && options_.loops != 0)
        t.total = static_cast<double>(t.last - t.first) / t.track_rate * t.initial_loops;
    t.position = t.first;
    if (chatty())
        std::printf("Streaming %s (%s, %s)\n", path.c_str(), probe.known ? probe.description.c_str() : "audio",
                    t.total >= 0.0 ? format_time(t.total).c_str() : "without end");
    std::fflush(stdout);
    if (ZYN_PLAY_TRACK(t.track, t.initial_loops) != 1) {
        report(path, ZYN_GET_LASTERROR());
        ZYN_CLOSE_TRACK(&t.track);
        return exit_file;
    }
    played_anything_ = true;
    const bool finished = run_until_done(t);
    if (rendering_) {
        finish_render(finished, pitch_tail_blocks(options_.pitch));
        rendered_seconds_ += t.elapsed;
    }
    ZYN_CLOSE_TRACK(&t.track);
    if (chatty() && finished) std::printf("Finished %s\n", path.c_str());
    std::fflush(stdout);
    return exit_ok;
}

// Moves a track by seconds, within its pass.
void Player::seek_track(Transport &t, double seconds) {
    int64_t at = 0;
    if (ZYN_GET_TRACKPOSITION(t.track, &at) != 1) return;
    at += std::llround(seconds * t.track_rate);
    if (t.last >= 0) at = std::min(at, t.last - 1);
    at = std::max(at, t.first);
    if (ZYN_SEEK_TRACK(t.track, at) == 1) t.position = at;
}

// Follows the playing item until it ends (true) or the user quits (false).
bool Player::run_until_done(Transport &t) {
    const int tick_ms = interactive_ ? 40 : 50;
    LevelMeter meter;
    Clock::time_point last_tick = Clock::now(), last_draw = Clock::now() - std::chrono::seconds(1);
    for (;;) {
        if (interactive_)
            for (int32_t key : keys_.take()) handle_key(key, t);
        if (quit_requested() || t.skip) {
            if (interactive_ && !options_.quiet) draw_status(t, true);
            return false;
        }
        // A render mixes as fast as it goes; a paused one waits for the key.
        const bool mixing_here = rendering_ && !t.paused;
        if (mixing_here && !render_block()) {
            quit_ = true;
            return false;
        }
        const double dt = seconds_since(last_tick);
        last_tick = Clock::now();
        meter_db_ = meter.update(take_peak(), dt);

        bool ended = false;
        if (t.track >= 0) {
            const bool playing = ZYN_IS_TRACKPLAYING(t.track) == 1;
            int64_t position = t.position;
            ZYN_GET_TRACKPOSITION(t.track, &position);
            // Back to the loop's start: a pass is done.
            if (playing && position < t.position) ++t.passes_done;
            if (playing) t.position = position;
            // A render has just mixed the block the track ended in.
            ended = !playing;
            const double pass = t.last >= 0 ? static_cast<double>(t.last - t.first) / t.track_rate : 0.0;
            t.elapsed = ended && t.total >= 0.0
                            ? t.total
                            : t.passes_done * pass + static_cast<double>(t.position - t.first) / t.track_rate;
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
            // A render has just mixed the block the sound ended in.
            ended = loops == 0;
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
        if (!mixing_here) sleep_ms(tick_ms);
    }
}

void Player::handle_key(int32_t key, Transport &t) {
    switch (key) {
        case 'q':
        case 'Q':
        case 27:
            quit_ = true;
            break;
        case 'n':
        case 'N':
            t.skip = true;
            break;
        case ' ':
            t.paused = !t.paused;
            if (t.track >= 0)
                ZYN_SET_TRACKPAUSED(t.track, t.paused ? 1 : 0);
            else
                ZYN_SET_SOUNDPAUSED(t.sound, t.paused ? 1 : 0);
            break;
        case 'm':
        case 'M':
            muted_ = !muted_;
            if (t.track >= 0) ZYN_SET_TRACKVOLUME(t.track, muted_ ? 0.0f : volume_);
            else ZYN_SET_SOUNDMUTED(t.sound, muted_ ? 1 : 0);
            break;
        case '+':
        case '=':
        case '-':
        case '_': {
            const float step = (key == '+' || key == '=') ? 0.1f : -0.1f;
            volume_ = std::clamp(std::round((volume_ + step) * 10.0f) / 10.0f, 0.0f, 2.0f);
            if (t.track >= 0) {
                if (!muted_) ZYN_SET_TRACKVOLUME(t.track, volume_);
            } else {
                ZYN_SET_SOUNDVOLUME(t.sound, volume_);
            }
            break;
        }
        case kKeyLeft:
        case kKeyRight:
            if (t.track >= 0) seek_track(t, key == kKeyLeft ? -kSeekSeconds : kSeekSeconds);
            break;
        default:
            break;
    }
}

bool Player::choose_output(std::string &problem) {
    device_ = -1;
    // A render goes to the WAV writer, on its one device.
    if (rendering_) return ZYN_SET_PLUGNAME("wav") == 1;
    if (!options_.plug.empty() && ZYN_SET_PLUGNAME(options_.plug.c_str()) != 1) {
        problem = std::string("--plug ") + options_.plug + ": " + ZYN_GET_LASTERROR();
        return false;
    }
    if (options_.device_name.empty()) {
        device_ = options_.device;
        return true;
    }
    const int32_t count = ZYN_GET_NUMOFDEVICES();
    for (int32_t i = 0; i < count; ++i)
        if (options_.device_name == ZYN_GET_DEVICENAME(i)) device_ = i;
    if (device_ >= 0) return true;
    problem = count < 1 ? ZYN_GET_LASTERROR()
                        : "no device named '" + options_.device_name + "' (see --list-devices)";
    return false;
}

void Player::draw_status(Transport &t, bool final_line) {
    StatusInfo info;
    ZynOutputStats stats;
    stats.size = sizeof(stats);
    if (ZYN_GET_OUTPUTSTATS(&stats) == 1) {
        info.latency_ms = stats.latency_ms;
        info.underruns = stats.underruns;
        info.offline = stats.connected == 0 && ZYN_GET_PLUGRUNNING() == 1;
    }
    info.file = t.file;
    info.elapsed = t.elapsed;
    info.total = t.total;
    info.level_db = meter_db_;
    info.volume = volume_;
    info.paused = t.paused;
    info.muted = muted_;
    info.seekable = t.track >= 0;
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

ExitCode Player::close() {
    if (!opened_) {
        keys_.stop();
        return exit_ok;
    }
    opened_ = false;
    if (!rendering_ && played_anything_ && !quit_requested()) {
        // Let the device play out what it still holds (and the shifter's delay).
        double latency = static_cast<double>(ZYN_GET_PLUGBUFFERS()) * ZYN_GET_PLUGFRAMES() / std::max(rate_, 1);
        if (options_.pitch > 0.0f) latency += 1024.0 / std::max(rate_, 1);
        sleep_ms(static_cast<int>(latency * 1000.0) + 20);
    }
    ZYN_EXIT();
    keys_.stop();
    return rendering_ ? place_render() : exit_ok;
}

// The render takes the --out name only when it is whole: something played,
// no signal cut it short and every block reached the file. q ends a render
// early by choice, so what it has so far is kept.
ExitCode Player::place_render() {
    // A run that played nothing has said why already.
    if (!played_anything_) {
        target_->discard();
        return exit_ok;
    }
    if (stop_request() != StopRequest::none) {
        target_->discard();
        report(options_.out, "the render was interrupted; the file was not written");
        return exit_ok;
    }
    std::string why = render_problem_;
    if (why.empty()) writer_.finish(why);
    if (!why.empty()) {
        target_->discard();
        report(options_.out, why + "; the file was not written");
        return exit_device;
    }
    if (!target_->commit(why)) {
        report(options_.out, why);
        return exit_device;
    }
    if (chatty())
        std::printf("Rendered %s to %s\n", format_time(rendered_seconds_).c_str(), options_.out.c_str());
    return exit_ok;
}

}  // namespace zynplay
