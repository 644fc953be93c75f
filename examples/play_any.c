/* play_any.c - plays one sound file of any format zyn reads (WAV, AIFF, FLAC,
 * Ogg Vorbis, Opus, MP3) at its own level, says why when it cannot, and
 * waits for the engine to say that the sound has ended.
 *   cc play_any.c $(pkg-config --cflags --libs zyn) -Wl,-rpath,<prefix>/lib -o play_any
 *   ./play_any music.flac */
#define _POSIX_C_SOURCE 200809L
#include <pthread.h>
#include <stdio.h>
#include <time.h>
#include <zyn.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t ended = PTHREAD_COND_INITIALIZER;
static int done = 0;

/* Runs on the engine's event thread once the sound has played to its end. */
static void on_end(int32_t sound, void *user) {
    (void)sound;
    (void)user;
    pthread_mutex_lock(&lock);
    done = 1;
    pthread_cond_signal(&ended);
    pthread_mutex_unlock(&lock);
}

static void wait_ms(long ms) {
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

int main(int argc, char **argv) {
    int32_t wave = -1, sound = -1;
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 1;
    }
    if (ZYN_INIT(44100, 2, 3, 2048, -1) != 1) {
        fprintf(stderr, "play_any: %s\n", ZYN_GET_LASTERROR());
        return 3;
    }
    if (!ZYN_LOAD_FILE(argv[1], &wave)) { /* the format is told from the content */
        fprintf(stderr, "play_any: %s\n", ZYN_GET_LASTERROR());
        ZYN_EXIT();
        return 2;
    }
    ZYN_SET_ENDCALLBACK(on_end, NULL);
    ZYN_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &sound);
    pthread_mutex_lock(&lock);
    while (!done) pthread_cond_wait(&ended, &lock);
    pthread_mutex_unlock(&lock);
    /* The device still holds a few blocks: let them be heard. */
    wait_ms(1000L * ZYN_GET_PLUGBUFFERS() * ZYN_GET_PLUGFRAMES() / ZYN_GET_PLUGRATE() + 50);
    ZYN_EXIT();
    return 0;
}
