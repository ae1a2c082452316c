// pellarin-sim: a stand-in for a Korvane node's trace service, for tests,
// demonstrations and recording real traffic.
#include <cstdio>
#include <span>
#include <string_view>

#include "sim/commands.h"
#include "sim/log.h"

namespace {

constexpr char HELP[] =
    "Usage: pellarin-sim COMMAND [options]\n"
    "\n"
    "A stand-in for a Korvane node's UDP trace service.\n"
    "\n"
    "Commands:\n"
    "  replay FILE   serve the datagrams of a datagram file to subscribers\n"
    "  record        subscribe to a real node and write what it sends to a\n"
    "                datagram file\n"
    "  generate      serve (or write) believable, seeded traffic of a small\n"
    "                packet network\n"
    "\n"
    "'pellarin-sim COMMAND --help' describes each command's options.\n"
    "Events are logged to standard error, one line each.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::span<char* const> words(argv, static_cast<size_t>(argc));
  if (words.size() < 2) {
    std::fputs(HELP, stderr);
    return sim::EXIT_USAGE;
  }
  const std::string_view command = words[1];
  const auto rest = words.subspan(2);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(HELP, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("pellarin-sim %s\n", PELLARIN_VERSION);
    return 0;
  }
  if (command == "replay") return sim::run_replay(rest);
  if (command == "record") return sim::run_record(rest);
  if (command == "generate") return sim::run_generate(rest);
  sim::log_line("unknown command '%s' (see pellarin-sim --help)", words[1]);
  return sim::EXIT_USAGE;
}
