// zynplay: plays or renders sound files with the zyn engine. Written against
// the public interface (zyn.h) only, as any host program would be.
#include "exit_signals.h"
#include "options.h"
#include "player.h"
#include "render_target.h"

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
    if (!options.out.empty()) {
        error = render_target_refusal(options.out, options.files, options.force);
        if (!error.empty()) {
            std::fprintf(stderr, "zynplay: %s\n", error.c_str());
            return exit_usage;
        }
    }
    install_exit_signals();
    ExitCode result = exit_ok;
    {
        Player player(options);
        ExitCode opened = player.open();
        if (opened != exit_ok) return opened;
        if (options.info) {
            result = player.print_info();
        } else {
            for (const std::string &file : options.files) {
                if (player.quit_requested()) break;
                if (player.play(file) != exit_ok) result = exit_file;
            }
        }
        const ExitCode closed = player.close();
        if (closed != exit_ok) result = closed;
    }
    switch (stop_request()) {
        case StopRequest::interrupt: return exit_interrupted;
        case StopRequest::terminate: return exit_terminated;
        case StopRequest::none: break;
    }
    return result;
}
