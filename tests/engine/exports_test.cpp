// libzyn.so exports exactly what include/zyn.h and zyn_kernels.h declare: nothing leaks out of
// namespace zyn, and nothing declared is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> declared_names(const std::string &header) {
    std::ifstream in(header);
    std::stringstream text;
    text << in.rdbuf();
    std::string source = text.str();
    std::set<std::string> names;
    // "ZYN_EXPORT <type> NAME(" possibly spanning a line break before "(".
    std::regex declaration(R"(ZYN_EXPORT\s+[A-Za-z_][A-Za-z0-9_ \*]*?\b([A-Za-z_][A-Za-z0-9_]*)\s*\()");
    for (std::sregex_iterator it(source.begin(), source.end(), declaration), end; it != end; ++it)
        names.insert((*it)[1].str());
    return names;
}

std::set<std::string> exported_names(const std::string &library) {
    std::set<std::string> names;
    std::string command = "nm -D --defined-only " + library;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[1024];
    while (std::fgets(line, sizeof(line), pipe) != nullptr) {
        char address[64], type[8], name[512];
        if (std::sscanf(line, "%63s %7s %511s", address, type, name) != 3) continue;
        // Only code and data of our own; the linker adds a few marker symbols.
        if (std::string("TtDdBbRrVvWw").find(type[0]) == std::string::npos) continue;
        std::string symbol = name;
        if (symbol.rfind("_", 0) == 0) continue;  // _init, _fini, __bss_start, _edata, _end
        names.insert(symbol.substr(0, symbol.find('@')));
    }
    pclose(pipe);
    return names;
}

}  // namespace

TEST(Exports, LibraryExportsExactlyThePublicHeaders) {
    std::set<std::string> declared = declared_names(ZYN_SOURCE_DIR "include/zyn.h");
    const std::set<std::string> kernels = declared_names(ZYN_SOURCE_DIR "include/zyn_kernels.h");
    // The kernels' short names stay out of zyn.h, where they would collide
    // with a program's own.
    for (const std::string &name : kernels)
        EXPECT_EQ(declared.count(name), 0u) << name << " is declared in zyn.h";
    declared.insert(kernels.begin(), kernels.end());
    const std::set<std::string> exported = exported_names(ZYN_BUILD_DIR "libzyn.so");
    ASSERT_GT(declared.size(), 100u) << "the header parse found too few declarations";
    ASSERT_FALSE(exported.empty());
    for (const std::string &name : exported)
        EXPECT_TRUE(declared.count(name)) << name << " is exported but not declared in zyn.h or zyn_kernels.h";
    for (const std::string &name : declared)
        EXPECT_TRUE(exported.count(name)) << name << " is declared in a public header but not exported";
}
