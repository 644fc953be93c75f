// OpenAL Soft rendering the positional-sound and effect scenes offline
// through its loopback device (16-bit stereo, 44.1 kHz, 2048 frames a call,
// no output limiter, no dither), with the command line of every render
// program:
//   openal_space_render [--voices N,...] [--workloads p,h,r] [--resampler linear|...]
// Scenes (workload letters):
//   p  N mono 3D sources (default 256) on circles of 2..17 m near the
//      listener at heights -1..1 m (see place()), each moved (position and
//      velocity) before every block; inverse distance (clamped, reference
//      1 m), Doppler on (factor 1, 343.3 m/s: factors about 0.9..1.1), the
//      linear resampler, no HRTF;
//   h  the same with the device's HRTF on (ALC_HRTF_SOFT; the library's
//      built-in or installed 44.1 kHz set);
//   r  N mono sources (default 64) standing 2 m around the listener, each
//      also sent at full level to one auxiliary slot holding the standard
//      reverb effect (AL_EFFECT_REVERB, its default parameters).
// Every source plays the left channel of the shared signal, looped, from
// its own start (frame i x 9973 of it) so that the sources do not add up
// coherently, at gain min(0.8, 3.2 / sqrt(N)) so that the sum of N stays
// clear of full scale. Each prints CPU time per second of audio on the
// shared RESULT line (engine=openal, the scene's letter as the workload).
#include "peer_workload.h"
#include "space_scene.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr float kBlockSeconds = static_cast<float>(peers::kBlockFrames) / peers::kRate;

int fail(const char *what) {
    std::fprintf(stderr, "openal_space_render: %s\n", what);
    return 1;
}

std::string g_conf_path;
void remove_conf() {
    if (!g_conf_path.empty()) unlink(g_conf_path.c_str());
}

// As openal_render: no limiter and no dither, since zyn neither limits nor dithers.
void write_private_conf() {
    char pattern[] = "/tmp/zyn-peers-alsoft-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) return;
    const char text[] = "[general]\noutput-limiter = false\ndither = false\n";
    const bool written = write(fd, text, sizeof(text) - 1) == static_cast<ssize_t>(sizeof(text) - 1);
    close(fd);
    if (!written) return;
    g_conf_path = pattern;
    std::atexit(remove_conf);
    setenv("ALSOFT_CONF", g_conf_path.c_str(), 1);
}

struct Scene {
    char name;
    bool hrtf, reverb, moving;
    int default_voices;
};
constexpr Scene kScenes[] = {{'p', false, false, true, 256}, {'h', true, false, true, 256}, {'r', false, true, false, 64}};

}  // namespace

int main(int argc, char **argv) {
    // The scenes' letters are not the mixing workloads': read --workloads
    // here, hand the rest to the shared parser.
    std::vector<const Scene *> scenes;
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--workloads" && i + 1 < argc) {
            for (const char *c = argv[++i]; *c != '\0'; ++c)
                for (const Scene &s : kScenes)
                    if (*c == s.name) scenes.push_back(&s);
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (scenes.empty())
        for (const Scene &s : kScenes) scenes.push_back(&s);
    bool voices_given = false;
    for (char *a : rest) voices_given |= std::string(a) == "--voices";
    const peers::Selection sel = peers::parse_selection(static_cast<int>(rest.size()), rest.data());
    const std::string kind = sel.resampler.empty() ? "linear" : sel.resampler;
    write_private_conf();

    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) return fail("no ALC_SOFT_loopback");
    auto loopback_open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!loopback_open || !render) return fail("loopback entries missing");

    const std::vector<int16_t> stereo = peers::make_signal();
    std::vector<int16_t> mono(stereo.size() / 2);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = stereo[2 * i];
    std::vector<int16_t> out(static_cast<size_t>(peers::kTimedBlocks) * peers::kBlockFrames * peers::kChannels);
    std::vector<int16_t> scratch(static_cast<size_t>(peers::kBlockFrames) * peers::kChannels);
    bool all_ok = true;

    for (const Scene *scene : scenes) {
        std::vector<int> counts = voices_given ? sel.voices : std::vector<int>{scene->default_voices};
        for (int voices : counts) {
            // A device per run: the HRTF and the auxiliary sends are device attributes.
            ALCdevice *device = loopback_open(nullptr);
            if (device == nullptr) return fail("cannot open a loopback device");
            const ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                    ALC_FORMAT_TYPE_SOFT,     ALC_SHORT_SOFT,
                                    ALC_FREQUENCY,            peers::kRate,
                                    ALC_HRTF_SOFT,            scene->hrtf ? ALC_TRUE : ALC_FALSE,
                                    ALC_MAX_AUXILIARY_SENDS,  scene->reverb ? 1 : 0,
                                    ALC_MONO_SOURCES,         voices,
                                    ALC_STEREO_SOURCES,       0,
                                    0};
            ALCcontext *context = alcCreateContext(device, attrs);
            if (context == nullptr || !alcMakeContextCurrent(context)) return fail("cannot create a context");
            ALCint hrtf_status = 0;
            alcGetIntegerv(device, ALC_HRTF_STATUS_SOFT, 1, &hrtf_status);
            if (scene->hrtf && hrtf_status != ALC_HRTF_ENABLED_SOFT) return fail("the device refuses HRTF");
            if (!scene->hrtf && hrtf_status == ALC_HRTF_ENABLED_SOFT) return fail("HRTF is on although not asked for");

            auto get_stringi = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
            ALint resampler = -1;
            if (alIsExtensionPresent("AL_SOFT_source_resampler") && get_stringi != nullptr) {
                const ALint n = alGetInteger(AL_NUM_RESAMPLERS_SOFT);
                for (ALint r = 0; r < n && resampler < 0; ++r) {
                    const std::string name = get_stringi(AL_RESAMPLER_NAME_SOFT, r);
                    const bool match = kind == "linear" ? name == "Linear"
                                       : kind == "cubic" ? name == "Cubic"
                                       : kind == "nearest" ? (name == "Nearest" || name == "Point")
                                                           : name.find("Sinc") != std::string::npos;
                    if (match) resampler = r;
                }
            }
            if (resampler < 0) return fail(("no resampler of the kind " + kind).c_str());
            if (voices == counts.front()) {
                const char *hrtf_name = scene->hrtf ? alcGetString(device, ALC_HRTF_SPECIFIER_SOFT) : "off";
                std::fprintf(stderr, "openal_space_render: %s, resampler \"%s\", HRTF %s\n", alGetString(AL_VERSION),
                             get_stringi(AL_RESAMPLER_NAME_SOFT, resampler), hrtf_name ? hrtf_name : "?");
            }

            alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
            alDopplerFactor(1.0f);
            alSpeedOfSound(343.3f);
            ALuint buffer = 0;
            alGenBuffers(1, &buffer);
            alBufferData(buffer, AL_FORMAT_MONO16, mono.data(), static_cast<ALsizei>(mono.size() * sizeof(int16_t)),
                         peers::kRate);

            ALuint effect = 0, slot = 0;
            LPALDELETEEFFECTS delete_effects = nullptr;
            LPALDELETEAUXILIARYEFFECTSLOTS delete_slots = nullptr;
            if (scene->reverb) {
                if (!alcIsExtensionPresent(device, "ALC_EXT_EFX")) return fail("no ALC_EXT_EFX");
                auto gen_effects = reinterpret_cast<LPALGENEFFECTS>(alGetProcAddress("alGenEffects"));
                auto effecti = reinterpret_cast<LPALEFFECTI>(alGetProcAddress("alEffecti"));
                auto gen_slots = reinterpret_cast<LPALGENAUXILIARYEFFECTSLOTS>(alGetProcAddress("alGenAuxiliaryEffectSlots"));
                auto sloti = reinterpret_cast<LPALAUXILIARYEFFECTSLOTI>(alGetProcAddress("alAuxiliaryEffectSloti"));
                delete_effects = reinterpret_cast<LPALDELETEEFFECTS>(alGetProcAddress("alDeleteEffects"));
                delete_slots = reinterpret_cast<LPALDELETEAUXILIARYEFFECTSLOTS>(alGetProcAddress("alDeleteAuxiliaryEffectSlots"));
                if (!gen_effects || !effecti || !gen_slots || !sloti || !delete_effects || !delete_slots)
                    return fail("EFX entries missing");
                gen_effects(1, &effect);
                effecti(effect, AL_EFFECT_TYPE, AL_EFFECT_REVERB);
                gen_slots(1, &slot);
                sloti(slot, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(effect));
                if (alGetError() != AL_NO_ERROR) return fail("cannot set up the reverb slot");
            }

            std::vector<ALuint> sources(static_cast<size_t>(voices));
            alGenSources(voices, sources.data());
            if (alGetError() != AL_NO_ERROR) return fail("cannot make the sources");
            float position[3], velocity[3];
            for (int i = 0; i < voices; ++i) {
                const ALuint s = sources[static_cast<size_t>(i)];
                alSourcei(s, AL_BUFFER, static_cast<ALint>(buffer));
                alSourcei(s, AL_LOOPING, AL_TRUE);
                alSourcef(s, AL_GAIN, std::min(peers::kVolume, 3.2f / std::sqrt(static_cast<float>(voices))));
                alSourcei(s, AL_SAMPLE_OFFSET, static_cast<ALint>((static_cast<size_t>(i) * 9973u) % mono.size()));
                alSourcei(s, AL_SOURCE_RESAMPLER_SOFT, resampler);
                peers::place(i, voices, 0.0f, position, velocity);
                if (!scene->moving) {
                    const float a = peers::kTwoPi * static_cast<float>(i) / static_cast<float>(voices);
                    position[0] = 2.0f * std::cos(a);
                    position[2] = 2.0f * std::sin(a);
                    velocity[0] = velocity[1] = velocity[2] = 0.0f;
                }
                alSourcefv(s, AL_POSITION, position);
                alSourcefv(s, AL_VELOCITY, velocity);
                if (scene->reverb) alSource3i(s, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(slot), 0, AL_FILTER_NULL);
            }
            alSourcePlayv(voices, sources.data());
            if (alGetError() != AL_NO_ERROR) return fail("setting up the sources failed");

            int block = 0;
            auto move_all = [&]() {
                if (!scene->moving) return;
                const float t = static_cast<float>(++block) * kBlockSeconds;
                for (int i = 0; i < voices; ++i) {
                    peers::place(i, voices, t, position, velocity);
                    alSourcefv(sources[static_cast<size_t>(i)], AL_POSITION, position);
                    alSourcefv(sources[static_cast<size_t>(i)], AL_VELOCITY, velocity);
                }
            };
            for (int b = 0; b < peers::kWarmBlocks; ++b) {
                move_all();
                render(device, scratch.data(), peers::kBlockFrames);
            }
            const double t0 = peers::cpu_seconds();
            for (int b = 0; b < peers::kTimedBlocks; ++b) {
                move_all();
                render(device, out.data() + static_cast<size_t>(b) * peers::kBlockFrames * peers::kChannels,
                       peers::kBlockFrames);
            }
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
            const peers::Workload w{scene->name, 1.0f};
            all_ok &= peers::report("openal", w, voices, t1 - t0, check, note, playing == voices);

            alSourceStopv(voices, sources.data());
            alDeleteSources(voices, sources.data());
            if (scene->reverb) {
                delete_slots(1, &slot);
                delete_effects(1, &effect);
            }
            alDeleteBuffers(1, &buffer);
            alcMakeContextCurrent(nullptr);
            alcDestroyContext(context);
            alcCloseDevice(device);
        }
    }
    return all_ok ? 0 : 1;
}
