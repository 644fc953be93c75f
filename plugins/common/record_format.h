// What every plug-in checks in PLUG_INIT and writes back into the record.
#pragma once

#include "error_text.h"
#include "zyn_plugout.h"

#include <cstdint>

namespace zyn::plugout {

// Largest block a plug-in agrees to: far beyond any useful latency, and it
// keeps buffer_size and the engine's work buffers well inside int32.
constexpr int64_t kMaxBlockBytes = int64_t{64} << 20;

// True when the record asks for something the plug-ins can serve: 16-bit
// samples, 1 or 2 channels, a positive rate and block length. Otherwise the
// reason goes to error, prefixed with the plug-in's name.
bool accept_format(const PlugoutRecord &record, const char *plugin, ErrorText &error);

// Device buffers to keep queued: the request, kept within 1..64.
int32_t queued_blocks(const PlugoutRecord &record);

// Fills name, device_name, frame_size, buffer_size and is_signed.
void complete_record(PlugoutRecord &record, const char *name, const char *device);

// Copies text into a 64-byte record field, zero-terminated; a text too long
// keeps its end (the informative part of a path) behind "...".
void copy_field(char (&field)[64], const char *text);

}  // namespace zyn::plugout
