// Where the engine looks for its output plug-ins when the host does not say.
#include "plugin_host.h"

#include <dlfcn.h>
#include <unistd.h>

namespace zyn {

namespace {

std::string executable_folder() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return "./";
    std::string text(path, static_cast<size_t>(n));
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? std::string("./") : text.substr(0, slash + 1);
}

bool has_plugins(const std::string &folder) {
    return access((folder + "plug-null.so").c_str(), F_OK) == 0;
}

// An installed libzyn.so keeps its plug-ins in a folder beside itself; found
// through the library's own path so that the install prefix may move.
std::string installed_plugin_folder() {
#ifdef ZYN_INSTALL_PLUGIN_SUBDIR
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&installed_plugin_folder), &info) == 0 || info.dli_fname == nullptr)
        return "";
    std::string library = info.dli_fname;
    size_t slash = library.rfind('/');
    if (slash == std::string::npos) return "";
    return library.substr(0, slash + 1) + ZYN_INSTALL_PLUGIN_SUBDIR;
#else
    return "";
#endif
}

}  // namespace

// The executable's folder, unless it holds no plug-ins and the installed
// folder does: a host program installed anywhere still finds them.
std::string default_plug_path() {
    std::string beside_program = executable_folder();
    if (has_plugins(beside_program)) return beside_program;
    std::string installed = installed_plugin_folder();
    if (!installed.empty() && has_plugins(installed)) return installed;
    return beside_program;
}

}  // namespace zyn
