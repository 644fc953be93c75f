// Stand-ins for the engine's WAV loader and wave player, linked only into the
// test build of the scene program while the engine in this tree lacks them.
// They load nothing and play nothing; the scene's trace shows its decisions.
#include "zyn.h"

#include <cstdio>

extern "C" {

int32_t ZYN_LOAD_WAVFILE(const char *file, int32_t *wave) {
    static int32_t next = 0;
    if (file == nullptr || wave == nullptr) return 0;
    std::FILE *f = std::fopen(file, "rb");
    if (f == nullptr) {
        *wave = -1;
        return 0;
    }
    std::fclose(f);
    *wave = next++;
    return 1;
}

int32_t ZYN_PLAY_WAVE(int32_t wave, int32_t loops, float speed, float volume, float pan, int32_t *sound) {
    (void)loops, (void)speed, (void)volume, (void)pan;
    if (sound != nullptr) *sound = -1;
    return wave >= 0 ? 1 : 0;
}

}  // extern "C"
