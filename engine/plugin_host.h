// Finding, probing, choosing and calling output plug-ins.
#pragma once

#include "zyn_plugout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zyn {

// The plug-in libraries tried first, in order, each loaded from plug_path +
// name; every other plug-*.so found there follows them by name.
extern const char *const kPluginLibraries[];
extern const int32_t kPluginLibraryCount;

// The folder ZYN_SET_PLUGPATH starts from: the running executable's folder
// (with a trailing '/'), or the plug-in folder beside an installed libzyn.so
// when only that one holds plug-ins.
std::string default_plug_path();

// The plug-in files of the folder (a prefix, as ZYN_SET_PLUGPATH keeps it):
// the known names that exist, then the other plug-*.so by name.
std::vector<std::string> plugin_files(const std::string &folder);

// Loads every plug-in file that passes its probe and exports all six
// entries, appending a row per library. Does nothing when rows exist.
// Caller holds the control lock.
void discover_plugouts();

// Releases the libraries of every plug-in row.
void release_plugouts();

// The rows ZYN_INIT tries, in order: only the one ZYN_SET_PLUGNAME chose;
// else every row for the default device (device -1), and for a device
// index the row whose listing it indexes (the first). False with the
// reason recorded (fail) when no row has the chosen name. Caller holds the
// control lock.
bool plugouts_to_try(int32_t device, std::vector<int32_t> &rows);

// The row whose devices ZYN_GET_NUMOFDEVICES lists: the chosen one, else
// the first. -1 with the reason recorded when there is none.
int32_t listing_plugout();

// Whether the row exports the pair of device entries.
bool plugout_lists_devices(int32_t row);

// Typed calls of a row's entries.
int32_t call_plug_isany(PlugoutRecord *record);
int32_t call_plug_init(PlugoutRecord *record);
int32_t call_plug_start(PlugoutRecord *record);
int32_t call_plug_stop(PlugoutRecord *record);
int32_t call_plug_exit(PlugoutRecord *record);
const char *call_plug_error(PlugoutRecord *record);
// The optional ones; each does nothing (0) when the row lacks the entry.
int32_t call_plug_numofdevices(int32_t row);
int32_t call_plug_devicename(int32_t row, int32_t index, char *name, int32_t size);
void call_plug_setrealtime(int32_t row, int32_t priority);
int32_t call_plug_getstats(int32_t row, PlugoutStats *stats);

// After a row opened: the name it reports now is the one it is chosen by.
void note_plugout_opened(int32_t row);

}  // namespace zyn
