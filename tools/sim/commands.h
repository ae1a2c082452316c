// The subcommands of pellarin-sim; each takes the words after its name and
// returns the process's exit status.
#pragma once

#include <span>

namespace sim {

// Exit statuses: a fault in the command line or an input file, and a
// fault of the system (socket, output file).
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_SYSTEM = 1;

int run_replay(std::span<char* const> args);
int run_record(std::span<char* const> args);
int run_generate(std::span<char* const> args);

}  // namespace sim
