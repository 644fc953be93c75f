#include "plugin_host.h"

#include "engine_state.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>

namespace zyn {

const char *const kPluginLibraries[] = {"plug-wav.so", "plug-pulse.so", "plug-alsa.so",
                                        "plug-null.so"};
const int32_t kPluginLibraryCount = 4;

namespace {

using IsAnyEntry = int32_t (*)(PlugoutRecord *);
using InitEntry = int32_t (*)(PlugoutRecord *);
using VoidEntry = int32_t (*)();
using ErrorEntry = const char *(*)();

// Plain name first; then the decorated "%s@%d" names some toolchains produce.
void *find_entry(void *library, const char *name) {
    if (void *entry = dlsym(library, name)) return entry;
    char decorated[64];
    for (int bytes = 0; bytes <= 252; bytes += 4) {
        std::snprintf(decorated, sizeof(decorated), "%s@%d", name, bytes);
        if (void *entry = dlsym(library, decorated)) return entry;
    }
    return nullptr;
}

// Probes one library with the shared probe record; true when it earns a row.
bool probe_library(const std::string &path, PlugoutRecord &probe) {
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    probe.library = library;
    probe.plug_isany = find_entry(library, "PLUG_ISANY");
    if (probe.plug_isany == nullptr || call_plug_isany(&probe) != 1) {
        dlclose(library);
        return false;
    }
    probe.plug_error = find_entry(library, "PLUG_ERROR");
    probe.plug_init = find_entry(library, "PLUG_INIT");
    probe.plug_start = find_entry(library, "PLUG_START");
    probe.plug_stop = find_entry(library, "PLUG_STOP");
    probe.plug_exit = find_entry(library, "PLUG_EXIT");
    if (!probe.plug_error || !probe.plug_init || !probe.plug_start || !probe.plug_stop ||
        !probe.plug_exit) {
        dlclose(library);
        return false;
    }
    return true;
}

}  // namespace

void discover_plugouts() {
    EngineState &e = engine();
    if (e.plugout_count > 0) return;
    std::string folder;
    {
        // Another application thread may be changing the folder meanwhile.
        EngineLock hold(e.lock);
        folder = e.plug_path;
    }
    // Deliberately not cleared between libraries: what a refused library left
    // behind in the reserved slots is simply carried along.
    PlugoutRecord probe;
    std::memset(&probe, 0, sizeof(probe));
    std::vector<PlugoutRecord> found;
    for (int32_t i = 0; i < kPluginLibraryCount; ++i) {
        if (probe_library(folder + kPluginLibraries[i], probe)) found.push_back(probe);
    }
    EngineLock hold(e.lock);
    e.plugouts.clear();
    e.plugouts.reserve(static_cast<size_t>(kPluginLibraryCount));
    for (const PlugoutRecord &row : found) e.plugouts.push_back(row);
    e.plugout_count = static_cast<int32_t>(found.size());
}

void release_plugouts() {
    EngineState &e = engine();
    for (int32_t i = 0; i < e.plugout_count; ++i) {
        PlugoutRecord &row = e.plugouts[static_cast<size_t>(i)];
        if (row.library != nullptr) {
            dlclose(row.library);
            row.library = nullptr;
        }
    }
}

int32_t call_plug_isany(PlugoutRecord *record) {
    return reinterpret_cast<IsAnyEntry>(record->plug_isany)(record);
}
int32_t call_plug_init(PlugoutRecord *record) {
    return reinterpret_cast<InitEntry>(record->plug_init)(record);
}
int32_t call_plug_start(PlugoutRecord *record) {
    return reinterpret_cast<VoidEntry>(record->plug_start)();
}
int32_t call_plug_stop(PlugoutRecord *record) {
    return reinterpret_cast<VoidEntry>(record->plug_stop)();
}
int32_t call_plug_exit(PlugoutRecord *record) {
    return reinterpret_cast<VoidEntry>(record->plug_exit)();
}
const char *call_plug_error(PlugoutRecord *record) {
    const char *text = reinterpret_cast<ErrorEntry>(record->plug_error)();
    return text != nullptr ? text : "";
}

}  // namespace zyn
