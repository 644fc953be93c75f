// zynplay: plays or renders sound files with the zyn engine. Written against
// the public interface (zyn.h) only, as any host program would be.
#include "options.h"
#include "player.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    using namespace zynplay;
    Options options;
    std::string error;
    if (!parse_options(argc, argv, options, error)) {
        std::fprintf(stderr, "zynplay: %s\n", error.c_str());
        return exit_usage;
    }
    if (options.help) {
        std::fputs(usage_text(), stdout);
        return exit_ok;
    }
    if (options.version) {
        std::printf("zynplay %s\n", ZYNPLAY_VERSION);
        return exit_ok;
    }
    if (options.list_devices) return list_devices(options);
    watch_interrupts();
    Player player(options);
    ExitCode opened = player.open();
    if (opened != exit_ok) return opened;
    if (options.info) {
        ExitCode result = player.print_info();
        player.close();
        return result;
    }
    ExitCode result = exit_ok;
    for (const std::string &file : options.files) {
        if (player.quit_requested()) break;
        if (player.play(file) != exit_ok) result = exit_file;
    }
    player.close();
    // The shell's convention for a program ended by Ctrl+C.
    return Player::was_interrupted() ? exit_interrupted : result;
}
