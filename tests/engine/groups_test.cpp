// Groups: a member's level is its volume times its group's (bit for bit what
// the product gives a sound of its own), a muted group's members advance
// unheard, a paused group's stand still, settings act from the next block,
// a track is a member as a sound is, and a handle names one group for its
// life only.
#include "test_support.h"
#include "wav_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using namespace zyn_test;

namespace {

constexpr int32_t kBlock = 256;

int32_t noise_wave(int32_t frames, int32_t channels) {
    int32_t wave = -1;
    int16_t *samples = nullptr;
    EXPECT_EQ(ZYN_CREATE_WAVE(frames, &wave, &samples), 1);
    uint32_t x = 88172645u;
    for (int32_t i = 0; i < frames * channels; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        samples[i] = static_cast<int16_t>(x);
    }
    return wave;
}

void keep_block(int16_t *, int32_t, int32_t) {}

std::vector<int16_t> render(int32_t frames, int32_t channels) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
    EXPECT_EQ(ZYN_RENDER(out.data(), frames), 1);
    return out;
}

// One sound at sound_volume, in a group at group_volume (none when NaN),
// through the work buffer when callback, rendered for 1000 frames.
std::vector<int16_t> one_sound(int32_t channels, bool callback, float sound_volume, float group_volume,
                               float smoothing_ms = 0.0f) {
    EXPECT_EQ(ZYN_INIT_RENDER(44100, channels, kBlock), 1);
    ZYN_SET_SMOOTHING(smoothing_ms);
    int32_t sound = -1, group = -1;
    EXPECT_EQ(ZYN_PLAY_WAVE(noise_wave(3000, channels), 0, 1.0f, sound_volume, 0.25f, &sound), 1);
    if (callback) {
        EXPECT_EQ(ZYN_SET_SOUNDCALLBACK(sound, keep_block), 1);
        EXPECT_EQ(ZYN_ENABLE_SOUNDCALLBACK(sound), 1);
    }
    if (!std::isnan(group_volume)) {
        EXPECT_EQ(ZYN_CREATE_GROUP(&group), 1);
        EXPECT_EQ(ZYN_SET_GROUPVOLUME(group, group_volume), 1);
        EXPECT_EQ(ZYN_SET_SOUNDGROUP(sound, group), 1);
    }
    std::vector<int16_t> out = render(1000, channels);
    ZYN_SET_SMOOTHING(0.0f);
    ZYN_EXIT();
    return out;
}

bool silent(const std::vector<int16_t> &v) {
    for (int16_t s : v)
        if (s != 0) return false;
    return true;
}

int32_t g_group_to_silence = -1;
void silence_group_once(int16_t *, int32_t, int32_t) {
    if (g_group_to_silence < 0) return;
    EXPECT_EQ(ZYN_SET_GROUPVOLUME(g_group_to_silence, 0.0f), 1);
    int32_t another = -1;
    EXPECT_EQ(ZYN_CREATE_GROUP(&another), 0) << "creating may allocate: refused in a callback";
    g_group_to_silence = -1;
}

}  // namespace

TEST(Groups, AMembersLevelIsItsVolumeTimesItsGroups) {
    const float none = std::numeric_limits<float>::quiet_NaN();
    for (int32_t channels : {1, 2}) {
        for (bool callback : {false, true}) {
            SCOPED_TRACE(std::to_string(channels) + " channels, callback " + std::to_string(callback));
            const auto alone = one_sound(channels, callback, 0.25f, none);
            ASSERT_FALSE(silent(alone));
            EXPECT_EQ(one_sound(channels, callback, 0.5f, 0.5f), alone);
            EXPECT_EQ(one_sound(channels, callback, 0.125f, 2.0f), alone);
            EXPECT_EQ(one_sound(channels, callback, 0.7f, 1.0f), one_sound(channels, callback, 0.7f, none));
            EXPECT_TRUE(silent(one_sound(channels, callback, 1.0f, 0.0f)));
            // The group's factor reaches a sound while its start fades in.
            EXPECT_TRUE(silent(one_sound(channels, callback, 1.0f, 0.0f, 20.0f)));
            EXPECT_FALSE(silent(one_sound(channels, callback, 1.0f, 1.0f, 20.0f)));
        }
    }
}

TEST(Groups, MutedMembersAdvanceUnheardAndPausedMembersStandStill) {
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    const int32_t wave = noise_wave(44100, 2);
    int32_t muted = -1, paused = -1, a = -1, b = -1;
    ASSERT_EQ(ZYN_CREATE_GROUP(&muted), 1);
    ASSERT_EQ(ZYN_CREATE_GROUP(&paused), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &a), 1);
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &b), 1);
    ASSERT_EQ(ZYN_SET_SOUNDGROUP(a, muted), 1);
    ASSERT_EQ(ZYN_SET_SOUNDGROUP(b, paused), 1);
    render(300, 2);
    ASSERT_EQ(ZYN_SET_GROUPMUTED(muted, 5), 1);
    ASSERT_EQ(ZYN_SET_GROUPPAUSED(paused, -1), 1);
    int32_t flag = 0;
    ASSERT_EQ(ZYN_GET_GROUPMUTED(muted, &flag), 1);
    EXPECT_EQ(flag, 1);
    ASSERT_EQ(ZYN_GET_GROUPPAUSED(paused, &flag), 1);
    EXPECT_EQ(flag, 1);
    EXPECT_TRUE(silent(render(1000, 2)));
    const auto position = [](int32_t sound) {
        int16_t *start = nullptr, *pos = nullptr;
        EXPECT_EQ(ZYN_GET_SOUNDPOINTERS(sound, &start, &pos, nullptr), 1);
        return (pos - start) / 2;
    };
    EXPECT_EQ(position(a), 1300);
    EXPECT_EQ(position(b), 300);
    EXPECT_EQ(ZYN_GET_PLAYINGSOUNDS(), 1) << "a paused group's member is not playing";
    ASSERT_EQ(ZYN_GET_SOUNDPAUSED(b, &flag), 1);
    EXPECT_EQ(flag, 0) << "the member's own pause is its own";
    // Resumed, b plays on from where it stood, as a sound placed there does.
    ASSERT_EQ(ZYN_SET_GROUPPAUSED(paused, 0), 1);
    const auto resumed = render(500, 2);
    EXPECT_EQ(position(b), 800);
    ASSERT_EQ(ZYN_SET_SOUNDLOOPS(b, 0), 1);
    int32_t fresh = -1;
    int16_t *start = nullptr;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &fresh), 1);
    ASSERT_EQ(ZYN_GET_SOUNDPOINTERS(fresh, &start, nullptr, nullptr), 1);
    ASSERT_EQ(ZYN_SET_SOUNDPOINTERS(fresh, nullptr, start + 2 * 300, nullptr), 1);
    EXPECT_EQ(render(500, 2), resumed);
    ZYN_EXIT();
}

TEST(Groups, SettingsMadeDuringABlockActFromTheNextOne) {
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    const int32_t wave = noise_wave(44100, 2);
    int32_t watcher = -1, member = -1, group = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 0.0f, 0.0f, &watcher), 1);  // mixed first, unheard
    ASSERT_EQ(ZYN_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &member), 1);
    ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
    ASSERT_EQ(ZYN_SET_SOUNDGROUP(member, group), 1);
    ASSERT_EQ(ZYN_SET_SOUNDCALLBACK(watcher, silence_group_once), 1);
    ASSERT_EQ(ZYN_ENABLE_SOUNDCALLBACK(watcher), 1);
    g_group_to_silence = group;
    const auto first = render(kBlock, 2);
    const auto second = render(kBlock, 2);
    EXPECT_FALSE(silent(first)) << "the block being mixed keeps the volume it started with";
    EXPECT_TRUE(silent(second));
    ZYN_EXIT();
}

TEST(Groups, DestroyLeavesMembersPlayingAndAHandleNamesOneGroupOnly) {
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    int32_t sound = -1, group = -1;
    ASSERT_EQ(ZYN_PLAY_WAVE(noise_wave(4000, 2), 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
    EXPECT_GT(group, 0);
    ASSERT_EQ(ZYN_SET_SOUNDGROUP(sound, group), 1);
    ASSERT_EQ(ZYN_SET_GROUPVOLUME(group, 0.0f), 1);
    EXPECT_TRUE(silent(render(300, 2)));
    const int32_t old = group;
    ASSERT_EQ(ZYN_DESTROY_GROUP(&group), 1);
    EXPECT_EQ(group, -1);
    EXPECT_FALSE(silent(render(300, 2))) << "the member plays on at its own volume";
    int32_t in = 7;
    ASSERT_EQ(ZYN_GET_SOUNDGROUP(sound, &in), 1);
    EXPECT_EQ(in, -1);
    // The row is taken again, by a group the old handle must not reach.
    int32_t next = -1;
    ASSERT_EQ(ZYN_CREATE_GROUP(&next), 1);
    EXPECT_NE(next, old);
    float volume = 0.0f;
    const auto refused = [](int32_t handle) {
        float v = 0.0f;
        int32_t copy = handle;
        EXPECT_EQ(ZYN_SET_GROUPVOLUME(handle, 0.5f), 0) << handle;
        EXPECT_EQ(ZYN_GET_GROUPVOLUME(handle, &v), 0) << handle;
        EXPECT_EQ(ZYN_SET_GROUPMUTED(handle, 1), 0) << handle;
        EXPECT_EQ(ZYN_SET_GROUPPAUSED(handle, 1), 0) << handle;
        EXPECT_EQ(ZYN_DESTROY_GROUP(&copy), 0) << handle;
        EXPECT_EQ(copy, handle);
    };
    for (int32_t handle : {old, 0, -1, -5, 12345, INT32_MAX, next + 1}) refused(handle);
    EXPECT_EQ(ZYN_SET_SOUNDGROUP(sound, old), 0);
    EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find("no group"), std::string::npos);
    EXPECT_EQ(ZYN_SET_SOUNDGROUP(999, next), 0);
    EXPECT_EQ(ZYN_CREATE_GROUP(nullptr), 0);
    EXPECT_EQ(ZYN_GET_GROUPVOLUME(next, nullptr), 0);
    // Volumes clamp as a sound's do.
    const std::pair<float, float> clamps[] = {{5.0f, 2.0f}, {-1.0f, 0.0f}, {0.00005f, 0.0f},
                                              {std::nanf(""), 0.0f}, {0.3f, 0.3f}};
    for (const auto &[set, kept] : clamps) {
        ASSERT_EQ(ZYN_SET_GROUPVOLUME(next, set), 1);
        ASSERT_EQ(ZYN_GET_GROUPVOLUME(next, &volume), 1);
        EXPECT_EQ(volume, kept) << set;
    }
    // After ZYN_EXIT no handle of before reaches the groups of the next open.
    ZYN_EXIT();
    refused(next);
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    int32_t later = -1;
    ASSERT_EQ(ZYN_CREATE_GROUP(&later), 1);
    refused(next);
    refused(old);
    // The table holds 1024 groups.
    std::vector<int32_t> all{later};
    for (int32_t g = -1; ZYN_CREATE_GROUP(&g) == 1;) all.push_back(g);
    EXPECT_EQ(all.size(), 1024u);
    EXPECT_NE(std::string(ZYN_GET_LASTERROR()).find("1024"), std::string::npos);
    ZYN_EXIT();
}

namespace {

// The same noise as a sound and as a track (a 16-bit WAV image at the
// device's rate, which a track plays frame for frame), alone in a group
// whose volume is set, then faded; or the track alone at track_volume.
std::vector<int16_t> member_of_a_fading_group(bool track, float track_volume, bool grouped) {
    EXPECT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    std::vector<int16_t> noise(2 * 4000);
    uint32_t x = 2463534242u;
    for (int16_t &v : noise) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<int16_t>(x);
    }
    static std::vector<uint8_t> image;  // read in place while the track is open
    image = zyn_test::wav_image(zyn_test::WavLayout{}, zyn_test::pcm16(noise));
    int32_t member = -1, group = -1;
    EXPECT_EQ(ZYN_CREATE_GROUP(&group), 1);
    EXPECT_EQ(ZYN_SET_GROUPVOLUME(group, 0.5f), 1);
    if (track) {
        EXPECT_EQ(ZYN_OPEN_TRACKMEMORY(image.data(), image.size(), &member), 1);
        EXPECT_EQ(ZYN_SET_TRACKVOLUME(member, track_volume), 1);
        if (grouped) {
            EXPECT_EQ(ZYN_SET_TRACKGROUP(member, group), 1);
        }
        EXPECT_EQ(ZYN_PLAY_TRACK(member, 1), 1);
    } else {
        int32_t wave = -1;
        int16_t *samples = nullptr;
        EXPECT_EQ(ZYN_CREATE_WAVE(4000, &wave, &samples), 1);
        std::copy(noise.begin(), noise.end(), samples);
        EXPECT_EQ(ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &member), 1);
        EXPECT_EQ(ZYN_SET_SOUNDGROUP(member, group), 1);
    }
    std::vector<int16_t> out = render(1000, 2);
    if (grouped) {
        EXPECT_EQ(ZYN_FADE_GROUP(group, 0.0f, 30.0f), 1);
    }
    const std::vector<int16_t> faded = render(2000, 2);
    out.insert(out.end(), faded.begin(), faded.end());
    ZYN_EXIT();
    return out;
}

}  // namespace

TEST(Groups, ATrackIsAMemberAsASoundIs) {
    const auto as_track = member_of_a_fading_group(true, 1.0f, true);
    ASSERT_FALSE(silent(as_track));
    EXPECT_EQ(as_track, member_of_a_fading_group(false, 1.0f, true)) << "the group's level and fade, frame for frame";
    const auto half = member_of_a_fading_group(true, 0.5f, false);
    EXPECT_TRUE(std::equal(half.begin(), half.begin() + 2000, as_track.begin())) << "volume x the group's";
    EXPECT_TRUE(silent(std::vector<int16_t>(as_track.end() - 2 * 500, as_track.end()))) << "faded to 0";

    // Muted, it plays on unheard; paused, it stands; destroyed, the group
    // lets it go on at its own volume.
    ASSERT_EQ(ZYN_INIT_RENDER(44100, 2, kBlock), 1);
    std::vector<int16_t> tone(2 * 44100, 8000);
    const auto image = zyn_test::wav_image(zyn_test::WavLayout{}, zyn_test::pcm16(tone));
    int32_t track = -1, group = -1, in = 7;
    ASSERT_EQ(ZYN_OPEN_TRACKMEMORY(image.data(), image.size(), &track), 1);
    ASSERT_EQ(ZYN_CREATE_GROUP(&group), 1);
    ASSERT_EQ(ZYN_SET_TRACKGROUP(track, group), 1);
    ASSERT_EQ(ZYN_GET_TRACKGROUP(track, &in), 1);
    EXPECT_EQ(in, group);
    ASSERT_EQ(ZYN_PLAY_TRACK(track, 1), 1);
    const auto position = [&] {
        int64_t at = -1;
        EXPECT_EQ(ZYN_GET_TRACKPOSITION(track, &at), 1);
        return at;
    };
    ASSERT_EQ(ZYN_SET_GROUPMUTED(group, 1), 1);
    EXPECT_TRUE(silent(render(700, 2)));
    EXPECT_EQ(position(), 700);
    ASSERT_EQ(ZYN_SET_GROUPMUTED(group, 0), 1);
    ASSERT_EQ(ZYN_SET_GROUPPAUSED(group, 1), 1);
    EXPECT_TRUE(silent(render(700, 2)));
    EXPECT_EQ(position(), 700);
    EXPECT_EQ(ZYN_IS_TRACKPLAYING(track), 1);
    ASSERT_EQ(ZYN_SET_GROUPVOLUME(group, 0.0f), 1);
    ASSERT_EQ(ZYN_SET_GROUPPAUSED(group, 0), 1);
    const int32_t old = group;
    ASSERT_EQ(ZYN_DESTROY_GROUP(&group), 1);
    const auto alone = render(100, 2);
    EXPECT_EQ(alone[0], 8000) << "without the group, at its own volume";
    ASSERT_EQ(ZYN_GET_TRACKGROUP(track, &in), 1);
    EXPECT_EQ(in, -1);
    EXPECT_EQ(ZYN_SET_TRACKGROUP(track, old), 0);
    EXPECT_EQ(ZYN_SET_TRACKGROUP(track + 1, -1), 0);
    EXPECT_EQ(ZYN_GET_TRACKGROUP(track, nullptr), 0);
    ZYN_CLOSE_TRACK(&track);
    ZYN_EXIT();
}
