// The command line: banner, usage, options, capture file and summary.
#pragma once

#include <cstdint>

inline constexpr char PELLARIN_VERSION_TEXT[] = PELLARIN_VERSION;

// 127.0.0.1: the node's trace service normally runs on the same host.
inline constexpr std::uint32_t DEFAULT_SERVER_ADDRESS = 0x7F000001;

inline constexpr char OPTION_STRING[] = "234a:b:cCdf:hHijklLmnNo:O:p:P:qrsSt:T:uw:Wx";

// What start-up learned beyond Settings.
struct StartupChoice {
  std::uint32_t server_address = DEFAULT_SERVER_ADDRESS;
  bool overwrite_capture = false;
  // --read: datagrams come from this datagram file ("-": standard input)
  // instead of the node.
  const char* read_path = nullptr;
  // --pace recorded: reading keeps the recorded arrival times.
  bool recorded_pace = false;
  // --record: every datagram received is appended to this datagram file.
  const char* record_path = nullptr;
  // A capture path too long for any file: refused when the file is opened.
  const char* overlong_capture_path = nullptr;
  // Set when main must end at once with this status (usage, -h).
  bool finished = false;
  int exit_status = 0;
};

// Whether the arguments hold --heard-only, which has the start-up print
// nothing on standard output: known before the command line is read, since
// the banner comes first.
bool asks_heard_only(int argc, char** argv);

void print_banner();
void print_usage();
// The usage with the long options too, for --help.
void print_long_usage();

// "*" gives 0; otherwise up to four atoi fields, with no range check.
std::uint32_t parse_ipv4(const char* text);

// Reads the arguments into settings. The long options (--read, --record,
// --pace, --help) are taken out of argv first, so that positional
// arguments and short options mean what they mean without them; argv may
// also be reordered by getopt.
StartupChoice parse_command_line(int argc, char** argv);

// Opens settings.capture_path (when set); false after printing the failure.
bool open_capture_file(const StartupChoice& choice);

void print_settings_summary(const StartupChoice& choice);
