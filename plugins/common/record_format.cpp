#include "record_format.h"

#include <cstring>

namespace zyn::plugout {

bool accept_format(const PlugoutRecord &record, const char *plugin, ErrorText &error) {
    if (record.bits != 16) {
        error.set("%s: only 16-bit samples are supported, not %d-bit", plugin, record.bits);
        return false;
    }
    if (record.channels < 1 || record.channels > 2) {
        error.set("%s: %d channels asked, 1 or 2 supported", plugin, record.channels);
        return false;
    }
    if (record.rate < 1) {
        error.set("%s: invalid sample rate %d Hz", plugin, record.rate);
        return false;
    }
    if (record.frames < 1) {
        error.set("%s: invalid block length of %d frames", plugin, record.frames);
        return false;
    }
    const int64_t bytes = int64_t{record.frames} * 2 * record.channels;
    if (bytes > kMaxBlockBytes) {
        error.set("%s: a block of %d frames is too large", plugin, record.frames);
        return false;
    }
    return true;
}

int32_t queued_blocks(const PlugoutRecord &record) {
    if (record.buffers < 1) return 1;
    return record.buffers > 64 ? 64 : record.buffers;
}

void complete_record(PlugoutRecord &record, const char *name, const char *device) {
    copy_field(record.name, name);
    copy_field(record.device_name, device);
    record.frame_size = 2 * record.channels;
    record.buffer_size = record.frames * record.frame_size;
    record.is_signed = 1;
}

void copy_field(char (&field)[64], const char *text) {
    const size_t length = std::strlen(text);
    if (length < sizeof(field)) {
        std::memcpy(field, text, length + 1);
        return;
    }
    const size_t keep = sizeof(field) - 4;
    std::memcpy(field, "...", 3);
    std::memcpy(field + 3, text + length - keep, keep + 1);
}

}  // namespace zyn::plugout
