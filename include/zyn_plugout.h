/*
 * zyn_plugout.h - the contract between the zyn engine and an output plug-in.
 *
 * An output plug-in is a shared object (plug-*.so) that owns one audio device
 * and its thread. The engine loads it with dlopen from its plug-in folder,
 * probes it with PLUG_ISANY, opens it with PLUG_INIT and from then on the
 * plug-in asks for every block of audio by calling record->fill(record) on its
 * own thread, after pointing record->buffer at the block to be written.
 *
 * Usable from C99 and C++. The record layout is fixed: slots may be added only
 * where reserved words stand today.
 */
#ifndef ZYN_PLUGOUT_H
#define ZYN_PLUGOUT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Visibility of the entries a plug-in exports (plug-ins build with hidden visibility). */
#if defined(__GNUC__)
#define ZYN_PLUGOUT_EXPORT __attribute__((visibility("default")))
#else
#define ZYN_PLUGOUT_EXPORT
#endif

typedef struct PlugoutRecord PlugoutRecord;

/* The engine's block producer. Writes exactly record->buffer_size bytes of
 * 16-bit interleaved PCM into record->buffer; does nothing when record or
 * buffer is null or buffer_size < 4. Called on the plug-in's thread. */
typedef void (*FillRoutine)(PlugoutRecord *record);

struct PlugoutRecord {
    void       *library;          /* slot 0: loaded library handle (engine) */
    void       *plug_error;       /* 1: PLUG_ERROR entry (engine) */
    void       *plug_isany;       /* 2: PLUG_ISANY entry (engine) */
    void       *plug_init;        /* 3: PLUG_INIT entry (engine) */
    void       *plug_start;       /* 4: PLUG_START entry (engine) */
    void       *plug_stop;        /* 5: PLUG_STOP entry (engine) */
    void       *plug_exit;        /* 6: PLUG_EXIT entry (engine) */
    intptr_t    reserved_a[2];    /* 7-8: neither side uses them */
    FillRoutine fill;             /* 9: block producer (engine, before PLUG_INIT) */
    char        name[64];         /* 10-25: plug-in name, zero-terminated (plug-in) */
    char        device_name[64];  /* 26-41: opened device, zero-terminated (plug-in) */
    int32_t     frame_size;       /* 42: bytes per frame, 2 x channels, never 0 (plug-in) */
    int32_t     frames;           /* 43: frames per buffer requested (engine) */
    int32_t     buffers;          /* 44: number of buffers requested (engine) */
    int32_t     buffer_size;      /* 45: bytes in one block (plug-in) */
    void       *buffer;           /* 46: the block the next fill writes (plug-in, before each fill) */
    intptr_t    reserved_b;       /* 47: neither side uses it */
    int32_t     rate;             /* 48: sample rate in Hz (engine) */
    int32_t     bits;             /* 49: always 16 (engine) */
    int32_t     channels;         /* 50: channel count (engine) */
    int32_t     is_signed;        /* 51: 1 when samples are signed (plug-in) */
    int32_t     device;           /* 52: device index, -1 for the default device (engine) */
};

/* Entries every plug-in exports by these plain names. */

/* Probe: 1 when this library can serve on this machine now; anything else and
 * the engine unloads it. May leave values in slots other than 0-6. */
ZYN_PLUGOUT_EXPORT int32_t PLUG_ISANY(PlugoutRecord *record);
/* Open the device with record's rate, bits, channels, frames, buffers and
 * device; complete name, device_name, frame_size, buffer_size and is_signed.
 * 1 on success; 0 refuses the settings (the engine tries the next plug-in). */
ZYN_PLUGOUT_EXPORT int32_t PLUG_INIT(PlugoutRecord *record);
/* Start output: from now on the plug-in's thread calls record->fill per block. 1 = running. */
ZYN_PLUGOUT_EXPORT int32_t PLUG_START(void);
/* Stop output and join the thread; no fill call happens after it returns. 1 = stopped. */
ZYN_PLUGOUT_EXPORT int32_t PLUG_STOP(void);
/* Close the device and release everything PLUG_INIT took; safe in any state. */
ZYN_PLUGOUT_EXPORT int32_t PLUG_EXIT(void);
/* Text of the last error (never null; empty when none). Valid until the next call. */
ZYN_PLUGOUT_EXPORT const char *PLUG_ERROR(void);

/* ---- Optional entries -------------------------------------------------------
 * Found with dlsym like the six above, in three groups. A plug-in may export
 * any of the groups; a group exported only in part counts as absent, and a
 * plug-in without one keeps working as before: it has one device (its
 * default), runs its thread at the priority it chooses, and the engine's own
 * figures stand in for its statistics. None of them is called on the output
 * thread, except PLUG_GETSTATS (from a callback). */

/* Devices. Lists the devices the plug-in can open now, afresh, keeps that
 * listing until the next one and returns how many it holds (0 or more). By
 * custom entry 0 is the default device. Bounded in time (a sound server that
 * does not answer is given up). */
ZYN_PLUGOUT_EXPORT int32_t PLUG_NUMOFDEVICES(void);
/* Copies the name of entry index of the last listing (made now if there is
 * none) into name, zero-terminated and cut to size bytes; 1, or 0 with name
 * "" for an index outside the listing, a null name or a size < 1. The name is
 * the device's identifier (a sink, a PCM): stable across runs, so a program
 * may save it. When the devices group is exported, PLUG_INIT reads
 * record->device as an entry of the last listing (made then if there is
 * none; -1 is the default device) and fails with a reason when that device
 * has gone since. */
ZYN_PLUGOUT_EXPORT int32_t PLUG_DEVICENAME(int32_t index, char *name, int32_t size);

/* Real-time priority. The SCHED_FIFO priority (1..99; 0: normal scheduling)
 * the output thread asks for from the next PLUG_START; the plug-in uses what
 * the system grants and may grant less. Called before PLUG_INIT. Returns 1. */
ZYN_PLUGOUT_EXPORT int32_t PLUG_SETREALTIME(int32_t priority);

/* Statistics. Filled by PLUG_GETSTATS: the caller sets size to the bytes it
 * has, and only fields that fit in size are written (so the struct may grow
 * at its end). Counts run from PLUG_INIT. */
typedef struct PlugoutStats {
    int32_t size;               /* sizeof(PlugoutStats) of the caller */
    int32_t connected;          /* 1 while the device takes blocks */
    int32_t realtime;           /* the output thread's SCHED_FIFO priority now, 0 for none */
    int32_t reserved;           /* 0 */
    int64_t device_latency_us;  /* from handing a block to the device to its last frame
                                   being heard, measured at the last block; -1 unknown */
    int64_t underruns;          /* times the device ran dry */
    int64_t reconnects;         /* times the output came back after the device was lost */
} PlugoutStats;
/* 1 when filled; 0 for a null stats or a size < 4. Any thread, also the
 * output thread; never blocks. */
ZYN_PLUGOUT_EXPORT int32_t PLUG_GETSTATS(PlugoutStats *stats);

#ifdef __cplusplus
}
#endif

#endif /* ZYN_PLUGOUT_H */
