// OpenAL Soft rendering the peer workload offline through its loopback device.
//
// Like for like with zyn's mixer:
//  - loopback device, 16-bit stereo at 44.1 kHz, rendered 2048 frames a call;
//  - no HRTF, no auxiliary sends (no EFX), no distance attenuation;
//  - the nearest-sample ("point") resampler, found by name, as zyn's speed
//    kernels take the nearest source frame; at speed 1.0 OpenAL copies anyway;
//  - its output limiter and 16-bit dither switched off through a private
//    configuration file (ALSOFT_CONF), since zyn saturates and never dithers.
//    --library-defaults keeps the library's own settings instead.
//  - volume is AL_GAIN 0.8.
//  - pan: OpenAL pans mono sources by position and ignores the position of a
//    stereo one; its stereo sources are two virtual speakers whose angles
//    AL_EXT_STEREO_ANGLES sets. zyn's pan p > 0 keeps the right channel and
//    scales the left by 1 - p; the closest stereo move is to swing both
//    speakers to the right: left from +30 deg by p x 120 deg (to -90 deg, the
//    right side, at p = 1) and right from -30 deg by p x 60 deg. For p = 0.3
//    that is -6 deg and -48 deg. Panning gains are worked out once per
//    parameter change, so the angles chosen do not change the work per sample.
//    --direct plays the stereo channels straight to the output instead
//    (AL_SOFT_direct_channels), which cannot pan: a lower bound, not like for like.
#include "peer_workload.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

LPALCLOOPBACKOPENDEVICESOFT p_loopback_open = nullptr;
LPALCISRENDERFORMATSUPPORTEDSOFT p_format_supported = nullptr;
LPALCRENDERSAMPLESSOFT p_render = nullptr;
LPALGETSTRINGISOFT p_get_stringi = nullptr;

int fail(const char *what) {
    std::fprintf(stderr, "openal_render: %s\n", what);
    return 1;
}

// Keeps the configuration file alive for the process; removed at exit.
std::string g_conf_path;
void remove_conf() {
    if (!g_conf_path.empty()) unlink(g_conf_path.c_str());
}

void write_private_conf() {
    char pattern[] = "/tmp/zyn-peers-alsoft-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) return;
    const char text[] = "[general]\noutput-limiter = false\ndither = false\nresampler = point\n";
    if (write(fd, text, sizeof(text) - 1) != static_cast<ssize_t>(sizeof(text) - 1)) {
        close(fd);
        return;
    }
    close(fd);
    g_conf_path = pattern;
    std::atexit(remove_conf);
    setenv("ALSOFT_CONF", g_conf_path.c_str(), 1);
}

// Index of the resampler of a kind (nearest, linear, cubic, sinc: the
// first sinc, the shortest), found by name; -1 when there is none.
ALint find_resampler(const std::string &kind) {
    if (!alIsExtensionPresent("AL_SOFT_source_resampler") || p_get_stringi == nullptr) return -1;
    const ALint count = alGetInteger(AL_NUM_RESAMPLERS_SOFT);
    for (ALint i = 0; i < count; ++i) {
        const std::string name = p_get_stringi(AL_RESAMPLER_NAME_SOFT, i);
        const bool match = kind == "nearest" ? (name == "Nearest" || name == "Point" || name == "point" || name == "nearest")
                           : kind == "linear" ? name == "Linear"
                           : kind == "cubic"  ? name == "Cubic"
                           : kind == "sinc"   ? name.find("Sinc") != std::string::npos
                                              : false;
        if (match) return i;
    }
    return -1;
}

}  // namespace

int main(int argc, char **argv) {
    bool direct = false, library_defaults = false;
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--direct")
            direct = true;
        else if (a == "--library-defaults")
            library_defaults = true;
        else
            rest.push_back(argv[i]);
    }
    const peers::Selection sel = peers::parse_selection(static_cast<int>(rest.size()), rest.data());
    if (!library_defaults) write_private_conf();

    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return fail("no ALC_SOFT_loopback");
    p_loopback_open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    p_format_supported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
        alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
    p_render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!p_loopback_open || !p_format_supported || !p_render) return fail("loopback entries missing");

    ALCdevice *device = p_loopback_open(nullptr);
    if (device == nullptr) return fail("cannot open a loopback device");
    if (!p_format_supported(device, peers::kRate, ALC_STEREO_SOFT, ALC_SHORT_SOFT))
        return fail("16-bit stereo 44.1 kHz not supported");
    const ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                            ALC_FORMAT_TYPE_SOFT,     ALC_SHORT_SOFT,
                            ALC_FREQUENCY,            peers::kRate,
                            ALC_HRTF_SOFT,            ALC_FALSE,
                            ALC_MAX_AUXILIARY_SENDS,  0,
                            ALC_MONO_SOURCES,         0,
                            ALC_STEREO_SOURCES,       256,
                            0};
    ALCcontext *context = alcCreateContext(device, attrs);
    if (context == nullptr || !alcMakeContextCurrent(context)) return fail("cannot create a context");
    p_get_stringi = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
    alDistanceModel(AL_NONE);

    const std::string kind = sel.resampler.empty() ? "nearest" : sel.resampler;
    const ALint resampler = find_resampler(kind);
    if (resampler < 0) return fail(("no resampler of the kind " + kind).c_str());
    if (direct && !alIsExtensionPresent("AL_SOFT_direct_channels")) return fail("no AL_SOFT_direct_channels");
    if (!direct && !alIsExtensionPresent("AL_EXT_STEREO_ANGLES")) return fail("no AL_EXT_STEREO_ANGLES");
    std::fprintf(stderr, "openal_render: %s, resampler %d \"%s\", %s, %s\n", alGetString(AL_VERSION),
                 resampler, p_get_stringi(AL_RESAMPLER_NAME_SOFT, resampler),
                 direct ? "direct channels" : "stereo angles",
                 library_defaults ? "library defaults" : "no limiter, no dither");

    const std::vector<int16_t> signal = peers::make_signal();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    alBufferData(buffer, AL_FORMAT_STEREO16, signal.data(),
                 static_cast<ALsizei>(signal.size() * sizeof(int16_t)), peers::kRate);
    if (alGetError() != AL_NO_ERROR) return fail("cannot load the buffer");

    const float deg = 3.14159265f / 180.0f;
    const float angles[2] = {(30.0f - peers::kPan * 120.0f) * deg, (-30.0f - peers::kPan * 60.0f) * deg};
    std::string engine_name = direct ? "openal-direct" : (library_defaults ? "openal-defaults" : "openal");
    if (!sel.resampler.empty()) engine_name += "-" + sel.resampler;
    const char *engine = engine_name.c_str();
    std::vector<int16_t> out(static_cast<size_t>(peers::kTimedBlocks) * peers::kBlockFrames * peers::kChannels);
    std::vector<int16_t> scratch(static_cast<size_t>(peers::kBlockFrames) * peers::kChannels);
    bool all_ok = true;

    for (const peers::Workload &w : sel.workloads) {
        for (int voices : sel.voices) {
            std::vector<ALuint> sources(static_cast<size_t>(voices));
            alGenSources(voices, sources.data());
            if (alGetError() != AL_NO_ERROR) {
                std::fprintf(stderr, "openal_render: cannot make %d sources\n", voices);
                all_ok = false;
                continue;
            }
            for (ALuint s : sources) {
                alSourcei(s, AL_BUFFER, static_cast<ALint>(buffer));
                alSourcei(s, AL_LOOPING, AL_TRUE);
                alSourcef(s, AL_GAIN, peers::kVolume);
                alSourcef(s, AL_PITCH, w.speed);
                alSourcei(s, AL_SOURCE_RESAMPLER_SOFT, resampler);
                if (direct)
                    alSourcei(s, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
                else
                    alSourcefv(s, AL_STEREO_ANGLES, angles);
            }
            alSourcePlayv(voices, sources.data());
            if (alGetError() != AL_NO_ERROR) {
                std::fprintf(stderr, "openal_render: setting up %d sources failed\n", voices);
                all_ok = false;
            }
            for (int b = 0; b < peers::kWarmBlocks; ++b) p_render(device, scratch.data(), peers::kBlockFrames);

            const double t0 = peers::cpu_seconds();
            for (int b = 0; b < peers::kTimedBlocks; ++b)
                p_render(device, out.data() + static_cast<size_t>(b) * peers::kBlockFrames * peers::kChannels,
                         peers::kBlockFrames);
            const double t1 = peers::cpu_seconds();

            ALint playing = 0;
            for (ALuint s : sources) {
                ALint state = 0;
                alGetSourcei(s, AL_SOURCE_STATE, &state);
                playing += state == AL_PLAYING ? 1 : 0;
            }
            peers::OutputCheck check;
            for (int b = 0; b < peers::kTimedBlocks; ++b)
                check.add(out.data() + static_cast<size_t>(b) * peers::kBlockFrames * peers::kChannels,
                          peers::kBlockFrames);
            char note[64] = "";
            if (playing != voices) std::snprintf(note, sizeof(note), "only_%d_playing", playing);
            all_ok &= peers::report(engine, w, voices, t1 - t0, check, note, playing == voices);

            alSourceStopv(voices, sources.data());
            alDeleteSources(voices, sources.data());
        }
    }

    alDeleteBuffers(1, &buffer);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
    return all_ok ? 0 : 1;
}
