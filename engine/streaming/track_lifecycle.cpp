// ZYN_OPEN_TRACK, ZYN_OPEN_TRACKMEMORY, ZYN_CLOSE_TRACK, ZYN_GET_TRACKINFO,
// and the tracks' part of ZYN_INIT and ZYN_EXIT.
//
// A track is opened, configured for the device and primed on the caller's
// thread without the engine lock; only the finished row is published under
// it, so the next block can already play it. Closing takes the track's
// decode lock, so no pool thread is inside its decoder when it goes.
#include "track_lifecycle.h"

#include "decoder_pool.h"
#include "engine_state.h"
#include "fill_thread.h"
#include "last_error.h"
#include "track_decoding.h"
#include "track_table.h"
#include "zyn.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace zyn {
namespace {

// A closed row's parts, freed by the caller once it has let go of the locks.
struct Detached {
    std::unique_ptr<FrameRing> ring;
    std::unique_ptr<TrackSource> source;
};

// Engine lock held.
void detach_row(TrackTable &t, int32_t index, Detached &out) {
    TrackRow &row = t.rows[static_cast<size_t>(index)];
    row.open = false;
    row.playing = false;
    row.next = -1;
    out.ring.swap(row.ring);
    out.source.swap(row.source);
    for (int32_t i = 0; i < t.count; ++i)
        if (t.rows[static_cast<size_t>(i)].next == index) t.rows[static_cast<size_t>(i)].next = -1;
}

// Engine lock held. The lowest closed row, or a new one.
int32_t take_row(TrackTable &t) {
    for (int32_t i = 0; i < t.count; ++i)
        if (!t.rows[static_cast<size_t>(i)].open) return i;
    t.rows.emplace_back();
    return t.count++;
}

void reset_row(TrackRow &row, const TrackSource &source) {
    row.playing = false;
    row.paused = false;
    row.rewind = false;
    row.rewind_failed = false;
    row.volume = 1.0f;
    row.gain.hold(1.0f);
    row.stop_after_glide = false;
    row.volume_after_stop = 1.0f;
    row.pan = 0.0f;
    row.left_gain = row.right_gain = 1.0f;
    row.loops = 1;
    row.group = -1;
    row.fx = VoiceEffects{};
    row.next = -1;
    row.plan = PlayPlan{};
    row.start = source.start();
    row.frames = source.format().frames >= 0 ? source.format().frames : source.file_end();
    row.rate = source.format().rate;
    row.channels = source.format().channels;
    row.late_frames.store(0, std::memory_order_relaxed);
    row.mixed = 0;
}

int32_t open_track(std::unique_ptr<ByteSource> bytes, int32_t *track) {
    TrackTable &t = track_table();
    std::shared_lock<std::shared_mutex> in_use(t.rows_in_use);
    DeviceFormat device;
    int64_t capacity = 0, prime = 0;
    {
        EngineLock hold(engine().lock);
        if (engine().initialized.load() == 0 || t.device.rate <= 0) return fail_not_initialised();
        device = t.device;
        capacity = ring_frames(t);
        prime = prime_frames(t);
    }
    std::unique_ptr<TrackSource> source = TrackSource::open(std::move(bytes));
    if (source == nullptr || !source->configure(device) || !source->restart(0, PlayPlan{})) return 0;
    std::unique_ptr<FrameRing> ring(new (std::nothrow) FrameRing);
    if (ring == nullptr || !ring->allocate(capacity, device.channels))
        return fail("not enough memory for the ring of %s", source->name().c_str());
    prime_ring(*source, *ring, prime);
    if (ring->available() == 0 && ring->input_closed()) {
        if (ring->failure()[0] != '\0') return fail("%s", ring->failure());
        return fail("%s holds no audio", source->name().c_str());
    }
    if (!start_decoder_pool()) return 0;
    {
        EngineLock hold(engine().lock);
        if (engine().initialized.load() == 0) return fail("the engine closed while %s was opening", source->name().c_str());
        if (!(t.device == device))
            return fail("the device changed format while %s was opening", source->name().c_str());
        const int32_t index = take_row(t);
        TrackRow &row = t.rows[static_cast<size_t>(index)];
        reset_row(row, *source);
        row.ring.swap(ring);
        row.source.swap(source);
        row.open = true;
        *track = index;
    }
    wake_decoder_pool();
    return 1;
}

int32_t close_track(int32_t *track) {
    Detached gone;
    {
        DecodingAccess access(*track);
        if (access.row() == nullptr) return 0;
        EngineLock hold(engine().lock);
        detach_row(track_table(), *track, gone);
    }
    *track = -1;
    return 1;
}

// Re-makes one track for the table's device at the place it stands.
void follow(TrackRow &row, const DeviceFormat &device) {
    std::lock_guard<std::mutex> decode(row.decode);
    FilePlace place;
    PlayPlan plan;
    {
        EngineLock hold(engine().lock);
        if (!row.open || row.source == nullptr) return;
        plan = plan_for(row, row.loops);
        if (!row.rewind && row.ring != nullptr) {
            place = place_in_file(row.start, row.ring->consumed());
            plan.passes = place.passes;
        }
    }
    if (row.source->configure(device) && restart_ring(row, place.frame, plan, -1)) return;
    // Silent rather than played in a format the device no longer has.
    std::unique_ptr<FrameRing> stale;
    EngineLock hold(engine().lock);
    stale.swap(row.ring);
}

}  // namespace

void tracks_follow_device(int32_t rate, int32_t channels, int32_t block_frames) {
    TrackTable &t = track_table();
    std::shared_lock<std::shared_mutex> in_use(t.rows_in_use);
    allow_decoder_pool();
    const DeviceFormat device{rate, channels == 1 ? 1 : 2};
    // Room for a block of two channels, whatever the device has.
    auto *scratch = static_cast<int16_t *>(std::calloc(static_cast<size_t>(block_frames) * 2, sizeof(int16_t)));
    bool changed = false;
    {
        EngineLock hold(engine().lock);
        changed = !(t.device == device) || t.block_frames != block_frames;
        t.device = device;
        t.block_frames = block_frames;
        std::swap(t.scratch, scratch);
        t.scratch_frames = t.scratch != nullptr ? block_frames : 0;
    }
    std::free(scratch);
    if (!changed) return;
    for (int32_t i = 0;; ++i) {
        TrackRow *row = nullptr;
        {
            EngineLock hold(engine().lock);
            if (i >= t.count) break;
            row = &t.rows[static_cast<size_t>(i)];
        }
        follow(*row, device);
    }
}

void close_all_tracks() {
    stop_decoder_pool();
    TrackTable &t = track_table();
    std::unique_lock<std::shared_mutex> alone(t.rows_in_use);
    std::vector<Detached> gone;
    std::deque<TrackRow> rows;
    int16_t *scratch = nullptr;
    {
        EngineLock hold(engine().lock);
        gone.resize(static_cast<size_t>(t.count));
        for (int32_t i = 0; i < t.count; ++i) detach_row(t, i, gone[static_cast<size_t>(i)]);
        rows.swap(t.rows);
        t.count = 0;
        std::swap(scratch, t.scratch);
        t.scratch_frames = 0;
        t.block_frames = 0;
        t.device = DeviceFormat{};
    }
    std::free(scratch);
}

}  // namespace zyn

using namespace zyn;

extern "C" {

int32_t ZYN_OPEN_TRACK(const char *path, int32_t *track) {
    if (track == nullptr) return fail_null("ZYN_OPEN_TRACK", "track");
    *track = -1;
    if (path == nullptr) return fail_null("ZYN_OPEN_TRACK", "path");
    if (inside_fill()) return fail_in_callback("ZYN_OPEN_TRACK");
    std::unique_ptr<FileBytes> file(new (std::nothrow) FileBytes(path));
    if (file == nullptr) return fail("not enough memory to open '%s'", path);
    if (file->open_error() != 0) {
        if (file->open_error() == EINVAL) return fail("cannot open '%s': not a regular file", path);
        return fail("cannot open '%s': %s", path, std::strerror(file->open_error()));
    }
    return open_track(std::move(file), track);
}

int32_t ZYN_OPEN_TRACKMEMORY(const void *data, size_t bytes, int32_t *track) {
    if (track == nullptr) return fail_null("ZYN_OPEN_TRACKMEMORY", "track");
    *track = -1;
    if (data == nullptr) return fail_null("ZYN_OPEN_TRACKMEMORY", "data");
    if (inside_fill()) return fail_in_callback("ZYN_OPEN_TRACKMEMORY");
    std::unique_ptr<MemoryBytes> memory(new (std::nothrow) MemoryBytes(data, bytes));
    if (memory == nullptr) return fail("not enough memory to open the data in memory");
    return open_track(std::move(memory), track);
}

int32_t ZYN_CLOSE_TRACK(int32_t *track) {
    if (track == nullptr) return fail_null("ZYN_CLOSE_TRACK", "track");
    if (inside_fill()) return fail_in_callback("ZYN_CLOSE_TRACK");
    return close_track(track);
}

int32_t ZYN_GET_TRACKINFO(int32_t track, int64_t *frames, int32_t *rate, int32_t *channels) {
    EngineLock hold(engine().lock);
    const TrackRow *row = track_row(track);
    if (row == nullptr) return 0;
    if (frames != nullptr) *frames = row->frames;
    if (rate != nullptr) *rate = row->rate;
    if (channels != nullptr) *channels = row->channels;
    return 1;
}

}  // extern "C"
