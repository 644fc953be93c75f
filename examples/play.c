/* play.c - a complete zyn host: plays one sound file to its end.
 *   cc play.c $(pkg-config --cflags --libs zyn) -o play && ./play sound.wav
 * ZYN_WAV_OUT=out.wav ./play sound.wav records it into a WAV file instead. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <zyn.h>

static void wait_ms(long ms) {
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

int main(int argc, char **argv) {
    int32_t wave = -1, sound = -1, loops = 1, loaded;
    const char *dot = argc == 2 ? strrchr(argv[1], '.') : NULL;
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE.wav|FILE.mp3|FILE.ogg\n", argv[0]);
        return 1;
    }
    if (ZYN_INIT(44100, 2, 3, 2048, -1) != 1) { /* the first plug-in that accepts */
        fprintf(stderr, "play: no output device\n");
        return 3;
    }
    if (dot != NULL && strcmp(dot, ".mp3") == 0) loaded = ZYN_LOAD_MP3FILE(argv[1], &wave, "");
    else if (dot != NULL && strcmp(dot, ".ogg") == 0) loaded = ZYN_LOAD_OGGFILE(argv[1], &wave, "");
    else loaded = ZYN_LOAD_WAVFILE(argv[1], &wave);
    if (!loaded || !ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &sound)) {
        fprintf(stderr, "play: cannot play %s\n", argv[1]);
        ZYN_EXIT();
        return 2;
    }
    while (ZYN_GET_SOUNDLOOPS(sound, &loops) && loops > 0) wait_ms(10);
    /* The device still holds a few blocks: let them be heard. */
    wait_ms(1000L * ZYN_GET_PLUGBUFFERS() * ZYN_GET_PLUGFRAMES() / ZYN_GET_PLUGRATE() + 50);
    ZYN_EXIT(); /* also completes a WAV file being recorded */
    return 0;
}
