// Finding, probing and calling output plug-ins.
#pragma once

#include "zyn_plugout.h"

#include <cstdint>
#include <string>

namespace zyn {

// The plug-in libraries tried, in order, each loaded from plug_path + name.
extern const char *const kPluginLibraries[];
extern const int32_t kPluginLibraryCount;

// The folder ZYN_SET_PLUGPATH starts from: the running executable's folder
// (with a trailing '/'), or the plug-in folder beside an installed libzyn.so
// when only that one holds plug-ins.
std::string default_plug_path();

// Loads every library of the built-in list that passes its probe and exports
// all six entries, appending a row per library. Does nothing when rows exist.
void discover_plugouts();

// Releases the libraries of every plug-in row.
void release_plugouts();

// Typed calls of a row's entries.
int32_t call_plug_isany(PlugoutRecord *record);
int32_t call_plug_init(PlugoutRecord *record);
int32_t call_plug_start(PlugoutRecord *record);
int32_t call_plug_stop(PlugoutRecord *record);
int32_t call_plug_exit(PlugoutRecord *record);
const char *call_plug_error(PlugoutRecord *record);

}  // namespace zyn
