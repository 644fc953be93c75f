#include "plugin_host.h"

#include "engine_state.h"

#include "last_error.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace zyn {

const char *const kPluginLibraries[] = {"plug-wav.so", "plug-pulse.so", "plug-alsa.so",
                                        "plug-null.so"};
const int32_t kPluginLibraryCount = 4;

namespace {

using IsAnyEntry = int32_t (*)(PlugoutRecord *);
using InitEntry = int32_t (*)(PlugoutRecord *);
using VoidEntry = int32_t (*)();
using ErrorEntry = const char *(*)();
using CountEntry = int32_t (*)();
using NameEntry = int32_t (*)(int32_t, char *, int32_t);
using PriorityEntry = int32_t (*)(int32_t);
using StatsEntry = int32_t (*)(PlugoutStats *);

constexpr const char *kPrefix = "plug-";
constexpr const char *kSuffix = ".so";

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

bool is_plugin_file(const std::string &name) {
    const size_t prefix = std::strlen(kPrefix), suffix = std::strlen(kSuffix);
    return name.size() > prefix + suffix && name.compare(0, prefix, kPrefix) == 0 &&
           name.compare(name.size() - suffix, suffix, kSuffix) == 0;
}

void note_left_out(std::string &notes, const std::string &file, const std::string &why) {
    notes += notes.empty() ? "" : "; ";
    notes += file + ": " + why;
}

// Probes one library with the shared probe record; true when it earns a
// row. Otherwise why it did not goes to left_out.
bool probe_library(const std::string &folder, const std::string &file, PlugoutRecord &probe,
                   PlugoutExtras &extras, std::string &left_out) {
    void *library = dlopen((folder + file).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *why = dlerror();
        note_left_out(left_out, file, why != nullptr ? why : "cannot be loaded");
        return false;
    }
    probe.library = library;
    probe.plug_isany = find_entry(library, "PLUG_ISANY");
    probe.plug_error = find_entry(library, "PLUG_ERROR");
    if (probe.plug_isany == nullptr) {
        note_left_out(left_out, file, "exports no PLUG_ISANY");
        dlclose(library);
        return false;
    }
    char before[sizeof(probe.name)];
    std::memcpy(before, probe.name, sizeof(before));
    if (call_plug_isany(&probe) != 1) {
        const char *why = probe.plug_error != nullptr ? call_plug_error(&probe) : "";
        note_left_out(left_out, file, std::string("its probe refused") + (why[0] != '\0' ? ": " : "") + why);
        dlclose(library);
        return false;
    }
    probe.plug_init = find_entry(library, "PLUG_INIT");
    probe.plug_start = find_entry(library, "PLUG_START");
    probe.plug_stop = find_entry(library, "PLUG_STOP");
    probe.plug_exit = find_entry(library, "PLUG_EXIT");
    if (!probe.plug_error || !probe.plug_init || !probe.plug_start || !probe.plug_stop ||
        !probe.plug_exit) {
        note_left_out(left_out, file, "does not export all six PLUG_ entries");
        dlclose(library);
        return false;
    }
    extras = PlugoutExtras{};
    extras.file = file;
    // A name only counts when this library wrote it: the probe record
    // carries what the libraries before it left.
    if (std::memcmp(before, probe.name, sizeof(before)) != 0)
        extras.reported_name.assign(probe.name, strnlen(probe.name, sizeof(probe.name)));
    extras.num_devices = find_entry(library, "PLUG_NUMOFDEVICES");
    extras.device_name = find_entry(library, "PLUG_DEVICENAME");
    // Half a pair is no pair.
    if (extras.num_devices == nullptr || extras.device_name == nullptr)
        extras.num_devices = extras.device_name = nullptr;
    extras.set_realtime = find_entry(library, "PLUG_SETREALTIME");
    extras.get_stats = find_entry(library, "PLUG_GETSTATS");
    return true;
}

bool same_ignoring_case(const std::string &a, const std::string &b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// By the name it reports, its file name, or the <name> of plug-<name>.so.
bool has_name(const PlugoutExtras &extras, const std::string &wanted) {
    const size_t prefix = std::strlen(kPrefix), suffix = std::strlen(kSuffix);
    const std::string short_name =
        is_plugin_file(extras.file) ? extras.file.substr(prefix, extras.file.size() - prefix - suffix) : "";
    return same_ignoring_case(wanted, extras.file) || same_ignoring_case(wanted, short_name) ||
           (!extras.reported_name.empty() && same_ignoring_case(wanted, extras.reported_name));
}

const PlugoutExtras *extras_of(int32_t row) {
    const EngineState &e = engine();
    if (row < 0 || row >= e.plugout_count || static_cast<size_t>(row) >= e.plugout_extras.size())
        return nullptr;
    return &e.plugout_extras[static_cast<size_t>(row)];
}

// The chosen row, -1 for none chosen, -2 (reason recorded) when no row has
// the name. Caller holds the control lock.
int32_t chosen_plugout() {
    EngineState &e = engine();
    std::string wanted, folder;
    {
        EngineLock hold(e.lock);
        wanted = e.plug_name;
        folder = e.plug_path;
    }
    if (wanted.empty()) return -1;
    std::string found;
    for (int32_t row = 0; row < e.plugout_count; ++row) {
        const PlugoutExtras *extras = extras_of(row);
        if (extras == nullptr) continue;
        if (has_name(*extras, wanted)) return row;
        found += found.empty() ? "" : ", ";
        found += extras->reported_name.empty() ? extras->file
                                               : "'" + extras->reported_name + "' (" + extras->file + ")";
    }
    fail("no output plug-in named '%s' in '%s' (found: %s%s%s)", wanted.c_str(), folder.c_str(),
         found.empty() ? "none" : found.c_str(), e.plugouts_left_out.empty() ? "" : "; left out: ",
         e.plugouts_left_out.c_str());
    return -2;
}

}  // namespace

std::vector<std::string> plugin_files(const std::string &folder) {
    // The folder is a prefix: "lib/" reads lib/, "lib/zyn-" the files of lib/
    // that start with "zyn-plug-".
    const size_t slash = folder.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
    const std::string stem = slash == std::string::npos ? folder : folder.substr(slash + 1);
    std::vector<std::string> files, others;
    for (int32_t i = 0; i < kPluginLibraryCount; ++i)
        if (access((folder + kPluginLibraries[i]).c_str(), F_OK) == 0) files.push_back(kPluginLibraries[i]);
    if (DIR *listing = opendir(directory.c_str())) {
        while (const dirent *entry = readdir(listing)) {
            const std::string name = entry->d_name;
            if (name.compare(0, stem.size(), stem) != 0) continue;
            const std::string file = name.substr(stem.size());
            if (!is_plugin_file(file)) continue;
            bool known = false;
            for (int32_t i = 0; i < kPluginLibraryCount; ++i) known = known || file == kPluginLibraries[i];
            if (!known) others.push_back(file);
        }
        closedir(listing);
    }
    std::sort(others.begin(), others.end());
    files.insert(files.end(), others.begin(), others.end());
    return files;
}

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
    std::vector<PlugoutExtras> found_extras;
    std::string left_out;
    for (const std::string &file : plugin_files(folder)) {
        PlugoutExtras extras;
        if (!probe_library(folder, file, probe, extras, left_out)) continue;
        found.push_back(probe);
        found_extras.push_back(std::move(extras));
    }
    EngineLock hold(e.lock);
    e.plugouts.clear();
    e.plugouts.reserve(found.size());
    for (const PlugoutRecord &row : found) e.plugouts.push_back(row);
    e.plugout_extras = std::move(found_extras);
    e.plugouts_left_out = std::move(left_out);
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

bool plugouts_to_try(int32_t device, std::vector<int32_t> &rows) {
    rows.clear();
    const int32_t chosen = chosen_plugout();
    if (chosen == -2) return false;
    if (chosen >= 0) {
        rows.push_back(chosen);
    } else if (device >= 0) {
        if (engine().plugout_count > 0) rows.push_back(0);
    } else {
        for (int32_t row = 0; row < engine().plugout_count; ++row) rows.push_back(row);
    }
    return true;
}

int32_t listing_plugout() {
    const int32_t chosen = chosen_plugout();
    if (chosen >= 0) return chosen;
    if (chosen == -2) return -1;
    if (engine().plugout_count < 1) {
        std::string folder;
        {
            EngineLock hold(engine().lock);
            folder = engine().plug_path;
        }
        fail("no output plug-in in '%s'", folder.c_str());
        return -1;
    }
    return 0;
}

bool plugout_lists_devices(int32_t row) {
    const PlugoutExtras *extras = extras_of(row);
    return extras != nullptr && extras->num_devices != nullptr;
}

void note_plugout_opened(int32_t row) {
    EngineState &e = engine();
    if (extras_of(row) == nullptr) return;
    const PlugoutRecord &record = e.plugouts[static_cast<size_t>(row)];
    e.plugout_extras[static_cast<size_t>(row)].reported_name.assign(
        record.name, strnlen(record.name, sizeof(record.name)));
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
    // The description ZYN_INIT_RENDER opens has no plug-in behind it.
    if (record->plug_error == nullptr) return "";
    const char *text = reinterpret_cast<ErrorEntry>(record->plug_error)();
    return text != nullptr ? text : "";
}

}  // namespace zyn

namespace zyn {

int32_t call_plug_numofdevices(int32_t row) {
    const PlugoutExtras *extras = extras_of(row);
    if (extras == nullptr || extras->num_devices == nullptr) return 0;
    return reinterpret_cast<CountEntry>(extras->num_devices)();
}

int32_t call_plug_devicename(int32_t row, int32_t index, char *name, int32_t size) {
    const PlugoutExtras *extras = extras_of(row);
    if (extras == nullptr || extras->device_name == nullptr) return 0;
    return reinterpret_cast<NameEntry>(extras->device_name)(index, name, size);
}

void call_plug_setrealtime(int32_t row, int32_t priority) {
    const PlugoutExtras *extras = extras_of(row);
    if (extras != nullptr && extras->set_realtime != nullptr)
        reinterpret_cast<PriorityEntry>(extras->set_realtime)(priority);
}

int32_t call_plug_getstats(int32_t row, PlugoutStats *stats) {
    const PlugoutExtras *extras = extras_of(row);
    if (extras == nullptr || extras->get_stats == nullptr) return 0;
    return reinterpret_cast<StatsEntry>(extras->get_stats)(stats);
}

}  // namespace zyn
