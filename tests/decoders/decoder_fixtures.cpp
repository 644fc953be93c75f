#include "decoder_fixtures.h"

#include "wav_fixture.h"
#include "zyn.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace zyn_test {

namespace {
bool run(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
std::string quote(const std::string &s) { return "'" + s + "'"; }
}  // namespace

bool write_tone_wav(const std::string &path, int32_t rate, int32_t channels, double frequency,
                    double seconds, double amplitude) {
    const auto frames = static_cast<uint32_t>(std::lround(rate * seconds));
    Pcm tone{rate, channels, {}};
    for (uint32_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * M_PI * frequency * i / rate);
        tone.samples.insert(tone.samples.end(), static_cast<size_t>(channels), static_cast<int16_t>(std::lround(v)));
    }
    return write_wav(path, tone);
}

bool write_noise_wav(const std::string &path, int32_t bits, double seconds, uint32_t seed,
                     int32_t amplitude) {
    WavLayout layout;
    layout.bits = static_cast<uint16_t>(bits);
    const uint32_t bytes_per_sample = static_cast<uint32_t>(bits) / 8;
    const auto frames = static_cast<uint32_t>(std::lround(layout.rate * seconds));
    std::vector<uint8_t> b;
    std::mt19937 random(seed);
    const uint32_t span = 2 * static_cast<uint32_t>(amplitude) + 1;
    for (uint32_t i = 0; i < frames * layout.channels; ++i) {
        const int32_t s16 = static_cast<int32_t>(random() % span) - amplitude;
        const auto s = static_cast<uint32_t>(bits == 24 ? s16 * 256 + static_cast<int32_t>(random() % 256) : s16);
        for (uint32_t k = 0; k < bytes_per_sample; ++k) b.push_back(static_cast<uint8_t>(s >> (8 * k)));
    }
    return write_file(path, wav_image(layout, b));
}

std::vector<uint8_t> seeded_bytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (auto &b : bytes) b = static_cast<uint8_t>(random() >> 24);
    return bytes;
}

bool write_non_mpeg_files(const std::string &folder, std::vector<std::string> *paths) {
    const auto path = [&](const std::string &name) {
        paths->push_back(folder + "/" + name);
        return paths->back();
    };
    std::string prose;
    for (int i = 0; prose.size() < 20000; ++i)
        prose += "Line " + std::to_string(i) + ": the mixer takes one block per fill.\n";
    std::vector<uint8_t> utf16 = {0xFF, 0xFE};
    for (char c : prose) utf16.insert(utf16.end(), {static_cast<uint8_t>(c), 0});
    const std::vector<uint8_t> program = read_file("/proc/self/exe");
    return write_noise_wav(path("noise16.wav"), 16, 2.0, 7) &&
           write_noise_wav(path("noise24.wav"), 24, 2.0, 8) && !program.empty() &&
           write_file(path("program"), program) &&
           write_file(path("text.txt"), std::vector<uint8_t>(prose.begin(), prose.end())) &&
           write_file(path("text16.txt"), utf16) && write_file(path("random.bin"), seeded_bytes(1 << 20, 11));
}

bool encode_mp3(const std::string &wav, const std::string &mp3, int32_t kbps) {
    return run("lame --quiet -t --cbr -b " + std::to_string(kbps) + " " + quote(wav) + " " + quote(mp3));
}

bool encode_ogg(const std::string &wav, const std::string &ogg) {
    return run("oggenc -Q -q 4 -o " + quote(ogg) + " " + quote(wav));
}

MpegFrames count_mpeg_frames(const std::string &path) {
    static const int kBitrates[2][16] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},  // MPEG-1 L3
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};     // MPEG-2/2.5 L3
    static const int kRates[3] = {44100, 48000, 32000};
    const std::vector<uint8_t> f = read_file(path);
    MpegFrames result;
    size_t p = 0;
    while (p + 4 <= f.size()) {
        if (f[p] != 0xFF || (f[p + 1] & 0xE0) != 0xE0) {
            if (result.count > 0) break;
            ++p;
            continue;
        }
        const int version = (f[p + 1] >> 3) & 3;  // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
        const int layer = (f[p + 1] >> 1) & 3;    // 1 = Layer III
        const int bitrate_index = f[p + 2] >> 4;
        const int rate_index = (f[p + 2] >> 2) & 3;
        const int padding = (f[p + 2] >> 1) & 1;
        if (version == 1 || layer != 1 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3)
            break;
        const bool mpeg1 = version == 3;
        const int rate = kRates[rate_index] / (mpeg1 ? 1 : (version == 2 ? 2 : 4));
        const int kbps = kBitrates[mpeg1 ? 0 : 1][bitrate_index];
        const int length = (mpeg1 ? 144 : 72) * kbps * 1000 / rate + padding;
        result.samples_per_frame = mpeg1 ? 1152 : 576;
        result.rate = rate;
        result.channels = (f[p + 3] >> 6) == 3 ? 1 : 2;
        ++result.count;
        result.offsets.push_back(p);
        p += static_cast<size_t>(length);
    }
    return result;
}

FileState file_state(const std::string &path) {
    FileState state;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return state;
    state.exists = true;
    state.bytes = read_file(path);
    state.modified_ns = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    state.inode = info.st_ino;
    return state;
}

std::map<std::string, FileState> folder_state(const std::string &folder) {
    std::map<std::string, FileState> state;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(folder, ec))
        state[entry.path().filename().string()] = file_state(entry.path().string());
    return state;
}

std::vector<std::string> make_taken_names(const std::string &folder) {
    const std::string file = folder + "/taken.wav";
    const std::string target = folder + "/target.wav";
    const std::string link = folder + "/link.wav";
    const std::string dangling = folder + "/dangling.wav";
    const std::vector<uint8_t> mine = {'m', 'i', 'n', 'e', '\n'};
    if (!write_file(file, mine) || !write_file(target, mine) || symlink(target.c_str(), link.c_str()) != 0 ||
        symlink((folder + "/nowhere.wav").c_str(), dangling.c_str()) != 0)
        return {};
    return {file, link, dangling};
}

std::vector<uint8_t> id3v2_tag(const std::vector<uint8_t> &inside) {
    const size_t size = inside.size();
    std::vector<uint8_t> tag = {'I', 'D', '3', 4, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
    tag.insert(tag.end(), inside.begin(), inside.end());
    return tag;
}

std::vector<uint8_t> sync_junk(size_t count, uint32_t seed) {
    std::vector<uint8_t> junk = seeded_bytes(count, seed);
    std::mt19937 random(seed ^ 0x5A5A5A5Au);
    for (auto &b : junk)
        if (random() % 64 == 0) b = 0xFF;
    return junk;
}

bool file_exists(const std::string &path) { return std::filesystem::exists(path); }

std::vector<int16_t> channel_of(const std::vector<int16_t> &samples, int32_t channels,
                                int32_t channel) {
    std::vector<int16_t> out;
    for (size_t i = static_cast<size_t>(channel); i < samples.size(); i += static_cast<size_t>(channels))
        out.push_back(samples[i]);
    return out;
}

double tone_frequency(const std::vector<int16_t> &mono, int32_t rate) {
    // Upward zero crossings, each armed only after the signal went clearly
    // negative, so that coding noise around zero adds no crossings.
    int peak = 0;
    for (int16_t s : mono) peak = std::max(peak, std::abs(static_cast<int>(s)));
    const int arm_below = -peak / 8;
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    bool armed = false;
    for (size_t i = 1; i < mono.size(); ++i) {
        if (mono[i] < arm_below) armed = true;
        if (armed && mono[i - 1] < 0 && mono[i] >= 0) {
            const double t = static_cast<double>(i - 1) +
                             static_cast<double>(-mono[i - 1]) / static_cast<double>(mono[i] - mono[i - 1]);
            if (first < 0) first = t;
            last = t;
            ++crossings;
            armed = false;
        }
    }
    if (crossings < 3) return 0.0;
    return (crossings - 1) * static_cast<double>(rate) / (last - first);
}

double tone_amplitude(const std::vector<int16_t> &mono) {
    if (mono.empty()) return 0.0;
    double sum = 0.0;
    for (int16_t s : mono) sum += static_cast<double>(s) * s;
    return std::sqrt(sum / static_cast<double>(mono.size())) * std::sqrt(2.0);
}

bool decode_ogg_reference(const std::string &ogg, const std::string &wav) {
    return run("oggdec -Q -b 16 -e 0 -s 1 -o " + quote(wav) + " " + quote(ogg));
}

int16_t wav_loader_sample(int16_t s) {
    const float v = static_cast<float>(s) * 1.5259254723787308e-05f;
    return static_cast<int16_t>(std::nearbyint(32767.0 * static_cast<double>(v)));
}

FolderWatch::FolderWatch(const std::string &folder) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_DELETE);
}

FolderWatch::~FolderWatch() {
    if (fd_ >= 0) close(fd_);
}

std::vector<std::string> FolderWatch::events() {
    std::vector<std::string> out;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t p = 0; p < n;) {
            const auto *ev = reinterpret_cast<const inotify_event *>(buffer + p);
            if (ev->len > 0) out.push_back(std::string((ev->mask & IN_CREATE) ? "+" : "-") + ev->name);
            p += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    return out;
}

int32_t count_files_with_prefix(const std::string &folder, const std::string &prefix) {
    int32_t n = 0;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.path().filename().string().rfind(prefix, 0) == 0) ++n;
    return n;
}

int32_t open_descriptor_count() {
    int32_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         it != std::filesystem::directory_iterator(); ++it)
        ++n;
    return n;
}

Loaded load_with(FileLoader loader, const std::string &file, const char *temp) {
    Loaded l;
    l.result = loader(file.c_str(), &l.handle, temp);
    int16_t *start = nullptr;
    int16_t *end = nullptr;
    if (l.result == 1 && ZYN_GET_WAVEPOINTERS(l.handle, &start, &end, nullptr) == 1)
        l.samples.assign(start, end);
    return l;
}

}  // namespace zyn_test
