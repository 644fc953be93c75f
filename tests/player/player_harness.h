// Runs zynplay as a user does and reads what it wrote: WAV fixtures made
// here (wav_fixture.h), the program started as a child process, its WAV output
// analysed.
#pragma once

#include "wav_fixture.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace player_test {

struct ProgramRun {
    int exit_code = -1;  // -1: did not end by itself
    int signal = 0;      // the signal that ended it, if one did
    std::string out;
    std::string err;
};

// zynplay in the build folder.
std::string zynplay_path();

// Runs a program with arguments and extra environment entries ("NAME=value");
// stdin is /dev/null, stdout and stderr are captured.
ProgramRun run_program(const std::vector<std::string> &argv, const std::vector<std::string> &env = {},
                double timeout_seconds = 120.0);

// Runs zynplay with ZYN_WAV_OUT and ZYN_WAV_REALTIME cleared from its environment.
ProgramRun run_zynplay(const std::vector<std::string> &args, const std::vector<std::string> &env = {});

// As run_zynplay, and sends signal_number once ready() is true (asked about
// every tenth of a second while zynplay runs).
ProgramRun run_zynplay_signalled(const std::vector<std::string> &args, int signal_number,
                                 const std::function<bool()> &ready);

using zyn_test::Pcm;
using zyn_test::read_wav;
using zyn_test::WavFile;
using zyn_test::write_wav;

// A sine tone, mono or with the same tone on each channel.
Pcm tone(double frequency, double seconds, double amplitude, int rate = 44100, int channels = 1);

// First and one past the last frame whose magnitude exceeds threshold; {0,0} when none.
struct Extent {
    size_t first = 0, end = 0;
    size_t length() const { return end - first; }
};
Extent audible_extent(const std::vector<double> &signal, double threshold = 64.0);

// Amplitude of the component at frequency (a single-bin DFT over the run).
double amplitude_at(const std::vector<double> &signal, double frequency, int rate, size_t first, size_t count);

bool has_program(const std::string &name);

}  // namespace player_test
