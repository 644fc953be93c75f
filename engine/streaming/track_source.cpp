#include "track_source.h"

#include "frame_ring.h"
#include "last_error.h"

#include <new>

namespace zyn {
namespace {

// As ZYN_LOAD_FILE feeds its pipeline, so that a track converts its rate
// in the same pieces and plays what the loader makes.
constexpr size_t kChunkFrames = 4096;

}  // namespace

TrackSource::~TrackSource() = default;

std::unique_ptr<TrackSource> TrackSource::open(std::unique_ptr<ByteSource> bytes) {
    std::unique_ptr<TrackSource> source(new (std::nothrow) TrackSource);
    if (source == nullptr) {
        fail("not enough memory for %s", bytes->name().c_str());
        return nullptr;
    }
    source->file_ = dynamic_cast<FileBytes *>(bytes.get());
    source->bytes_ = std::move(bytes);
    source->decoder_ = open_sound_decoder(*source->bytes_);
    if (source->decoder_ == nullptr) return nullptr;
    return source;
}

bool TrackSource::configure(const DeviceFormat &device) {
    std::unique_ptr<DevicePipeline> pipeline(new (std::nothrow) DevicePipeline);
    if (pipeline == nullptr) return fail("not enough memory for %s", name().c_str()) != 0;
    if (!pipeline->open(*decoder_, device, name(), kChunkFrames)) return false;
    pipeline_ = std::move(pipeline);
    device_ = device;
    return true;
}

bool TrackSource::seek_to(int64_t frame) {
    if (frame == next_) return true;
    if (!decoder_->seek(frame)) {
        next_ = -1;
        const char *why = last_error();
        failure_ = why[0] != '\0' ? why : name() + " cannot seek to frame " + std::to_string(frame);
        return fail("%s", failure_.c_str()) != 0;
    }
    next_ = frame;
    return true;
}

bool TrackSource::restart(int64_t first, const PlayPlan &plan) {
    PlayPlan from = plan;
    if (from.loop_end < 0 && file_end_ >= 0) from.loop_end = file_end_;
    bool nothing = false;
    if (from.loop_end >= 0 && first >= from.loop_end) {
        // The pass from here ends where it starts.
        if (from.passes != kEndlessPasses && from.passes <= 1) {
            nothing = true;
        } else {
            if (from.passes != kEndlessPasses) --from.passes;
            first = from.loop_start;
        }
    }
    failure_.clear();
    if (!nothing && !seek_to(first)) {
        // What was decoded before still plays; then the ring ends, with the reason.
        input_done_ = true;
        pipeline_->finish();
        return false;
    }
    pipeline_->restart();
    start_ = RingStart{first, from, pipeline_->source_per_device()};
    plan_ = from;
    pass_read_ = 0;
    seam_ = false;
    input_done_ = nothing;
    found_end_ = false;
    if (nothing) pipeline_->finish();
    return true;
}

bool TrackSource::take_found_end() {
    const bool found = found_end_;
    found_end_ = false;
    return found;
}

bool TrackSource::can_replan(const PlayPlan &plan) const {
    if (seam_ || input_done_ || next_ < 0) return false;
    const int64_t end = plan.loop_end >= 0 ? plan.loop_end : file_end_;
    return end < 0 || next_ <= end;
}

void TrackSource::replan(const PlayPlan &plan) {
    plan_ = plan;
    if (plan_.loop_end < 0 && file_end_ >= 0) plan_.loop_end = file_end_;
    start_.plan = plan_;
}

int64_t TrackSource::read_limit(int64_t most) const {
    if (plan_.loop_end < 0) return most;
    const int64_t left = plan_.loop_end - next_;
    return left <= 0 ? 0 : left < most ? left : most;
}

void TrackSource::fail_input() {
    const char *why = last_error();
    failure_ = why[0] != '\0' ? why : name() + " cannot be decoded any further";
    if (file_ != nullptr && file_->changed_on_disk())
        failure_ += " (the file was cut short or changed on disk while it played)";
    input_done_ = true;
    next_ = -1;
    pipeline_->finish();
}

void TrackSource::end_pass() {
    // A loop that gives no frame at all would turn round for ever.
    if (seam_ && pass_read_ == 0) {
        failure_ = name() + ": the loop holds no audio";
        input_done_ = true;
        pipeline_->finish();
        return;
    }
    if (plan_.passes != kEndlessPasses && plan_.passes <= 1) {
        input_done_ = true;
        pipeline_->finish();
        return;
    }
    if (!seek_to(plan_.loop_start)) {
        input_done_ = true;
        pipeline_->finish();
        return;
    }
    if (plan_.passes != kEndlessPasses) --plan_.passes;
    seam_ = true;
    pass_read_ = 0;
}

void TrackSource::at_file_end() {
    const int64_t declared = format().frames;
    if (declared >= 0 && next_ < declared && file_ != nullptr && file_->changed_on_disk()) {
        failure_ = name() + " ends at frame " + std::to_string(next_) + " of " + std::to_string(declared) +
                   ": the file was cut short or changed on disk while it played";
        input_done_ = true;
        next_ = -1;
        pipeline_->finish();
        return;
    }
    if (file_end_ < 0) {
        file_end_ = next_;
        found_end_ = true;
    }
    if (plan_.loop_end < 0 || plan_.loop_end > next_) {
        plan_.loop_end = next_;
        // Frames already in the ring were placed by the plan as it stood;
        // only a plan whose first pass this is learns its end.
        if (!seam_) start_.plan.loop_end = next_;
    }
    end_pass();
}

void TrackSource::feed() {
    const int64_t want = read_limit(static_cast<int64_t>(pipeline_->chunk_frames()));
    if (want == 0) {
        end_pass();
        return;
    }
    const int64_t got = decoder_->read(pipeline_->input(), want);
    if (got < 0) {
        fail_input();
    } else if (got == 0) {
        at_file_end();
    } else {
        next_ += got;
        pass_read_ += got;
        pipeline_->push(static_cast<size_t>(got));
    }
}

void TrackSource::produce(FrameRing &ring, int64_t fill) {
    const auto close = [&] { ring.close_input(failure_.empty() ? nullptr : failure_.c_str()); };
    while (!ring.input_closed() && ring.available() < fill && !found_end_) {
        int64_t span = 0;
        int16_t *at = ring.write_span(&span);
        if (span <= 0) return;
        if (pipeline_->direct()) {
            if (input_done_) {
                close();
                return;
            }
            const int64_t want = read_limit(span < static_cast<int64_t>(kChunkFrames) ? span : kChunkFrames);
            if (want == 0) {
                end_pass();
                continue;
            }
            const int64_t got = decoder_->read_int16(at, want);
            if (got < 0) {
                fail_input();
            } else if (got == 0) {
                at_file_end();
            } else {
                next_ += got;
                pass_read_ += got;
                ring.commit(got);
            }
            continue;
        }
        if (pipeline_->exhausted()) {
            close();
            return;
        }
        if (pipeline_->needs_input()) {
            feed();
            continue;
        }
        const int64_t got = pipeline_->pull(at, static_cast<size_t>(span));
        if (got < 0) {
            failure_ = last_error();
            ring.close_input(failure_.c_str());
            return;
        }
        ring.commit(got);
    }
}

}  // namespace zyn
