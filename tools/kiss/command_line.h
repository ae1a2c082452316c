// The command line of pellarin-kiss.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "kiss/decoder.h"
#include "kiss/sources.h"
#include "sim/subscribers.h"

namespace kiss {

enum class SourceKind { TCP, SERIAL, PCAP };

struct KissSettings {
  SourceKind source = SourceKind::TCP;
  sim::Endpoint tnc{0x7F000001, DEFAULT_KISS_TCP_PORT};
  SerialDevice serial;
  std::string pcap_file;
  bool recorded_pace = false;
  bool exit_when_done = false;
  sim::Endpoint bind{0x7F000001, 7373};
  StationSettings station;
  bool verbose = false;
};

extern const char HELP[];

// Reads the words after the program's name. Returns the exit status when
// the program ends here (after --help or --version, or on a usage error,
// which is logged).
std::optional<int> read_kiss_command_line(std::span<char* const> args, KissSettings& settings);

}  // namespace kiss
