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
  // The second positional argument as given: numbers or a host name, turned
  // into server_address by resolve_node_host.
  const char* node_host = nullptr;
  // Set when server_address came from looking up a name, for the summary.
  bool host_was_name = false;
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

// "*" gives 0; otherwise up to four atoi fields, a field missing because
// the text ended reading as 0. False when a field is outside 0 to 255 (it
// would carry into the next and give another address).
bool parse_ipv4(const char* text, std::uint32_t& address);

// Reads the arguments into settings. The long options (LONG_OPTIONS in
// command_line.cc) are taken out of argv first, and an unknown one ends
// start-up; the port and the node's host are the first and second
// arguments that are neither options nor option values, wherever they
// stand. argv may be reordered by getopt.
StartupChoice parse_command_line(int argc, char** argv);

// Sets server_address from node_host: numbers as parse_ipv4 reads them, a
// text with letters as a host name looked up (IPv4). False after printing
// why when it names no address.
bool resolve_node_host(StartupChoice& choice);

// Opens settings.capture_path (when set); false after printing the failure
// and, on standard error, its reason.
bool open_capture_file(const StartupChoice& choice);

void print_settings_summary(const StartupChoice& choice);
