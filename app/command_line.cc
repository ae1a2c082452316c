// Command-line parsing, the option list and the settings summary.
#include "app/command_line.h"

#include <getopt.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "app/platform.h"
#include "app/settings.h"
#include "intake/numbers.h"
#include "output/channels.h"

namespace {

// The largest number in one field of a dotted address.
constexpr int MAX_ADDRESS_FIELD = 255;

struct OptionHelp {
  const char* option;
  const char* description;
};

constexpr OptionHelp OPTION_HELP[] = {
    {"-2", "Dont trace AX25 layer 2 or above"},
    {"-3", "Don't trace NetRom layer 3 or above"},
    {"-4", "Don't trace NetRom layer 4 or above"},
    {"-a <callsign>", "Show ALL frames to or from <callsign>"},
    {"-b <callsign>", "Show ALL frames to or from <callsign>"},
    {"-c", "Don't colourise the traces"},
    {"-C", "Include colour information in capture file"},
    {"-d", "Show node up/down/status reports"},
    {"-f <callsign>", "Show only frames addressed FROM <callsign>"},
    {"-h", "Show this message and exit"},
    {"-H", "Show header on separate line to trace"},
    {"-i", "Don't trace contents of INP3 routing unicasts"},
    {"-j", "Show the raw JSON before each trace"},
    {"-k", "Show lin[k] up/down/status reports"},
    {"-l", "Don't show L3RTT info field"},
    {"-L", "Suppress blank line between traces"},
    {"-m", "Show circuit up/down/status reports"},
    {"-n", "Don't trace contents of NetRom nodes broadcasts"},
    {"-N", "Show Node status reports"},
    {"-o <file>", "Output trace to <file>"},
    {"-p <portnum>", "Show reports only from <portnum>"},
    {"-P <protocol>", "Show only frames with this L3 protocol"},
    {"-q", "No display when capturing to file (quiet)"},
    {"-r", "Include callsign of reporting node"},
    {"-s", "Suppress time stamp"},
    {"-S", "Show sequence numbers of reports"},
    {"-t <callsign>", "Show only frames addressed TO <callsign>"},
    {"-T <frametype>", "Show only this AX25 frametype, e.g. \"-T UI\""},
    {"-u", "Don't display UI frames"},
    {"-w <width>", "Display width (default 80 cols)"},
    {"-W", "Enable warnings of missing/bad JSON fields"},
    {"-x", "Korvane 'classic' trace format"},
};

// What the long options set beyond StartupChoice and Settings, checked
// together once all of them have been read.
struct LongValues {
  StartupChoice& choice;
  const char* pace = nullptr;
  bool help = false;
  bool version = false;
  const char* heard_format = nullptr;
  const char* heard_sort = nullptr;
  const char* heard_file = nullptr;
};

// One row per long option: its name, the name of its value in the list
// (nullptr for a switch, which takes none), its line in --help and what it
// sets. --help lists them in this order after the short ones; -h lists only
// the short ones.
struct LongOption {
  std::string_view name;
  const char* value;
  const char* description;
  void (*apply)(LongValues& values, const char* value);
};

constexpr LongOption LONG_OPTIONS[] = {
    {"--read", "<file>", "Show the datagrams of a datagram file, then exit ('-': stdin)",
     [](LongValues& values, const char* value) { values.choice.read_path = value; }},
    {"--pace", "<pace>", "With --read: 'recorded' keeps the recorded times, 'fast' does not",
     [](LongValues& values, const char* value) { values.pace = value; }},
    {"--record", "<file>", "Append every datagram received to a datagram file",
     [](LongValues& values, const char* value) { values.choice.record_path = value; }},
    {"--dates", nullptr, "A line with the UTC date at the start and at each new date",
     [](LongValues&, const char*) { settings.dates = true; }},
    {"--version", nullptr, "Show the version and exit",
     [](LongValues& values, const char*) { values.version = true; }},
    {"--help", nullptr, "Show this message with the long options and exit",
     [](LongValues& values, const char*) { values.help = true; }},
    {"--heard", nullptr, "Keep the heard tables and print them at the end",
     [](LongValues&, const char*) { settings.heard = true; }},
    {"--heard-only", nullptr, "Print only the heard tables, no traces or start-up text",
     [](LongValues&, const char*) { settings.heard_only = true; }},
    {"--heard-format", "<f>", "The tables as 'table' (default), 'tsv', 'csv' or 'json'",
     [](LongValues& values, const char* value) { values.heard_format = value; }},
    {"--heard-sort", "<key>", "The tables by 'last' (default), 'first', 'frames' or 'call'",
     [](LongValues& values, const char* value) { values.heard_sort = value; }},
    {"--heard-file", "<file>", "Keep the tables in <file> across restarts (implies --heard)",
     [](LongValues& values, const char* value) { values.heard_file = value; }},
};

constexpr std::string_view HEARD_ONLY_OPTION = "--heard-only";

// The values of --heard-format and --heard-sort, in the order of their enums.
constexpr std::array<std::string_view, 4> HEARD_FORMAT_NAMES = {"table", "tsv", "csv", "json"};
constexpr std::array<std::string_view, 4> HEARD_SORT_NAMES = {"last", "first", "frames", "call"};

constexpr char LICENCE_NOTICE[] =
    "Pellarin is free software under the GNU General Public License, version 2 or\n"
    "later (GPL-2.0-or-later), with NO WARRANTY; see the file LICENSE.\n\n";

void print_option_lines(std::span<const OptionHelp> lines) {
  for (const OptionHelp& help : lines) con_print("   %-16s%s\n", help.option, help.description);
}

void print_long_option_lines() {
  for (const LongOption& option : LONG_OPTIONS) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%.*s%s%s", static_cast<int>(option.name.size()),
                  option.name.data(), option.value != nullptr ? " " : "",
                  option.value != nullptr ? option.value : "");
    con_print("   %-15s %s\n", shown, option.description);
  }
}

// Whether a cluster of short options such as "-qo" ends in one that takes
// the next argument as its value, as getopt reads it.
bool takes_next_argument(const char* argument) {
  for (const char* letter = argument + 1; *letter != '\0'; ++letter) {
    const char* spec = *letter == ':' ? nullptr : std::strchr(OPTION_STRING, *letter);
    if (spec != nullptr && spec[1] == ':') return letter[1] == '\0';
  }
  return false;
}

// An argument that getopt reads as options: "-" alone is not one.
bool is_short_option(const char* argument) {
  return argument[0] == '-' && argument[1] != '-' && argument[1] != '\0';
}

// The row of the long option that an argument names, as "--name" or as
// "--name=value"; nullptr for none. A row's name is never taken for the
// start of a longer one ("--heard" is not "--heard-file").
const LongOption* find_long_option(std::string_view argument) {
  for (const LongOption& option : LONG_OPTIONS) {
    if (!argument.starts_with(option.name)) continue;
    if (argument.size() == option.name.size()) return &option;
    if (argument[option.name.size()] == '=') return &option;
  }
  return nullptr;
}

// Reads argv[at], a long option, into values (moving `at` past a value
// given as the next argument); false after printing why it cannot be read.
bool read_long_option(int argc, char** argv, int& at, LongValues& values) {
  const std::string_view argument = argv[at];
  const LongOption* option = find_long_option(argument);
  if (option == nullptr) {
    con_print("Unknown option '%s' (see 'pellarin --help')\n", argv[at]);
    return false;
  }
  const char* name = argv[at];
  const bool joined = argument.size() > option->name.size();
  if (option->value == nullptr) {
    if (joined) {
      con_print("Option '%.*s' takes no value\n", static_cast<int>(option->name.size()), name);
      return false;
    }
    option->apply(values, nullptr);
    return true;
  }
  const char* value = joined          ? name + option->name.size() + 1
                      : at + 1 < argc ? argv[++at]
                                      : nullptr;
  if (value == nullptr || value[0] == '\0') {
    con_print("Option '%.*s' needs a value\n", static_cast<int>(option->name.size()), name);
    return false;
  }
  option->apply(values, value);
  return true;
}

// The index of `value` among `names`; false after printing the choices.
template <std::size_t N>
bool choose(std::string_view option, const std::array<std::string_view, N>& names,
            const char* value, std::size_t& chosen) {
  for (chosen = 0; chosen < N; ++chosen)
    if (names[chosen] == value) return true;
  con_print("Option '%s' takes", option.data());
  for (std::size_t at = 0; at < N; ++at)
    con_print("%s'%s'", at == 0 ? " " : at + 1 == N ? " or " : ", ", names[at].data());
  con_print(", not '%s'\n", value);
  return false;
}

// The heard options' values, checked once all are read.
bool take_heard_choices(const char* format, const char* sort, const char* path) {
  std::size_t chosen = 0;
  if (format != nullptr) {
    if (!choose("--heard-format", HEARD_FORMAT_NAMES, format, chosen)) return false;
    settings.heard_format = static_cast<HeardFormat>(chosen);
  }
  if (sort != nullptr) {
    if (!choose("--heard-sort", HEARD_SORT_NAMES, sort, chosen)) return false;
    settings.heard_sort = static_cast<HeardSort>(chosen);
  }
  if (path != nullptr) {
    // Refused, like a capture path, rather than cut to another name.
    if (std::strlen(path) > CAPTURE_PATH_LENGTH) {
      con_print("Can't use heard file '%s': the path is too long\n", path);
      return false;
    }
    std::snprintf(settings.heard_path, sizeof settings.heard_path, "%s", path);
    settings.heard = true;
  }
  if ((format != nullptr || sort != nullptr) && !settings.heard && !settings.heard_only) {
    con_print(
        "Options '--heard-format' and '--heard-sort' go with '--heard', '--heard-only' or "
        "'--heard-file'\n");
    return false;
  }
  // Nothing but the tables is written, so no colour either.
  if (settings.heard_only) settings.trace_flags &= ~TF_COLOUR;
  return true;
}

// What the long options ask for together; false after printing why the
// command cannot run.
bool check_long_values(LongValues& values) {
  StartupChoice& choice = values.choice;
  if (values.pace != nullptr) {
    if (std::strcmp(values.pace, "recorded") != 0 && std::strcmp(values.pace, "fast") != 0) {
      con_print("Option '--pace' takes 'recorded' or 'fast', not '%s'\n", values.pace);
      return false;
    }
    if (choice.read_path == nullptr) {
      con_print("Option '--pace' goes with '--read'\n");
      return false;
    }
    choice.recorded_pace = std::strcmp(values.pace, "recorded") == 0;
  }
  if (choice.read_path != nullptr && choice.record_path != nullptr) {
    con_print("Options '--read' and '--record' cannot be used together\n");
    return false;
  }
  return take_heard_choices(values.heard_format, values.heard_sort, values.heard_file);
}

// Takes the long options out of argv, stopping where getopt stops ("--")
// and passing over the values of short options, and closes the gap. Returns
// the new argument count, or -1 after printing why the command cannot run:
// an argument beginning "--" that is no long option is refused, not left to
// getopt to read as a cluster of short ones.
int take_long_options(int argc, char** argv, LongValues& values) {
  int kept = 1;
  for (int at = 1; at < argc; ++at) {
    const char* argument = argv[at];
    if (std::strcmp(argument, "--") == 0) {
      while (at < argc) argv[kept++] = argv[at++];
      break;
    }
    if (is_short_option(argument)) {
      argv[kept++] = argv[at];
      if (takes_next_argument(argument) && at + 1 < argc) argv[kept++] = argv[++at];
      continue;
    }
    if (argument[0] != '-' || argument[1] != '-') {
      argv[kept++] = argv[at];
      continue;
    }
    if (!read_long_option(argc, argv, at, values)) return -1;
  }
  argv[kept] = nullptr;
  return check_long_values(values) ? kept : -1;
}

// The port and the node's host: the first and second arguments that are
// neither options nor option values, as getopt reads them; after "--"
// every argument is one.
void find_positional(int argc, char** argv, const char* (&positional)[2]) {
  int found = 0;
  bool options_end = false;
  for (int at = 1; at < argc && found < 2; ++at) {
    const char* argument = argv[at];
    if (!options_end && std::strcmp(argument, "--") == 0) {
      options_end = true;
    } else if (!options_end && is_short_option(argument)) {
      if (takes_next_argument(argument)) ++at;
    } else {
      positional[found++] = argument;
    }
  }
}

bool has_letter(const char* text) {
  for (; *text != '\0'; ++text)
    if (std::isalpha(static_cast<unsigned char>(*text)) != 0) return true;
  return false;
}

// Names under "invalid" never resolve (RFC 6761): refused at once, so that
// no query for one leaves the machine.
bool is_reserved_invalid(std::string_view name) {
  constexpr std::string_view INVALID = "invalid";
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  if (name.size() < INVALID.size()) return false;
  const std::string_view last = name.substr(name.size() - INVALID.size());
  const bool whole_label =
      name.size() == INVALID.size() || name[name.size() - INVALID.size() - 1] == '.';
  if (!whole_label) return false;
  for (std::size_t at = 0; at < INVALID.size(); ++at)
    if (std::tolower(static_cast<unsigned char>(last[at])) != INVALID[at]) return false;
  return true;
}

// Copies an option argument, cut to the field's size.
template <std::size_t N>
void set_text(char (&field)[N], const char* value) {
  std::snprintf(field, N, "%s", value);
}

void set_capture_path(StartupChoice& choice, const char* path) {
  const bool overlong = std::strlen(path) > CAPTURE_PATH_LENGTH;
  choice.overlong_capture_path = overlong ? path : nullptr;
  set_text(settings.capture_path, overlong ? "" : path);
}

void print_host_address(const StartupChoice& choice) {
  const std::uint32_t address = choice.server_address;
  con_print("Node host '%s' is %u.%u.%u.%u\n", choice.node_host, address >> 24,
            (address >> 16) & 0xFFU, (address >> 8) & 0xFFU, address & 0xFFU);
}

void set_flag(std::uint32_t bit) { settings.trace_flags |= bit; }
void clear_flag(std::uint32_t bit) { settings.trace_flags &= ~bit; }

}  // namespace

bool asks_heard_only(int argc, char** argv) {
  for (int at = 1; at < argc; ++at) {
    const char* argument = argv[at];
    if (std::strcmp(argument, "--") == 0) return false;
    if (std::strcmp(argument, HEARD_ONLY_OPTION.data()) == 0) return true;
    if (argument[0] == '-' && argument[1] != '-' && takes_next_argument(argument)) ++at;
  }
  return false;
}

void print_banner() {
  con_print("\033[2J");
  con_print("\nPellarin - Packet Tracing Client for Korvane\n");
  con_print("Version %s (c) 2026 the Pellarin developers, free software\n\n",
            PELLARIN_VERSION_TEXT);
}

void print_usage() {
  con_print("Usage: pellarin [qv_port [ip_address]] [options]\n\n");
  con_print("Options:\n\n");
  print_option_lines(OPTION_HELP);
  con_print("\n");
}

void print_long_usage() {
  print_usage();
  con_print("Long options:\n\n");
  print_long_option_lines();
  con_print("\n%s", LICENCE_NOTICE);
}

bool parse_ipv4(const char* text, std::uint32_t& address) {
  address = 0;
  if (text[0] == '*') return true;
  const char* field = text;
  for (int i = 0; i < 4; ++i) {
    // A field missing because the text ended reads as 0.
    const int value = field != nullptr ? read_int(field) : 0;
    if (value < 0 || value > MAX_ADDRESS_FIELD) return false;
    address = address * 256U + static_cast<std::uint32_t>(value);
    if (field != nullptr) {
      field = std::strchr(field, '.');
      if (field != nullptr) ++field;
    }
  }
  return true;
}

bool resolve_node_host(StartupChoice& choice) {
  const char* host = choice.node_host;
  if (host == nullptr) return true;
  choice.host_was_name = host[0] != '*' && has_letter(host);
  if (!choice.host_was_name) {
    if (parse_ipv4(host, choice.server_address)) return true;
    con_print("Can't find node host '%s' (each number is 0 to 255)\n", host);
    return false;
  }
  if (!is_reserved_invalid(host) && resolve_ipv4_host(host, choice.server_address)) return true;
  con_print("Can't find node host '%s'\n", host);
  return false;
}

StartupChoice parse_command_line(int argc, char** argv) {
  StartupChoice choice;
  const int given = argc;
  LongValues values{choice};
  argc = take_long_options(argc, argv, values);
  if (argc < 0) {
    choice.finished = true;
    choice.exit_status = -1;
    return choice;
  }
  if (values.help || values.version) {
    if (values.help)
      print_long_usage();
    else
      con_print("pellarin %s\n", PELLARIN_VERSION_TEXT);
    choice.finished = true;
    return choice;
  }
  // Long options alone are enough to run: all ports of the default node.
  if (given <= 1) {
    con_print("Usage: %s [qv_port [ip_address]] [options]\n\n", argv[0]);
    con_print("  [ip_address] is that of Korvane's host machine (default 127.0.0.1)\n\n");
    out_print("Use '%s -h' to display help / options\n\n", argv[0]);
    choice.finished = true;
    choice.exit_status = -1;
    return choice;
  }
  if (argc <= 1) return choice;
  if (std::strcmp(argv[1], "-h") == 0) {
    print_usage();
    choice.finished = true;
    return choice;
  }
  // With no positional argument, all ports: "pellarin -k" watches port 0.
  const char* positional[2] = {};
  find_positional(argc, argv, positional);
  if (positional[0] != nullptr) settings.port_filter = read_int(positional[0]);
  choice.node_host = positional[1];

  // 0 restarts the scanner, permutation state included. getopt_long with no
  // long options is getopt that passes over the positional arguments on
  // every platform (MinGW's plain getopt stops at the first of them).
  optind = 0;
  int option;
  while ((option = getopt_long(argc, argv, OPTION_STRING, nullptr, nullptr)) != -1) {
    switch (option) {
      case '2': clear_flag(TF_L2); break;
      case '3': clear_flag(TF_L3); break;
      case '4': clear_flag(TF_L4); break;
      case 'a': set_text(settings.call_a, optarg); break;
      case 'b': set_text(settings.call_b, optarg); break;
      case 'c': clear_flag(TF_COLOUR); break;
      case 'C': set_flag(TF_COLOUR_TO_FILE); break;
      case 'd': set_flag(TF_NODE_REPORTS); break;
      case 'f': set_text(settings.from_call, optarg); break;
      case 'h':
        print_usage();
        choice.finished = true;
        choice.exit_status = 0;
        return choice;
      case 'H': set_flag(TF_HEADER_LINE); break;
      case 'i': clear_flag(TF_INP3); break;
      case 'j': set_flag(TF_RAW_JSON); break;
      case 'k': set_flag(TF_LINK_REPORTS); break;
      case 'l': clear_flag(TF_L3RTT_INFO); break;
      case 'L': clear_flag(TF_BLANK_LINE); break;
      case 'm': set_flag(TF_CIRCUIT_REPORTS); break;
      case 'n': clear_flag(TF_NODES); break;
      case 'N': break;
      case 'O':
        choice.overwrite_capture = true;
        set_capture_path(choice, optarg);
        break;
      case 'o': set_capture_path(choice, optarg); break;
      case 'p': settings.port_filter = read_int(optarg); break;
      case 'P': set_text(settings.protocol_filter, optarg); break;
      case 'q': set_flag(TF_QUIET); break;
      case 'r': set_flag(TF_REPORTER); break;
      case 's': clear_flag(TF_TIMESTAMP); break;
      case 'S': set_flag(TF_SERIAL); break;
      case 't': set_text(settings.to_call, optarg); break;
      case 'T': set_text(settings.frame_type_filter, optarg); break;
      case 'u': clear_flag(TF_UI); break;
      case 'w': settings.display_width = read_int(optarg); break;
      case 'W': set_flag(TF_WARNINGS); break;
      case 'x': set_flag(TF_CLASSIC); break;
      default: break;  // getopt has already reported the bad option
    }
  }
  return choice;
}

bool open_capture_file(const StartupChoice& choice) {
  if (choice.overlong_capture_path == nullptr) {
    if (settings.capture_path[0] == '\0') return true;
    settings.capture_file = open_capture_stream(settings.capture_path, choice.overwrite_capture);
    if (settings.capture_file != nullptr) return true;
  }
  const int reason = choice.overlong_capture_path != nullptr ? ENAMETOOLONG : errno;
  const char* path = choice.overlong_capture_path != nullptr ? choice.overlong_capture_path
                                                             : settings.capture_path;
  print_open_failure(CAPTURE_OPEN_FAILURE, path, reason);
  return false;
}

void print_settings_summary(const StartupChoice& choice) {
  if (settings.port_filter != 0)
    out_print("Showing frames to/from port (%d) only\n", settings.port_filter);
  else
    out_print("Showing frames to/from all ports\n");
  if (trace_flag(TF_REPORTER)) out_print("Including reporting node's callsign\n");
  if (settings.call_a[0] != '\0' && settings.call_b[0] != '\0') {
    out_print("Showing frames between L2 calls '%s' and '%s' only\n", settings.call_a,
              settings.call_b);
  } else {
    if (settings.call_a[0] != '\0')
      out_print("Showing frames to/from L2 call '%s' only\n", settings.call_a);
    if (settings.call_b[0] != '\0')
      out_print("Showing frames to/from L2 call '%s' only\n", settings.call_b);
  }
  if (settings.from_call[0] != '\0')
    out_print("Showing frames with L2 source call '%s' only\n", settings.from_call);
  if (settings.to_call[0] != '\0')
    out_print("Showing frames with L2 destination call '%s' only\n", settings.to_call);
  if (settings.frame_type_filter[0] != '\0')
    out_print("Showing '%s' frames only\n", settings.frame_type_filter);
  if (settings.protocol_filter[0] != '\0')
    out_print("Showing frames with L3 protocol '%s' only\n", settings.protocol_filter);

  struct FlagLine {
    std::uint32_t bit;
    bool when_set;
    const char* text;
  };
  static constexpr FlagLine FLAG_LINES[] = {
      {TF_UI, false, "Not showing UI frames\n"},
      {TF_NODES, false, "Not decoding NODES broadcasts\n"},
      {TF_INP3, false, "Not decoding INP3 unicasts\n"},
      {TF_L2, false, "Not showing AX25 Layer 2 or its payload\n"},
      {TF_L3, false, "Not showing NetRom Layer 3 or above\n"},
      {TF_L4, false, "Not showing NetRom Layer 4 or above\n"},
      {TF_L3RTT_INFO, false, "Not showing L3RTT frame contents\n"},
      {TF_LINK_REPORTS, true, "Including AX25 L2 'link' status reports\n"},
      {TF_CIRCUIT_REPORTS, true, "Including NetRom L4 'circuit' status reports\n"},
      {TF_NODE_REPORTS, true, "Including node status reports\n"},
      {TF_SERIAL, true, "Including frame sequence numbers\n"},
      {TF_RAW_JSON, true, "Including JSON data\n"},
      {TF_TIMESTAMP, false, "Time stamp disabled\n"},
      {TF_BLANK_LINE, false, "Suppressing line break between reports\n"},
  };
  for (const FlagLine& line : FLAG_LINES)
    if (trace_flag(line.bit) == line.when_set) out_print("%s", line.text);
  if (choice.host_was_name) print_host_address(choice);
  if (settings.capture_path[0] != '\0')
    con_print("Capturing traces to file '%s'\n", settings.capture_path);
  if (choice.record_path != nullptr)
    con_print("Recording datagrams to file '%s'\n", choice.record_path);
  con_print("\nPellarin v%s started. Use ctrl-c to exit...\n", PELLARIN_VERSION_TEXT);
}
